// The brivos Python module: library objects reachable late-bound by their
// members' names, values converted both ways (Values.hpp), errors raised as
// brivos.Error. Every library call runs with the GIL released.

#include <pybind11/pybind11.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/Calls.hpp"
#include "app/Values.hpp"
#include "brivos/brivos.hpp"
#include "python/Values.hpp"

namespace brivos::python {
namespace {

// brivos.Error, and brivos.MemberError for 438, which is also an
// AttributeError so that hasattr() and getattr() with a default work.
PyObject* g_error = nullptr;
PyObject* g_member_error = nullptr;

const std::string& SourceOf(const Handle& self) {
  static const std::string kLibrary = "BRIVOS";
  return self.Info() != nullptr ? self.Info()->ProgId() : kLibrary;
}

// Runs `body` and gives an Error it raises the error convention of the class,
// as a failure inside a call would have it.
template <class F>
decltype(auto) Tagged(const Handle& self, F&& body) {
  try {
    return body();
  } catch (const Error&) {
    RethrowTagged(SourceOf(self));
  }
}

[[noreturn]] void RaiseUsage(const Handle& self, std::int32_t number, const std::string& what) {
  const std::string text = number == errnum::kNamedArgumentNotFound ? "Named argument not found"
                           : number == errnum::kArgumentNotOptional ? "Argument not optional"
                                                                    : RuntimeMessage(number);
  try {
    Raise(number, text + ": " + what);
  } catch (const Error&) {
    RethrowTagged(SourceOf(self));
  }
}

// "AddProject(Account, UserName, Token, ...)"; a property without arguments
// of a record is its bare name.
std::string Signature(const MemberInfo& member, bool property) {
  if (property) return member.name;
  std::string text = member.name + "(";
  for (const std::string& arg : member.arg_names) {
    text += (text.back() == '(' ? "" : ", ") + arg;
  }
  return text + ")";
}

// The error number of a binding the gate refused, as the module has always
// raised it: the gate's own, except 450 for a call by position alone with
// too few arguments (the library's count check says so) and for an argument
// given twice (one value more than the member takes).
std::int32_t UsageNumber(const app::Refused& refused, const MemberInfo& member,
                         const app::NamedArgs& named) {
  const auto takes = [&](const auto& arg) {
    return std::any_of(member.arg_names.begin(), member.arg_names.end(),
                       [&](const std::string& name) { return EqualsIgnoreCase(name, arg.first); });
  };
  const bool twice = refused.Number() == errnum::kNamedArgumentNotFound &&
                     std::all_of(named.begin(), named.end(), takes);
  const bool short_by_position = refused.Number() == errnum::kArgumentNotOptional && named.empty();
  return twice || short_by_position ? errnum::kWrongArgumentCount : refused.Number();
}

// The call's arguments in the member's order, bound by the gate (app::Bind):
// the positional ones first, then each keyword in the place of the argument
// it names, letters' case ignored. A missing argument raises 449, an unknown
// name 448, too many 450 (see UsageNumber).
std::vector<Variant> Arguments(const Handle& self, const MemberInfo& member, py::handle positional,
                               py::handle keywords) {
  std::vector<Variant> args;
  app::NamedArgs named;
  Tagged(self, [&] {
    if (PyTuple_Check(positional.ptr())) {  // a call's own arguments
      const Py_ssize_t given = PyTuple_GET_SIZE(positional.ptr());
      args.reserve(static_cast<std::size_t>(given));
      for (Py_ssize_t i = 0; i < given; ++i) {
        args.push_back(FromPython(PyTuple_GET_ITEM(positional.ptr(), i)));
      }
    } else {
      for (py::handle arg : positional) args.push_back(FromPython(arg));
    }
    if (!keywords) return;
    for (auto [key, value] : py::reinterpret_borrow<py::dict>(keywords)) {
      named.emplace_back(py::str(key), FromPython(value));
    }
  });
  try {
    return app::Bind(app::Target{self.Info(), &member}, std::move(args), named, false);
  } catch (const app::Refused& refused) {
    RaiseUsage(self, UsageNumber(refused, member, named),
               std::string(refused.what()) + " (" + Signature(member, false) + ")");
  }
}

// The module's calls into the library, where a front end's observer would
// see them.
const app::CallPath& Path() {
  static const app::CallPath path;
  return path;
}

// A member of a creatable class (a manager, a value set) runs through the
// call path, on an object of its own: such objects hold no state, so the one
// Python holds is only their name. Records, collections and result sets are
// called on the object itself.
Variant Invoke(const Handle& self, const MemberInfo& member, std::vector<Variant>& args) {
  py::gil_scoped_release release;
  const ClassInfo* info = self.Info();
  if (info != nullptr && info->Creatable()) return Path().Invoke(app::Target{info, &member}, args);
  return self.object->Invoke(member.name, args);
}

const MemberInfo& FindMember(const Handle& self, const std::string& name) {
  const MemberInfo* member = self.Info() != nullptr ? self.Info()->Find(name) : nullptr;
  if (member == nullptr) {
    RaiseUsage(self, errnum::kUnknownMember, self.object->ClassName() + " has no member " + name);
  }
  return *member;
}

// A member of an object, as an attribute returns it: call it with
// positional or keyword arguments.
struct Method {
  Handle self;
  const MemberInfo* member;

