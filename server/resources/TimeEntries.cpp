// Time slips.

#include <cmath>

#include "server/Routes.hpp"
#include "app/Values.hpp"

namespace brivos::server::resources {

using app::Items;
using app::Property;

namespace {
// The longest span one listing of slips covers.
constexpr int kMaxEntryDays = 366;
}  // namespace

Response TimeEntries(Context& c) {
  if (WantsCsv(c)) return SlipsCsv(c);
  const Date from = ParseDate(c.Query("from"), "from");
  const Date to = ParseDate(c.Query("to"), "to");
  const double first = std::floor(from.Serial()), last = std::floor(to.Serial());
  if (last < first || last - first >= kMaxEntryDays) {
    throw HttpError(400, "from..to must be 1 to " + std::to_string(kMaxEntryDays) + " days");
  }
  Variant whose = c.Caller().user;
  if (const std::string user_id = c.Query("userId"); !user_id.empty()) {
    const std::int32_t id = ParseId(user_id);
    if (id != c.Caller().user_id) {
      whose = Variant::Null();
      for (const Variant& u : Items(c.Call("CUserManager", "GetSubscriberUserProfiles", {}))) {
        if (CLng(Property(u, "IUserID")) == id) whose = Property(u, "UserName");
      }
      if (whose.IsNull()) throw HttpError(404, "no user " + user_id);
    }
  }
  Json out = Json::array();
  for (double week = first; week <= last; week += 7) {
    const Variant slips =
        c.Call("CProjectMgr", "GetTransactionsForWeek", {Date::FromSerial(week), whose});
    for (const Variant& slip : Items(slips)) {
      const Variant day = Property(slip, "TransDate");
      const double d = day.Type() == VarType::Date ? std::floor(day.AsDate().Serial()) : -1;
      if (d >= first && d <= last) out.push_back(Public(slip));
    }
  }
  return c.Page(out);
}

Response AddTimeEntry(Context& c) {
  Json body = c.Body();
  // A slip entered after the fact is the caller's own by default: their staff
  // row on the project gives StaffID and the four rates the body leaves out,
  // as the timer takes them.
  if (!body.contains("StaffID") && body.contains("ProjectID") && body["ProjectID"].is_number()) {
    const Variant project =
        c.Call("CProjectMgr", "GetProject", {Variant(body["ProjectID"].get<std::int32_t>())});
    std::vector<Variant> account{c.Firm().account};
    const Variant staff =
        project.AsObject() ? project.AsObject()->Invoke("Staff", account) : Variant();
    for (const Variant& row : Items(staff)) {
      const Variant user = Property(row, "UserID");
      if (user.IsNull() || CLng(user) != c.Caller().user_id) continue;
      body["StaffID"] = CLng(Property(row, "IProjectStaffID"));
      for (const app::SlipRate& rate : app::kSlipRates) {
        const Variant value = Property(row, rate.column);
        if (!body.contains(rate.arg) && !value.IsNull()) body[rate.arg] = CDbl(value);
      }
      break;
    }
  }
  const Variant id = c.CallNamed("CProjectMgr", "AddTransaction", body, true);
  return PublicResponse(201, c.Call("CProjectMgr", "GetTransaction", {id}));
}

Response TimeEntry(Context& c) {
  return PublicResponse(200, c.Call("CProjectMgr", "GetTransaction", {ParseId(c.Params()[1])}));
}

Response PatchTimeEntry(Context& c) {
  const std::int32_t id = ParseId(c.Params()[1]);
  const Json current = Public(c.Call("CProjectMgr", "GetTransaction", {id}));
  // The slip as it stands, as UpdateTransaction's arguments, under the changes.
  Json merged = Json::object();
  merged["TransID"] = id;
  for (const char* name : {"TransDate", "Description", "Status", "StaffRate", "StaffCost", "OTCost",
                           "OTRate", "Error", "TaskID", "StaffID", "OverTime"}) {
    merged[name] = current.value(name, Json());
  }
  const auto time_parts = [&](const char* column, const char* hour, const char* minute) {
    Date at;
    const Json stamp = current.value(column, Json());
    const bool known = stamp.is_string() && Date::TryParse(stamp.get<std::string>(), at);
    merged[hour] = known ? at.Hour() : 0;
    merged[minute] = known ? at.Minute() : 0;
  };
  time_parts("StartTime", "StartHour", "StartMinute");
  time_parts("StopTime", "EndHour", "EndMinute");
  const Json changes = c.Body();
  if (changes.contains("TransID") && changes["TransID"] != id) {
    throw HttpError(400, "TransID is the path's");
  }
  for (auto it = changes.begin(); it != changes.end(); ++it) merged[it.key()] = it.value();
  c.CallNamed("CProjectMgr", "UpdateTransaction", merged);
  return PublicResponse(200, c.Call("CProjectMgr", "GetTransaction", {id}));
}

Response DeleteTimeEntry(Context& c) {
  c.Call("CProjectMgr", "DeleteTransaction", {ParseId(c.Params()[1])});
  return NoContent();
}

Response TimeEntryStatus(Context& c) {
  const std::int32_t id = ParseId(c.Params()[1]);
  const Json body = c.Body();
  if (!body.contains("Status")) throw HttpError(400, "the body needs \"Status\"");
  c.CallNamed("CProjectMgr", "UpdateTransactionStatus",
              Json{{"TransID", id}, {"Status", body["Status"]}});
  return PublicResponse(200, c.Call("CProjectMgr", "GetTransaction", {id}));
}

}  // namespace brivos::server::resources

namespace brivos::server::resources {

// {"WeekDate": "2024-03-04"}: the caller's week of seven days from it submitted.
Response SubmitWeek(Context& c) {
  const Json body = c.Body();
  const Json week = body.value("WeekDate", Json());
  if (!week.is_string()) throw HttpError(400, "the body needs \"WeekDate\" (such as 2024-03-04)");
  const Variant submitted =
      c.Call("CProjectMgr", "SubmitWeek",
             {ParseDate(week.get<std::string>(), "WeekDate"), c.Caller().user});
  return JsonResponse(200, Json{{"Submitted", CLng(submitted)}});
}

// Why the caller's slips of the week from `week` were sent back.
Response ReturnedSlips(Context& c) {
  return PublicResponse(200,
                        c.Call("CProjectMgr", "GetReturnedTransactions",
                               {ParseDate(c.Query("week"), "week"), c.Caller().user}),
                        true);
}

}  // namespace brivos::server::resources
