#pragma once

// Automation values to and from Python objects, and the handles Python holds
// library objects by. Every conversion holds the GIL.

#include <pybind11/pybind11.h>

#include <memory>
#include <utility>

#include "brivos/brivos.hpp"

namespace brivos::python {

namespace py = pybind11;

// A library object as Python holds it: brivos.Object, or one of the kinds
// below, each a Python class of its own.
struct Handle {
  explicit Handle(std::shared_ptr<Object> held) : object(std::move(held)) {}

  std::shared_ptr<Object> object;
  // The type information of the object's class, found on first use; nullptr
  // for a class the registry does not know.
  const ClassInfo* Info() const;

 private:
  mutable const ClassInfo* info_ = nullptr;
  mutable bool looked_up_ = false;
};
// brivos.Record: properties as attributes.
struct RecordHandle : Handle {
  using Handle::Handle;
};
// brivos.Collection: a sequence of its items.
struct CollectionHandle : Handle {
  using Handle::Handle;
};
// brivos.Recordset: an iterable of a dict per row.
struct RecordsetHandle : Handle {
  using Handle::Handle;
};

// The type of brivos.Empty, the one Empty value.
struct EmptyValue {};

// The Python value of `value`: Empty is brivos.Empty, Null None, Boolean bool,
// Long int, Double float, Currency decimal.Decimal with four places, Date
// datetime.datetime, String str, Array list, an object its handle (None for
// no object).
py::object ToPython(const Variant& value);

// The automation value of a Python object: the reverse of ToPython, and also
// datetime.date (a Date at midnight), tuples (Arrays) and an int beyond 32 bits
// (a Double while it is exact). Raises Error 6 for a number the value cannot
// hold exactly (a Decimal beyond four places or out of Currency's range, an
// int beyond 2**53), 13 for any other type.
Variant FromPython(py::handle value);

// Called once, by the module: the singleton brivos.Empty.
void SetEmpty(py::object empty);

}  // namespace brivos::python

namespace pybind11::detail {

template <>
struct type_caster<brivos::Variant> {
  PYBIND11_TYPE_CASTER(brivos::Variant, const_name("object"));

  bool load(handle src, bool /*convert*/) {
    value = brivos::python::FromPython(src);
    return true;
  }
  static handle cast(const brivos::Variant& src, return_value_policy /*policy*/,
                     handle /*parent*/) {
    return brivos::python::ToPython(src).release();
  }
};

}  // namespace pybind11::detail
