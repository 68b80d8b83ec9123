#pragma once

#include <memory>

#include "brivos/foundation/Date.hpp"
#include "brivos/foundation/Error.hpp"
#include "brivos/foundation/Variant.hpp"

namespace brivos::projects {

// A date argument that may be left out: Empty, "" and Null give Null,
// anything else its date (13 when it is none).
Variant DateOrNull(const Variant& value);

// Clamps a project's timer step to 60 and then to at least 1, in the
// caller's argument itself.
void ClampTimeChunk(Variant& time_chunk);

// The moment `hour`:`minute` and one second on the calendar day of `day`.
// Raises 13 unless `hour` is a whole number in 0..23 and `minute` in 0..59.
Date SlipTime(const Date& day, const Variant& hour, const Variant& minute);

// The ordering text of a project list: "" outside 0..3; 13 for a non-number.
const char* ProjectOrder(const Variant& sort_order);

// A lookup by key fails when nothing is found, as taking item 1 of none does.
template <class T>
std::shared_ptr<T> Found(std::shared_ptr<T> record) {
  if (!record) RaiseRuntime(errnum::kSubscriptOutOfRange);
  return record;
}

}  // namespace brivos::projects
