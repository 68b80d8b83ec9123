#pragma once

// The values every front end turns into its own terms (JSON, Python, the
// program's output): which kind of object a value holds, and the one rule for
// whole numbers that arrive wider than the library's 32-bit Long.

#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "brivos/brivos.hpp"

namespace brivos::app {

// A visitor for VisitObject from one lambda per kind of object.
template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};

// Calls the overload of `visit` for what `object` is: a Record (its
// properties), a Collection (its items), a Recordset (its rows), or any other
// Object. The one place a front end asks an object's kind.
template <class Visitor>
decltype(auto) VisitObject(const Object& object, Visitor&& visit) {
  if (const auto* record = dynamic_cast<const Record*>(&object)) {
    return std::forward<Visitor>(visit)(*record);
  }
  if (const auto* collection = dynamic_cast<const Collection*>(&object)) {
    return std::forward<Visitor>(visit)(*collection);
  }
  if (const auto* rows = dynamic_cast<const Recordset*>(&object)) {
    return std::forward<Visitor>(visit)(*rows);
  }
  return std::forward<Visitor>(visit)(object);
}

// The property `name` of the object `value` holds (a record's column, a
// related record); Null when it holds no object.
Variant Property(const Variant& value, std::string_view name);
// The items of the Collection `value` holds; none for any other value.
std::vector<Variant> Items(const Variant& value);

// A whole number from a front end: a Long when it fits 32 bits, a Double when
// the Double holds it exactly (up to 2^53 either way), otherwise error 6
// (overflow). The same rule for JSON, Python and the program's arguments.
Variant WholeNumber(std::int64_t value);
// Error 6 for a whole number wider than 64 bits, which no front end takes.
[[noreturn]] void RaiseTooWide(const char* source);

}  // namespace brivos::app
