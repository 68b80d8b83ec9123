#pragma once

#include <memory>
#include <utility>

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

// The approver and approval time of a slip whose status goes from
// `old_status` (approved by `by` on `on`) to `new_status`, changed by `user`:
// stamped when an open slip (tsActive, tsComplete) becomes tsApproved, kept
// while it stays at tsApproved or above (approved, billed, paused), cleared
// otherwise. A Null status compares as neither below nor equal to anything.
std::pair<Variant, Variant> ApprovalAfter(const Variant& old_status, const Variant& by,
                                          const Variant& on, const Variant& new_status,
                                          const Variant& user);

// An optional reference: Empty and 0 give Null, anything else itself.
Variant ZeroToNull(const Variant& id);

// A project is active when its status is psActive; a Null status is not.
bool IsActive(const Variant& status);

}  // namespace brivos::projects
