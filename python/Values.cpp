#include "python/Values.hpp"

#include <datetime.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/Values.hpp"

namespace brivos::python {
namespace {

// Set once by the module, while it loads; never released, as the module is
// never unloaded.
PyObject* g_empty = nullptr;

// The decimal.Decimal type, imported on first use.
py::handle DecimalType() {
  static PyObject* type =
      py::object(py::module_::import("decimal").attr("Decimal")).release().ptr();
  return type;
}

// The datetime C API is macros with C casts.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wold-style-cast"

void ImportDateTime() {
  if (PyDateTimeAPI == nullptr) {
    PyDateTime_IMPORT;
    if (PyDateTimeAPI == nullptr) throw py::error_already_set();
  }
}

[[noreturn]] void RaiseOverflow(py::handle value, const char* what) {
  Raise(errnum::kOverflow, RuntimeMessage(errnum::kOverflow) + ": " +
                               py::repr(value).cast<std::string>() + " " + what);
}

// An int as the gate takes every whole number (app::WholeNumber): a Long
// within 32 bits, an exact Double up to 2**53, Error 6 beyond.
Variant IntegerValue(py::handle value) {
  int overflow = 0;
  const long long n = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
  if (n == -1 && PyErr_Occurred() != nullptr) throw py::error_already_set();
  if (overflow != 0) app::RaiseTooWide("BRIVOS");
  return app::WholeNumber(n);
}

// Exactly: the digits of the Decimal as ten-thousandths, or Error 6.
Variant CurrencyValue(py::handle value) {
  const py::tuple parts = value.attr("as_tuple")();
  const bool negative = parts[0].cast<int>() != 0;
  const py::tuple digits = parts[1];
  if (!PyLong_Check(parts[2].ptr())) RaiseOverflow(value, "is no number Currency holds");
  const long exponent = parts[2].cast<long>() + 4;  // of ten-thousandths
  const auto count = static_cast<long>(digits.size());
  const long kept = exponent >= 0 ? count : count + exponent;
  std::uint64_t scaled = 0;
  bool fits = true;
  for (long i = 0; i < count; ++i) {
    const auto digit = digits[static_cast<std::size_t>(i)].cast<std::uint64_t>();
    if (i >= kept) {
      fits = fits && digit == 0;  // a place beyond the fourth
    } else {
      fits = fits && !__builtin_mul_overflow(scaled, 10u, &scaled) &&
             !__builtin_add_overflow(scaled, digit, &scaled);
    }
  }
  for (long i = 0; fits && scaled != 0 && i < exponent; ++i) {
    fits = !__builtin_mul_overflow(scaled, 10u, &scaled);
  }
  constexpr std::uint64_t kMost = static_cast<std::uint64_t>(INT64_MAX);
  if (!fits || scaled > kMost + (negative ? 1 : 0)) {
    RaiseOverflow(value, "does not fit Currency (four decimal places, 64 bits)");
  }
  // Two's complement: the most negative value comes out right too.
  return Variant(Currency::FromScaled(static_cast<std::int64_t>(negative ? 0 - scaled : scaled)));
}

// A Date from a datetime, rounded to the nearest second as every Date is; a
// datetime with a time zone is refused, as the library's dates are local.
Variant DateValue(py::handle value) {
  if (!PyDateTime_Check(value.ptr())) {
    return Variant(Date::FromParts(PyDateTime_GET_YEAR(value.ptr()),
                                   PyDateTime_GET_MONTH(value.ptr()),
                                   PyDateTime_GET_DAY(value.ptr())));
  }
  if (!value.attr("tzinfo").is_none()) {
    Raise(errnum::kTypeMismatch, RuntimeMessage(errnum::kTypeMismatch) +
                                     ": a datetime with a time zone (dates are local times)");
  }
  py::object when = py::reinterpret_borrow<py::object>(value);
  const int micro = PyDateTime_DATE_GET_MICROSECOND(value.ptr());
  if (micro >= 500000) {
    when = when + py::module_::import("datetime").attr("timedelta")(0, 0, 1000000 - micro);
  }
  PyObject* w = when.ptr();
  return Variant(Date::FromParts(PyDateTime_GET_YEAR(w), PyDateTime_GET_MONTH(w),
                                 PyDateTime_GET_DAY(w), PyDateTime_DATE_GET_HOUR(w),
                                 PyDateTime_DATE_GET_MINUTE(w), PyDateTime_DATE_GET_SECOND(w)));
}

py::object DateToPython(Date d) {
  ImportDateTime();
  PyObject* when =
      PyDateTime_FromDateAndTime(d.Year(), d.Month(), d.Day(), d.Hour(), d.Minute(), d.Second(), 0);
  if (when == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(when);
}

bool IsDate(py::handle value) {
  ImportDateTime();
  return PyDate_Check(value.ptr());
}

#pragma GCC diagnostic pop

// UTF-8; text that came from invalid UTF-8 (see ToPython) goes back as it was.
std::string TextValue(py::handle value) {
  Py_ssize_t size = 0;
  if (const char* data = PyUnicode_AsUTF8AndSize(value.ptr(), &size)) {
    return std::string(data, static_cast<std::size_t>(size));
  }
  PyErr_Clear();
  const auto bytes = py::reinterpret_steal<py::bytes>(
      PyUnicode_AsEncodedString(value.ptr(), "utf-8", "surrogateescape"));
  if (!bytes) throw py::error_already_set();
  return std::string(bytes);
}

py::object ObjectToPython(std::shared_ptr<Object> object) {
  if (!object) return py::none();
  const Object& held = *object;
  return app::VisitObject(
      held, app::Overloaded{
                [&](const Record&) { return py::cast(RecordHandle(std::move(object))); },
                [&](const Collection&) { return py::cast(CollectionHandle(std::move(object))); },
                [&](const Recordset&) { return py::cast(RecordsetHandle(std::move(object))); },
                [&](const Object&) { return py::cast(Handle(std::move(object))); },
            });
}

}  // namespace

const ClassInfo* Handle::Info() const {
  if (!looked_up_) {
    info_ = app::VisitObject(*object,
                             app::Overloaded{
                                 [](const Record& record) { return &record.Schema().info; },
                                 [](const Object& other) { return FindClass(other.ClassName()); },
                             });
    looked_up_ = true;
  }
  return info_;
}

void SetEmpty(py::object empty) { g_empty = empty.release().ptr(); }

py::object ToPython(const Variant& value) {
  switch (value.Type()) {
    case VarType::Empty:
      return py::reinterpret_borrow<py::object>(g_empty);
    case VarType::Null:
      return py::none();
    case VarType::Boolean:
      return py::bool_(value.AsBool());
    case VarType::Long:
      return py::int_(value.AsLong());
    case VarType::Double:
      return py::float_(value.AsDouble());
    case VarType::Currency:
      return DecimalType()(value.AsCurrency().ToFixedString());
    case VarType::Date: {
      return DateToPython(value.AsDate());
    }
    case VarType::String: {
      const std::string& text = value.AsString();
      auto str = py::reinterpret_steal<py::object>(PyUnicode_DecodeUTF8(
          text.data(), static_cast<Py_ssize_t>(text.size()), "surrogateescape"));
      if (!str) throw py::error_already_set();
      return str;
    }
    case VarType::Object:
      return ObjectToPython(value.AsObject());
    case VarType::Array: {
      const std::vector<Variant>& items = value.AsArray();
      py::list list(items.size());
      for (std::size_t i = 0; i < items.size(); ++i) list[i] = ToPython(items[i]);
      return list;
    }
  }
  return py::none();
}

Variant FromPython(py::handle value) {
  PyObject* p = value.ptr();
  if (PyUnicode_Check(p)) return Variant(TextValue(value));
  if (PyBool_Check(p)) return Variant(p == Py_True);
  if (PyLong_Check(p)) return IntegerValue(value);
  if (PyFloat_Check(p)) return Variant(PyFloat_AS_DOUBLE(p));
  if (value.is_none()) return Variant::Null();
  if (py::isinstance<Handle>(value)) return Variant(value.cast<const Handle&>().object);
  if (p == g_empty) return Variant();
  if (IsDate(value)) return DateValue(value);
  if (py::isinstance(value, DecimalType())) return CurrencyValue(value);
  if (PyIndex_Check(p)) {  // integers of other types (numpy's)
    const auto integer = py::reinterpret_steal<py::object>(PyNumber_Index(p));
    if (!integer) throw py::error_already_set();
    return IntegerValue(integer);
  }
  if (PyList_Check(p) || PyTuple_Check(p)) {
    std::vector<Variant> items;
    items.reserve(static_cast<std::size_t>(py::len(value)));
    for (py::handle item : value) items.push_back(FromPython(item));
    return Variant(std::move(items));
  }
  Raise(errnum::kTypeMismatch,
        RuntimeMessage(errnum::kTypeMismatch) + ": a " +
            std::string(py::str(py::type::handle_of(value).attr("__name__"))) +
            " is no automation value");
}

}  // namespace brivos::python