  std::string Doc() const {
    return Signature(*member, false) + "\n\nA member of BRIVOS." + self.object->ClassName() +
           ", called late-bound; arguments by position or by name.";
  }
  py::object PySignature() const {
    const py::module_ inspect = py::module_::import("inspect");
    const py::object parameter = inspect.attr("Parameter");
    py::list params;
    for (const std::string& name : member->arg_names) {
      params.append(parameter(name, parameter.attr("POSITIONAL_OR_KEYWORD")));
    }
    return inspect.attr("Signature")(params);
  }
};

void SetPythonError(const Error& e) {
  PyObject* type = e.Number() == errnum::kUnknownMember ? g_member_error : g_error;
  py::object error = py::reinterpret_borrow<py::object>(type)(e.Description());
  error.attr("number") = e.Number();
  error.attr("source") = e.Source();
  error.attr("description") = e.Description();
  PyErr_SetObject(type, error.ptr());
}

// The body of a slot Python calls directly: its result, or nullptr with the
// Python error set.
template <class F>
PyObject* Slot(F&& body) {
  try {
    return body().release().ptr();
  } catch (py::error_already_set& e) {
    e.restore();
  } catch (const Error& e) {
    SetPythonError(e);
  } catch (const std::exception& e) {
    PyErr_SetString(PyExc_RuntimeError, e.what());
  }
  return nullptr;
}

// The attribute slot of every library object: the members of its class
// first, then Python's own attributes, then 438 (brivos.MemberError). A
// record's members without arguments are its properties and read at once;
// any other member comes back as a Method. (A __getattr__ hook would build
// and drop an AttributeError on every member read.)
PyObject* GetAttro(PyObject* self, PyObject* name) {
  return Slot([&]() -> py::object {
    const auto& handle = py::handle(self).cast<const Handle&>();
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(name, &size);
    if (text == nullptr) throw py::error_already_set();
    const std::string_view wanted(text, static_cast<std::size_t>(size));
    const MemberInfo* member = handle.Info() != nullptr ? handle.Info()->Find(wanted) : nullptr;
    if (member == nullptr) {
      PyObject* own = PyObject_GenericGetAttr(self, name);
      if (own != nullptr || !PyErr_ExceptionMatches(PyExc_AttributeError)) {
        return py::reinterpret_steal<py::object>(own);  // nullptr keeps Python's error
      }
      PyErr_Clear();
      member = &FindMember(handle, std::string(wanted));
    }
    const bool record = app::VisitObject(*handle.object, app::Overloaded{
                                                             [](const Record&) { return true; },
                                                             [](const Object&) { return false; },
                                                         });
    if (member->arg_names.empty() && record) {
      std::vector<Variant> none;
      return ToPython(Invoke(handle, *member, none));
    }
    return py::cast(Method{handle, member});
  });
}

// The call slot of a Method: arguments by position or by name.
PyObject* CallMethod(PyObject* self, PyObject* positional, PyObject* keywords) {
  return Slot([&] {
    const auto& method = py::handle(self).cast<const Method&>();
    std::vector<Variant> args = Arguments(method.self, *method.member, positional, keywords);
    return ToPython(Invoke(method.self, *method.member, args));
  });
}

// The Python type of a class, to give it a slot of its own; classes derived
// from it afterwards inherit the slot.
PyTypeObject* TypeOf(py::handle cls) { return reinterpret_cast<PyTypeObject*>(cls.ptr()); }

py::list Dir(const py::object& self) {
  py::list names = py::module_::import("builtins").attr("object").attr("__dir__")(self);
  if (const ClassInfo* info = self.cast<const Handle&>().Info()) {
    for (const MemberInfo& member : info->Members()) names.append(member.name);
  }
  return names;
}

std::string Doc(const Handle& self, bool properties) {
  std::string text = "BRIVOS." + self.object->ClassName();
  if (const ClassInfo* info = self.Info()) {
    text += properties ? ": properties and related records\n" : ": members\n";
    for (const MemberInfo& member : info->Members()) {
      text += "\n  " + Signature(member, properties && member.arg_names.empty());
    }
  }
  return text;
}

// brivos.call(obj, "AddProject", args): the result and the arguments as the
// call left them; `args` a sequence, or a dict of argument names (then the
// arguments come back as a dict in the member's order).
py::tuple CallWithArguments(const Handle& self, const std::string& name, const py::object& args) {
  const MemberInfo& member = FindMember(self, name);
  const bool named = PyDict_Check(args.ptr());
  std::vector<Variant> values = named ? Arguments(self, member, py::tuple(), args)
                                      : Arguments(self, member, args, py::handle());
  py::object result = ToPython(Invoke(self, member, values));
  if (!named) return py::make_tuple(result, ToPython(Variant(std::move(values))));
  py::dict written;
  for (std::size_t i = 0; i < values.size(); ++i) {
    written[py::str(member.arg_names[i])] = ToPython(values[i]);
  }
  return py::make_tuple(result, written);
}

// brivos.Record
py::dict ToDict(const RecordHandle& self) {
  const auto& record = static_cast<const Record&>(*self.object);
  const auto& columns = record.Schema().columns;
  py::dict out;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    out[py::str(std::string(columns[i].property))] = ToPython(record.Field(i));
  }
  return out;
}

// brivos.Collection: position from 0 (negative from the end), or key text.
py::object CollectionItem(const CollectionHandle& self, const py::object& index) {
  const auto& items = static_cast<const Collection&>(*self.object).Items();
  if (PyLong_Check(index.ptr())) {
    auto i = index.cast<Py_ssize_t>();
    const auto size = static_cast<Py_ssize_t>(items.size());
    if (i < 0) i += size;
    if (i < 0 || i >= size) throw py::index_error("collection index out of range");
    return ToPython(items[static_cast<std::size_t>(i)]);
  }
  std::vector<Variant> key{Tagged(self, [&] { return FromPython(index); })};
  return ToPython(Invoke(self, FindMember(self, "Item"), key));
}

// brivos.Recordset iterates its rows from the first, each a dict of its
// fields, whatever its current row.
struct RowIterator {
  RecordsetHandle rows;
  std::size_t next = 0;
  py::tuple names;
};

const Recordset& RowsOf(const RecordsetHandle& self) {
  const auto& rows = static_cast<const Recordset&>(*self.object);
  Tagged(self, [&] { rows.RecordCount(); });  // raises 3704 when closed
  return rows;
}

RowIterator IterateRows(const RecordsetHandle& self) {
  const Recordset& rows = RowsOf(self);
  py::tuple names(rows.FieldNames()->size());
  for (std::size_t i = 0; i < names.size(); ++i) names[i] = py::str((*rows.FieldNames())[i]);
  return RowIterator{self, 0, names};
}

py::dict NextRow(RowIterator& it) {
  const auto& rows = static_cast<const Recordset&>(*it.rows.object).Rows();
  if (it.next >= rows.size()) throw py::stop_iteration();
  const std::vector<Variant>& row = rows[it.next++];
  py::dict out;
  for (std::size_t i = 0; i < row.size(); ++i) out[it.names[i]] = ToPython(row[i]);
  return out;
}

void TranslateErrors(std::exception_ptr raised) {
  try {
    std::rethrow_exception(raised);
  } catch (const Error& e) {
    SetPythonError(e);
  }
}

}  // namespace
}  // namespace brivos::python

