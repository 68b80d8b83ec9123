#pragma once

// The firm's slips summed by week (its Monday), staff row and project in
// the table IProjectTransactionWeek, kept by triggers on
// IProjectTransaction (see SummedTable): every writer, the library's or a
// statement of its own, keeps the sums right. The reports read a year of a firm's slips
// from there in a few thousand rows instead of a million.
//
// A slip counts in the week of FLOOR(TransDate) when it has a staff row
// (StaffID not Null) and a day (TransDate a number within a billion days of
// 1899-12-30, as every date is); a Null project is kept as kSlipWeeksNull,
// which no key equals. A row of the table holds the number of its slips
// (Slips; a row whose last slip leaves is deleted), the sums of their
// SlipMinutes and SlipValue (Minutes, Value), and the same of the approved
// ones among them (Approved, ApprovedMinutes, ApprovedValue): approving or
// billing a slip changes its row in place.

#include <cstdint>
#include <string>

#include "brivos/foundation/Variant.hpp"

namespace brivos {

inline constexpr const char* kSlipWeeksTable = "IProjectTransactionWeek";
inline constexpr std::int64_t kSlipWeeksNull = -4294967296LL;

// A slip's minutes from its start to its stop, rounded half away from zero
// as the front ends round them; none without both times. `row` names the
// slip ("t", "NEW").
std::string SlipMinutes(const std::string& row);

// What the slip is worth: its minutes at its own rate an hour, overtime at
// the overtime rate.
std::string SlipValue(const std::string& row);

// The Monday (a day number) of the slip's day.
std::string SlipWeek(const std::string& row);

// The table and its triggers, for a new database of the active backend.
std::string SlipWeeksDdl();

// Adds the table and its triggers to the database an Account names, made
// before they existed, filled with the sums of the slips it holds; nothing
// when it has them. The slips are not written meanwhile.
void AddSlipWeeks(const Variant& account);

}  // namespace brivos
