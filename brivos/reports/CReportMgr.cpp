#include "brivos/reports/CReportMgr.hpp"

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "brivos/database/Database.hpp"
#include "brivos/records/EnumeratedTypes.hpp"
#include "brivos/records/SlipWeeks.hpp"

namespace brivos {

BRIVOS_REGISTER_CLASS(kManager, CReportMgr);

BRIVOS_METHOD(CReportMgr, ExecReportQuery) { return OpenReportRecordset(a.Account, CStr(a.sSQL)); }

namespace {

constexpr int kMaxDays = 366;
constexpr std::int32_t kMaxRowsAtOnce = 10000;

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

// Where the sums come from: the slips themselves, or their week rows
// (IProjectTransactionWeek) for the whole weeks of a span; of every slip or
// of the approved ones only.
struct Source {
  bool weeks, approved;
  std::string From() const {
    return weeks ? std::string(" FROM ") + kSlipWeeksTable + " t" : " FROM IProjectTransaction t";
  }
  std::string Day() const { return weeks ? "t.Week" : "t.TransDate"; }
  std::string DayGroup() const { return weeks ? "t.Week" : "FLOOR(t.TransDate)"; }
  std::string Project() const {
    return weeks ? "(CASE WHEN t.Parent = " + std::to_string(kSlipWeeksNull) +
                       " THEN 0 ELSE t.Parent END)"
                 : "COALESCE(t.Parent, 0)";
  }
  std::string Minutes() const {
    return !weeks ? SlipMinutes("t") : approved ? "t.ApprovedMinutes" : "t.Minutes";
  }
  std::string Value() const {
    return !weeks ? SlipValue("t") : approved ? "t.ApprovedValue" : "t.Value";
  }
};

// What a report keeps besides its days: the slips of the staff rows of
// users (of one user when given), of a client's projects and of one
// project when given, the approved ones only when asked.
struct Kept {
  Variant client, project, user;
  bool approved;
};

// The conditions of a read of `source` dated from `first` to before `end`,
// its parameters appended to `params`. The slips are read through the index
// on staff and date (a unary plus keeps the database from the one on
// project and status, whose every row in other days would cost a lookup in
// the table); week rows through their key, whose first column is the week.
std::string Filter(const Source& source, double first, double end, const Kept& kept,
                   std::vector<Parameter>& params) {
  std::string where = " WHERE " + source.Day() + " >= ? AND " + source.Day() +
                      " < ? AND t.StaffID IN (SELECT s.IProjectStaffID FROM IProjectStaff s "
                      "INNER JOIN IUser u ON u.IUserID = s.UserID";
  // Whole numbers for the week rows' whole-number key, which a comparison
  // with a double would keep PostgreSQL from seeking in.
  const auto day = [&source](double d) {
    return source.weeks ? Parameter::Long(Variant(static_cast<std::int32_t>(d)))
                        : Parameter::Double(Variant(d));
  };
  params.push_back(day(first));
  params.push_back(day(end));
  if (Given(kept.user)) {
    where += " WHERE s.UserID = ?";
    params.push_back(Parameter::Long(Variant(CLng(kept.user))));
  }
  where += ")";
  if (Given(kept.project)) {
    where += " AND +t.Parent = ?";
    params.push_back(Parameter::Long(Variant(CLng(kept.project))));
  }
  if (Given(kept.client)) {
    where += " AND +t.Parent IN (SELECT IProjectID FROM IProject WHERE ClientID = ?)";
    params.push_back(Parameter::Long(Variant(CLng(kept.client))));
  }
  if (source.approved && source.weeks) {
    where += " AND t.Approved > 0";
  } else if (source.approved) {
    where += " AND +t.Status = ?";
    params.push_back(Parameter::Long(Variant(std::int32_t{eTransStatus::tsApproved})));
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

// The Monday of a day, as the week rows count it (SlipWeek): day 0,
// 1899-12-30, is a Saturday.
double MondayOf(double day) { return day - std::fmod(std::fmod(day, 7) + 12, 7); }

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

using Sums = std::map<std::string, Sum>;

// Adds to `out` the sums of the rows of `source` the filter keeps by
// project, person or week. Grouped by expressions: rows grouped in the order
// of an index would each cost a lookup in the table.
void AddSums(Connection& db, std::string_view by, const Source& source, const std::string& filter,
             const std::vector<Parameter>& params,
             const std::map<std::int32_t, std::string>& names, Sums& out) {
  const std::string sums = "SUM(" + source.Minutes() + "), SUM(" + source.Value() + ")";
  const auto add = [&out](const std::string& key, const std::string& label, const Variant& minutes,
                          const Variant& value) {
    Sum& sum = out[key];
    sum.label = label;
    sum.minutes += minutes.IsNull() ? 0 : CDbl(minutes);
    sum.value += value.IsNull() ? 0 : CDbl(value);
  };
  if (by == "project") {
    const auto rs = db.Query("SELECT " + source.Project() + ", " + sums + source.From() + filter +
                                 " GROUP BY " + source.Project() + ";",
                             params);
    for (; !rs->Eof(); rs->MoveNext()) {
      const std::int32_t id = CLng(rs->Field(0));
      add(std::to_string(id), ProjectLabel(names, id), rs->Field(1), rs->Field(2));
    }
  } else if (by == "person") {
    const auto rs = db.Query(
        "SELECT u.IUserID, u.FirstName, u.LastName, u.UserName, SUM(g.m), SUM(g.v) FROM (SELECT "
        "+t.StaffID AS StaffID, SUM(" +
            source.Minutes() + ") AS m, SUM(" + source.Value() + ") AS v" + source.From() +
            filter +
            " GROUP BY +t.StaffID) g INNER JOIN IProjectStaff s ON "
            "s.IProjectStaffID = g.StaffID INNER JOIN IUser u ON u.IUserID = s.UserID GROUP BY "
            "u.IUserID, u.FirstName, u.LastName, u.UserName;",
        params);
    for (; !rs->Eof(); rs->MoveNext()) {
      add(std::to_string(CLng(rs->Field(0))), PersonName(rs->Field(1), rs->Field(2), rs->Field(3)),
          rs->Field(4), rs->Field(5));
    }
  } else {
    const auto rs = db.Query("SELECT " + source.DayGroup() + ", " + sums + source.From() + filter +
                                 " GROUP BY " + source.DayGroup() + ";",
                             params);

    for (; !rs->Eof(); rs->MoveNext()) {
      const std::string week = DayText(MondayOf(CDbl(rs->Field(0))));
      add(week, week, rs->Field(1), rs->Field(2));
    }
  }
}

// A stretch of days read from the slips or from their week rows.
struct Part {
  bool weeks;
  double first, end;
};

// The whole weeks of a span from the week rows, the days before and after
// them from the slips.
std::vector<Part> PartsOf(const Days& days) {
  const double monday = MondayOf(days.first);
  const double weeks_first = monday == days.first ? monday : monday + 7;
  const double weeks_end = MondayOf(days.end);
  if (weeks_first >= weeks_end) return {Part{false, days.first, days.end}};
  std::vector<Part> parts{Part{true, weeks_first, weeks_end}};
  if (days.first < weeks_first) parts.push_back(Part{false, days.first, weeks_first});
  if (weeks_end < days.end) parts.push_back(Part{false, weeks_end, days.end});
  return parts;
}

// The sums of the slips of `days` that `kept` keeps by project, person or
// week, read in one state of the database.
std::shared_ptr<Recordset> Summed(Connection& db, std::string_view by, const Days& days,
                                  const Kept& kept) {
  ReadTogether together;
  const auto names = by == "project" ? ProjectNames(db) : std::map<std::int32_t, std::string>{};
  Sums out;
  for (const Part& part : PartsOf(days)) {
    const Source source{part.weeks, kept.approved};
    std::vector<Parameter> params;
    const std::string filter = Filter(source, part.first, part.end, kept, params);
    AddSums(db, by, source, filter, params, names, out);
  }
  return SumRows(out);
}

// `work()`; when a statement of it is rejected (a database made before the
// week rows), they are added and `work()` runs once more.
template <class F>
auto WithSlipWeeks(const Variant& account, F&& work) {
  try {
    return work();
  } catch (const Error& e) {
    if (e.Number() != errnum::kDbStatementRejected) throw;
  }
  AddSlipWeeks(account);
  return work();
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
  return WithSlipWeeks(a.Account, [&] {
    Connection db = Connection::Open(a.Account);
    const std::string by = Text(a.By);
    if (by != "project" && by != "person" && by != "week") {
      Raise(errnum::kInvalidArgument, "By is project, person or week.");
    }
    return Summed(db, by, DaysOf(a.FromDate, a.ToDate),
                  Kept{a.ClientID, a.ProjectID, a.UserID, false});
  });
}

BRIVOS_METHOD(CReportMgr, GetUnbilledReport) {
  return WithSlipWeeks(a.Account, [&] {
    Connection db = Connection::Open(a.Account);
    return Summed(db, "project", DaysOf(a.FromDate, a.ToDate),
                  Kept{a.ClientID, a.ProjectID, a.UserID, true});
  });
}

BRIVOS_METHOD(CReportMgr, GetSlipRows) {
  Connection db = Connection::Open(a.Account);
  const auto rs = RowsAfter(
      db,
      "SELECT t.IProjectTransactionID, t.Parent, p.Name, k.Name, u.FirstName, u.LastName, "
      "u.UserName, t.TransDate, t.StartTime, t.StopTime, " +
          SlipMinutes("t") + ", t.Status, " + SlipValue("t") +
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
