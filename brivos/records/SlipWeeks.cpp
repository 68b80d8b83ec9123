#include "brivos/records/SlipWeeks.hpp"

#include "brivos/database/SummedTable.hpp"
#include "brivos/records/EnumeratedTypes.hpp"

namespace brivos {

namespace {

std::string OrNull(const std::string& column) {
  return "COALESCE(" + column + ", " + std::to_string(kSlipWeeksNull) + ")";
}

std::string IfApproved(const std::string& row, const std::string& what) {
  return "(CASE WHEN " + row + ".Status = " + std::to_string(eTransStatus::tsApproved) + " THEN " +
         what + " ELSE 0 END)";
}

const SummedTable& Weeks() {
  static const SummedTable weeks{
      kSlipWeeksTable,
      "IProjectTransaction",
      {{"Week", SlipWeek},
       {"StaffID", [](const std::string& row) { return row + ".StaffID"; }},
       {"Parent", [](const std::string& row) { return OrNull(row + ".Parent"); }}},
      "Slips",
      {{"Minutes", SlipMinutes},
       {"Value", SlipValue},
       {"Approved", [](const std::string& row) { return IfApproved(row, "1"); }},
       {"ApprovedMinutes",
        [](const std::string& row) { return IfApproved(row, SlipMinutes(row)); }},
       {"ApprovedValue", [](const std::string& row) { return IfApproved(row, SlipValue(row)); }}},
      // A day that is no number (text) compares above every number.
      [](const std::string& row) {
        return "(" + row + ".StaffID IS NOT NULL AND " + row + ".TransDate > -1e9 AND " + row +
               ".TransDate < 1e9)";
      },
      {"Parent", "TransDate", "StartTime", "StopTime", "StaffRate", "OTRate", "Status", "OverTime",
       "StaffID"}};
  return weeks;
}

}  // namespace

std::string SlipMinutes(const std::string& row) {
  const std::string start = row + ".StartTime", stop = row + ".StopTime";
  return "(CASE WHEN " + start + " IS NULL OR " + stop + " IS NULL THEN 0 WHEN " + stop +
         " >= " + start + " THEN FLOOR((" + stop + " - " + start + ") * 1440 + 0.5) ELSE -FLOOR((" +
         start + " - " + stop + ") * 1440 + 0.5) END)";
}

std::string SlipValue(const std::string& row) {
  return "(COALESCE(CAST(CASE WHEN " + row + ".OverTime <> 0 THEN " + row + ".OTRate ELSE " + row +
         ".StaffRate END AS DOUBLE PRECISION), 0) * " + SlipMinutes(row) + " / 60)";
}

std::string SlipWeek(const std::string& row) {
  // Day 0, 1899-12-30, is a Saturday: a day's distance past its Monday is
  // (day mod 7 + 5) mod 7, the mod taken up from below zero.
  const std::string day = "CAST(FLOOR(" + row + ".TransDate) AS BIGINT)";
  return "(" + day + " - ((" + day + " % 7) + 12) % 7)";
}

std::string SlipWeeksDdl() { return SummedTableDdl(Weeks()); }

void AddSlipWeeks(const Variant& account) { AddSummedTable(account, Weeks()); }

}  // namespace brivos
