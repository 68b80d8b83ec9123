#include "brivos/reports/CReportMgr.hpp"

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "brivos/database/Database.hpp"
#include "brivos/records/EnumeratedTypes.hpp"

namespace brivos {

BRIVOS_REGISTER_CLASS(kManager, CReportMgr);

BRIVOS_METHOD(CReportMgr, ExecReportQuery) { return OpenReportRecordset(a.Account, CStr(a.sSQL)); }

namespace {

constexpr int kMaxDays = 366;
constexpr std::int32_t kMaxRowsAtOnce = 10000;

// A slip's minutes from its start to its stop, rounded half away from zero
// as the front ends round them; none without both times.
constexpr const char* kMinutes =
    "(CASE WHEN t.StartTime IS NULL OR t.StopTime IS NULL THEN 0 "
    "WHEN t.StopTime >= t.StartTime THEN FLOOR((t.StopTime - t.StartTime) * 1440 + 0.5) "
    "ELSE -FLOOR((t.StartTime - t.StopTime) * 1440 + 0.5) END)";

// What the slip is worth: its minutes at its own rate an hour, overtime at
// the overtime rate.
std::string ValueOfSlip() {
  return std::string("(COALESCE(CAST(CASE WHEN t.OverTime <> 0 THEN t.OTRate ELSE t.StaffRate END "
                     "AS DOUBLE PRECISION), 0) * ") +
         kMinutes + " / 60)";
}

bool Given(const Variant& v) {
  if (v.IsNull() || v.IsEmpty()) return false;
  return !(v.Type() == VarType::Long && v.AsLong() == 0) && CDbl(v) != 0;
}

// The first and the day after the last of a span of whole days.
struct Days {
  double first, end;
};

Days DaysOf(const Variant& from, const Variant& to) {
  const Days days{std::floor(CDate(from).Serial()), std::floor(CDate(to).Serial()) + 1};
  if (days.end <= days.first || days.end - days.first > kMaxDays) {
    Raise(errnum::kInvalidArgument,
          "The report spans 1 to " + std::to_string(kMaxDays) + " days.");
  }
  return days;
}

// The conditions every read of slips shares, its parameters appended to
// `params`: the span, the slips of the staff rows of users, and the
// filters given. The firm's slips of a span are read in the table's order
// (a unary plus keeps the database from the index on staff and date, whose
// every row would cost a lookup in the table); one user's through that
// index.
std::string SlipFilter(const Days& days, const Variant& client, const Variant& project,
                       const Variant& user, std::vector<Parameter>& params) {
  const char* const in_order = Given(user) ? "" : "+";
  std::string where = std::string(" WHERE ") + in_order + "t.TransDate >= ? AND " + in_order +
                      "t.TransDate < ? AND " + in_order +
                      "t.StaffID IN (SELECT s.IProjectStaffID FROM IProjectStaff s INNER JOIN "
                      "IUser u ON u.IUserID = s.UserID";
  params.push_back(Parameter::Double(Variant(days.first)));
  params.push_back(Parameter::Double(Variant(days.end)));
  if (Given(user)) {
    where += " WHERE s.UserID = ?";
    params.push_back(Parameter::Long(Variant(CLng(user))));
  }
  where += ")";
  if (Given(project)) {
    where += " AND t.Parent = ?";
    params.push_back(Parameter::Long(Variant(CLng(project))));
  }
  if (Given(client)) {
    where += " AND t.Parent IN (SELECT IProjectID FROM IProject WHERE ClientID = ?)";
    params.push_back(Parameter::Long(Variant(CLng(client))));
  }
  return where;
}

std::string Text(const Variant& v) { return v.IsNull() || v.IsEmpty() ? std::string() : CStr(v); }

// "First Last", or the user name when the user has neither.
std::string PersonName(const Variant& first, const Variant& last, const Variant& user_name) {
  const std::string f = Text(first), l = Text(last);
  std::string name = f + (f.empty() || l.empty() ? "" : " ") + l;
  return name.empty() ? Text(user_name) : name;
}

std::string DayText(double serial) { return Date::FromSerial(serial).ToString().substr(0, 10); }

double MondayOf(double day) { return day - (Date::FromSerial(day).Weekday() + 5) % 7; }

struct Sum {
  std::string label;
  double minutes = 0, value = 0;
};

// Rows Key, Label, Minutes, Value of `sums`, in the order of their keys.
std::shared_ptr<Recordset> SumRows(const std::map<std::string, Sum>& sums) {
  auto rows = std::make_shared<Recordset>(std::vector<std::string>{"Key", "Label", "Minutes", "Value"});
  for (const auto& [key, sum] : sums) {
    rows->AddRow({Variant(key), Variant(sum.label), Variant(sum.minutes),
                  Variant(Currency::FromDouble(sum.value))});
  }
  return rows;
}

std::map<std::int32_t, std::string> ProjectNames(Connection& db) {
  std::map<std::int32_t, std::string> names;
  for (auto rs = db.Query("SELECT IProjectID, Name FROM IProject;"); !rs->Eof(); rs->MoveNext()) {
    names[CLng(rs->Field(0))] = Text(rs->Field(1));
  }
  return names;
}

std::string ProjectLabel(const std::map<std::int32_t, std::string>& names, std::int32_t id) {
  const auto found = names.find(id);
  return found == names.end() ? "Project " + std::to_string(id) : found->second;
}

// The sums of the slips the filter keeps by project, person or week.
std::shared_ptr<Recordset> Summed(Connection& db, std::string_view by, const std::string& filter,
                                  const std::vector<Parameter>& params) {
  const std::string sums = "SUM(" + std::string(kMinutes) + "), SUM(" + ValueOfSlip() + ")";
  std::map<std::string, Sum> out;
  const auto add = [&out](const std::string& key, const std::string& label, const Variant& minutes,
                          const Variant& value) {
    Sum& sum = out[key];
    sum.label = label;
    sum.minutes += minutes.IsNull() ? 0 : CDbl(minutes);
    sum.value += value.IsNull() ? 0 : CDbl(value);
  };
  if (by == "project") {
    const auto names = ProjectNames(db);
    // Grouped by expressions, as below: rows grouped in the order of an
    // index would each cost a lookup in the table.
    const auto rs = db.Query("SELECT COALESCE(t.Parent, 0), " + sums +
                                 " FROM IProjectTransaction t" + filter +
                                 " GROUP BY COALESCE(t.Parent, 0);",
                             params);
    for (; !rs->Eof(); rs->MoveNext()) {
      const std::int32_t id = CLng(rs->Field(0));
      add(std::to_string(id), ProjectLabel(names, id), rs->Field(1), rs->Field(2));
    }
  } else if (by == "person") {
    const auto rs = db.Query(
        "SELECT u.IUserID, u.FirstName, u.LastName, u.UserName, SUM(g.m), SUM(g.v) FROM (SELECT "
        "+t.StaffID AS StaffID, SUM(" + std::string(kMinutes) + ") AS m, SUM(" + ValueOfSlip() +
            ") AS v FROM IProjectTransaction t" + filter +
            " GROUP BY +t.StaffID) g INNER JOIN IProjectStaff s ON "
            "s.IProjectStaffID = g.StaffID INNER JOIN IUser u ON u.IUserID = s.UserID GROUP BY "
            "u.IUserID, u.FirstName, u.LastName, u.UserName;",
        params);
    for (; !rs->Eof(); rs->MoveNext()) {
      add(std::to_string(CLng(rs->Field(0))), PersonName(rs->Field(1), rs->Field(2), rs->Field(3)),
          rs->Field(4), rs->Field(5));
    }
  } else {
    const auto rs = db.Query("SELECT FLOOR(t.TransDate), " + sums + " FROM IProjectTransaction t" +
                                 filter + " GROUP BY FLOOR(t.TransDate);",
                             params);
    for (; !rs->Eof(); rs->MoveNext()) {
      const std::string week = DayText(MondayOf(CDbl(rs->Field(0))));
      add(week, week, rs->Field(1), rs->Field(2));
    }
  }
  return SumRows(out);
}

std::int32_t RowsAtOnce(const Variant& max_rows) {
  const std::int32_t n = CLng(max_rows);
  if (n < 1 || n > kMaxRowsAtOnce) {
    Raise(errnum::kInvalidArgument,
          "MaxRows is 1 to " + std::to_string(kMaxRowsAtOnce) + ", not " + std::to_string(n) + ".");
  }
  return n;
}

// The rows of `select` (a statement up to its WHERE) whose `key` comes after
// `after`, in the order of their keys, dated (by `day`) from `from` to `to`,
// of one user when given, at most `max_rows` of them: a part of an export.
std::shared_ptr<Recordset> RowsAfter(Connection& db, std::string select, std::string_view key,
                                     std::string_view day, const Variant& after,
                                     const Variant& from, const Variant& to, const Variant& user,
                                     const Variant& max_rows) {
  const Days days = DaysOf(from, to);
  const std::int32_t limit = RowsAtOnce(max_rows);
  std::vector<Parameter> params{Parameter::Long(Variant(CLng(after))),
                                Parameter::Double(Variant(days.first)),
                                Parameter::Double(Variant(days.end))};
  select.append(" WHERE ").append(key).append(" > ? AND ").append(day).append(" >= ? AND ");
  select.append(day).append(" < ?");
  if (Given(user)) {
    select += " AND s.UserID = ?";
    params.push_back(Parameter::Long(Variant(CLng(user))));
  }
  select.append(" ORDER BY ").append(key).append(" LIMIT ?;");
  params.push_back(Parameter::Long(Variant(limit)));
  return db.Query(select, params);
}

}  // namespace

// Each opens the database before it reads its arguments, as every member
// taking an Account does: a database that cannot be opened is the error a
// caller sees first.
BRIVOS_METHOD(CReportMgr, GetHoursReport) {
  Connection db = Connection::Open(a.Account);
  const std::string by = Text(a.By);
  if (by != "project" && by != "person" && by != "week") {
    Raise(errnum::kInvalidArgument, "By is project, person or week.");
  }
  std::vector<Parameter> params;
  const std::string filter =
      SlipFilter(DaysOf(a.FromDate, a.ToDate), a.ClientID, a.ProjectID, a.UserID, params);
  return Summed(db, by, filter, params);
}

BRIVOS_METHOD(CReportMgr, GetUnbilledReport) {
  Connection db = Connection::Open(a.Account);
  std::vector<Parameter> params;
  std::string filter =
      SlipFilter(DaysOf(a.FromDate, a.ToDate), a.ClientID, a.ProjectID, a.UserID, params);
  // Not through the index on project and status, which the filter on
  // status alone would read whole, a lookup in the table a row.
  filter += " AND +t.Status = ?";
  params.push_back(Parameter::Long(Variant(std::int32_t{eTransStatus::tsApproved})));
  return Summed(db, "project", filter, params);
}

BRIVOS_METHOD(CReportMgr, GetSlipRows) {
  Connection db = Connection::Open(a.Account);
  const auto rs = RowsAfter(
      db,
      "SELECT t.IProjectTransactionID, t.Parent, p.Name, k.Name, u.FirstName, u.LastName, "
      "u.UserName, t.TransDate, t.StartTime, t.StopTime, " +
          std::string(kMinutes) + ", t.Status, " + ValueOfSlip() +
          " FROM IProjectTransaction t INNER JOIN IProjectStaff s ON s.IProjectStaffID = "
          "t.StaffID INNER JOIN IUser u ON u.IUserID = s.UserID LEFT JOIN IProject p ON "
          "p.IProjectID = t.Parent LEFT JOIN IProjectTask k ON k.IProjectTaskID = t.TaskID",
      "t.IProjectTransactionID", "t.TransDate", a.AfterID, a.FromDate, a.ToDate, a.UserID,
      a.MaxRows);
  auto rows = std::make_shared<Recordset>(
      std::vector<std::string>{"ID", "Project", "Task", "Person", "TransDate", "StartTime",
                               "StopTime", "Minutes", "Status", "Value"});
  for (; !rs->Eof(); rs->MoveNext()) {
    const Variant project = rs->Field(1);
    const std::string project_name =
        rs->Field(2).IsNull() ? (project.IsNull() ? "0" : std::to_string(CLng(project)))
                              : Text(rs->Field(2));
    rows->AddRow({rs->Field(0), Variant(project_name), Variant(Text(rs->Field(3))),
                  Variant(PersonName(rs->Field(4), rs->Field(5), rs->Field(6))), rs->Field(7),
                  rs->Field(8), rs->Field(9), Variant(CDbl(rs->Field(10))), rs->Field(11),
                  Variant(Currency::FromDouble(CDbl(rs->Field(12))))});
  }
  return rows;
}

BRIVOS_METHOD(CReportMgr, GetExpenseRows) {
  Connection db = Connection::Open(a.Account);
  const auto rs = RowsAfter(
      db,
      "SELECT e.IProjectExpenseID, e.Parent, p.Name, u.FirstName, u.LastName, u.UserName, "
      "e.ExpenseDate, e.ExpenseType, e.Description, e.Amount, e.ExchangeRate, e.Approved, "
      "e.Billed FROM IProjectExpense e INNER JOIN IProjectStaff s ON s.IProjectStaffID = "
      "e.StaffID INNER JOIN IUser u ON u.IUserID = s.UserID LEFT JOIN IProject p ON "
      "p.IProjectID = e.Parent",
      "e.IProjectExpenseID", "e.ExpenseDate", a.AfterID, a.FromDate, a.ToDate, a.UserID,
      a.MaxRows);
  auto rows = std::make_shared<Recordset>(std::vector<std::string>{
      "ID", "Project", "Person", "ExpenseDate", "ExpenseType", "Description", "Amount",
      "ExchangeRate", "Approved", "Billed"});
  for (; !rs->Eof(); rs->MoveNext()) {
    const Variant project = rs->Field(1);
    const std::string project_name =
        rs->Field(2).IsNull() ? (project.IsNull() ? "0" : std::to_string(CLng(project)))
                              : Text(rs->Field(2));
    rows->AddRow({rs->Field(0), Variant(project_name),
                  Variant(PersonName(rs->Field(3), rs->Field(4), rs->Field(5))), rs->Field(6),
                  rs->Field(7), Variant(Text(rs->Field(8))), rs->Field(9), rs->Field(10),
                  Variant(IsTrue(rs->Field(11))), Variant(IsTrue(rs->Field(12)))});
  }
  return rows;
}

}  // namespace brivos