PYBIND11_MODULE(brivos, m) {
  using namespace brivos::python;
  using brivos::Variant;
  m.doc() =
      "BRIVOS, the time, expense and billing library, late-bound.\n\n"
      "CreateObject('BRIVOS.CProjectMgr') returns a manager whose methods are its\n"
      "attributes (names in any letter case), called with arguments by position or\n"
      "by the names help() shows. Records read their properties as attributes;\n"
      "collections are sequences; result sets iterate as a dict per row.";

  g_error = PyErr_NewExceptionWithDoc(
      "brivos.Error",
      "An error the library raised: .number, .source and .description (the message).",
      PyExc_Exception, nullptr);
  const py::tuple member_bases =
      py::make_tuple(py::handle(g_error), py::handle(PyExc_AttributeError));
  g_member_error = PyErr_NewExceptionWithDoc(
      "brivos.MemberError", "Error 438: the object has no such member; also an AttributeError.",
      member_bases.ptr(), nullptr);
  if (g_error == nullptr || g_member_error == nullptr) throw py::error_already_set();
  m.attr("Error") = py::handle(g_error);
  m.attr("MemberError") = py::handle(g_member_error);
  py::register_exception_translator(TranslateErrors);

  py::class_<EmptyValue>(m, "EmptyType", "The type of brivos.Empty, the automation value Empty.")
      .def("__repr__", [](const EmptyValue&) { return "brivos.Empty"; })
      .def("__bool__", [](const EmptyValue&) { return false; });
  m.attr("Empty") = py::cast(EmptyValue{});
  SetEmpty(m.attr("Empty"));

  py::class_<Method> method(m, "Method", "A member of a library object, bound to it.");
  method.def_property_readonly("__doc__", &Method::Doc)
      .def_property_readonly("__signature__", &Method::PySignature)
      .def("__repr__", [](const Method& self) {
        return "<brivos method " + self.self.object->ClassName() + "." + self.member->name + ">";
      });
  TypeOf(method)->tp_call = CallMethod;

  py::class_<Handle> object_class(m, "Object", "A library object; its members are its attributes.");
  TypeOf(object_class)->tp_getattro = GetAttro;
  object_class.def("__dir__", &Dir)
      .def_property_readonly("__doc__", [](const Handle& self) { return Doc(self, false); })
      .def("__repr__",
           [](const Handle& self) { return "<brivos." + self.object->ClassName() + " object>"; });

  py::class_<RecordHandle, Handle>(m, "Record", "A record: its properties are attributes.")
      .def_property_readonly("__doc__", [](const RecordHandle& self) { return Doc(self, true); })
      .def("to_dict", &ToDict, "The properties by name, in the record's order.");

  py::class_<CollectionHandle, Handle>(m, "Collection",
                                       "A collection: len, iteration, [position] from 0, [key].")
      .def("__len__",
           [](const CollectionHandle& self) {
             return static_cast<const brivos::Collection&>(*self.object).Items().size();
           })
      .def("__getitem__", &CollectionItem)
      .def(
          "__iter__",
          [](const CollectionHandle& self) {
            const auto& items = static_cast<const brivos::Collection&>(*self.object).Items();
            return py::make_iterator(items.begin(), items.end());
          },
          py::keep_alive<0, 1>());

  py::class_<RowIterator>(m, "RowIterator")
      .def("__iter__", [](py::object self) { return self; })
      .def("__next__", &NextRow);
  py::class_<RecordsetHandle, Handle>(m, "Recordset",
                                      "A result set: len and iteration, a dict per row.")
      .def("__len__", [](const RecordsetHandle& self) { return RowsOf(self).Rows().size(); })
      .def("__iter__", &IterateRows);

  m.def(
      "CreateObject",
      [](const std::string& prog_id) {
        std::shared_ptr<brivos::Object> object;
        {
          py::gil_scoped_release release;
          object = brivos::CreateObject(prog_id);
        }
        return Variant(std::move(object));
      },
      py::arg("prog_id"), "A new object of a creatable class: CreateObject('BRIVOS.CProjectMgr').");
  m.def("call", &CallWithArguments, py::arg("obj"), py::arg("member"), py::arg("args"),
        "(result, args): calls the member and gives the arguments as the call left them;\n"
        "args is a sequence, or a dict by argument name (then a dict comes back).");
  m.def(
      "CreateSubscriberDatabase",
      [](const std::string& account, const std::string& company, const std::string& user,
         const std::string& password) {
        py::gil_scoped_release release;
        brivos::CreateSubscriberDatabase(account, company, user, password);
      },
      py::arg("account"), py::arg("company"), py::arg("user"), py::arg("password"),
      "Provisions a subscriber: the database of `account` with its main user.");
}
