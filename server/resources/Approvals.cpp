// What awaits an administrator's approval, by person and week.

#include <map>
#include <utility>

#include "server/Routes.hpp"

namespace brivos::server::resources {

namespace {

constexpr const char* kWho =
    "u.IUserID AS UserID, u.UserName AS UserName, u.FirstName AS FirstName, "
    "u.LastName AS LastName, p.Name AS Project";
constexpr const char* kStaff =
    " JOIN IProjectStaff s ON s.IProjectStaffID = x.StaffID JOIN IUser u ON u.IUserID = s.UserID"
    " JOIN IProject p ON p.IProjectID = x.Parent";

// The slips in `status`: complete ones await approval, approved ones may be
// sent back until they are billed.
std::string SlipsIn(int status) {
  return std::string("SELECT x.IProjectTransactionID AS ID, x.TransDate AS Day, x.StartTime, "
                     "x.StopTime, x.Description, x.OverTime, k.Name AS Task, ") +
         kWho + " FROM IProjectTransaction x" + kStaff +
         " LEFT JOIN IProjectTask k ON k.IProjectTaskID = x.TaskID WHERE x.Status = " +
         std::to_string(status) +
         " ORDER BY u.UserName, x.TransDate, x.StartTime";
}

std::string ExpensesAwaiting() {
  return std::string("SELECT x.IProjectExpenseID AS ID, x.ExpenseDate AS Day, x.Description, "
                     "x.Amount, x.ExchangeRate, x.Markup, ") +
         kWho + " FROM IProjectExpense x" + kStaff +
         " WHERE x.Approved = 0 AND x.Billed = 0 ORDER BY u.UserName, x.ExpenseDate";
}

// The Monday of the week of an ISO day text ("2024-03-06..." -> "2024-03-04").
std::string WeekOf(const Json& day) {
  Date d;
  if (!day.is_string() || !Date::TryParse(day.get<std::string>(), d)) return "";
  const Date day_part = d.DatePart();
  // Weekday: 1 Sunday, 2 Monday ... 7 Saturday.
  const int back = (day_part.Weekday() + 5) % 7;
  return Date::FromSerial(day_part.Serial() - back).ToString().substr(0, 10);
}

}  // namespace

// [{UserID, UserName, FirstName, LastName, Week, Slips: [...], Expenses: [...],
// Approved: [...]}], by user name and week: the slips and expenses that await
// approval, and the approved slips not yet billed.
Response Approvals(Context& c) {
  std::map<std::pair<std::string, std::string>, Json> groups;
  const auto add = [&](const char* kind, const std::string& sql) {
    const Json rows = Public(c.Call("CReportMgr", "ExecReportQuery", {Variant(sql)}), true);
    for (Json row : rows) {
      const std::string week = WeekOf(row.value("Day", Json()));
      Json& group = groups[{row.value("UserName", std::string()), week}];
      if (group.is_null()) {
        group = Json::object();
        for (const char* key : {"UserID", "UserName", "FirstName", "LastName"}) {
          group[key] = row.value(key, Json());
        }
        group["Week"] = week;
        group["Slips"] = Json::array();
        group["Expenses"] = Json::array();
        group["Approved"] = Json::array();
      }
      for (const char* key : {"UserID", "UserName", "FirstName", "LastName"}) row.erase(key);
      group[kind].push_back(std::move(row));
    }
  };
  add("Slips", SlipsIn(eTransStatus::tsComplete));
  add("Expenses", ExpensesAwaiting());
  add("Approved", SlipsIn(eTransStatus::tsApproved));
  Json out = Json::array();
  for (auto& [key, group] : groups) out.push_back(std::move(group));
  return JsonResponse(200, out);
}

// {"Reason": "..."}: an approved slip sent back to its owner.
Response ReturnTimeEntry(Context& c) {
  const std::int32_t id = ParseId(c.Params()[1]);
  c.CallNamed("CProjectMgr", "ReturnTransaction",
              Json{{"TransID", id}, {"Reason", c.Body().value("Reason", Json())}});
  return PublicResponse(200, c.Call("CProjectMgr", "GetTransaction", {id}));
}

// {"Markup": 10}: an expense approved, billed at that percent over its amount.
Response ApproveExpense(Context& c) {
  const std::int32_t id = ParseId(c.Params()[1]);
  const Json body = c.Body();
  c.CallNamed("CProjectMgr", "ApproveExpense",
              Json{{"ExpenseID", id}, {"Markup", body.value("Markup", Json(0))}});
  return PublicResponse(200, c.Call("CProjectMgr", "GetExpense", {id}));
}

}  // namespace brivos::server::resources
