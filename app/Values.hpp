#pragma once

// The values every front end turns into its own terms (JSON, Python, the
// program's output): which kind of object a value holds, and the one rule for
// whole numbers that arrive wider than the library's 32-bit Long.

#include <cstdint>
#include <utility>

#include "brivos/brivos.hpp"

namespace brivos::app {

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

// A whole number from a front end: a Long when it fits 32 bits, a Double when
// the Double holds it exactly (up to 2^53 either way), otherwise error 6
// (overflow). The same rule for JSON, Python and the program's arguments.
Variant WholeNumber(std::int64_t value);
// The same for a number beyond 64 bits, given as its text ("18446744073709551616"):
// always error 6, since no Double beyond 2^53 is exact for every such text.
[[noreturn]] void RaiseTooWide(const char* source);

}  // namespace brivos::app
