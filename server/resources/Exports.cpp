// Slips and expenses as CSV (RFC 4180, UTF-8, a header row), made part by
// part as the client takes them: each part is the next rows the library
// reads after the last one written, so a year of a large firm is never held
// whole. A consultant exports her own; an administrator the firm's or one
// `userId`'s.

#include <cmath>
#include <cstdio>
#include <memory>

#include "app/Values.hpp"
#include "brivos/database/Database.hpp"
#include "server/Routes.hpp"

namespace brivos::server::resources {

namespace {

constexpr int kMaxExportDays = 366;
// Rows read and written at once: a part of some 100 KB.
constexpr std::int32_t kRowsAtOnce = 1000;

// A field as RFC 4180 writes it: quoted when it holds a comma, a quote or
// a line break, its quotes doubled.
void AppendCsvField(std::string& out, const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) {
    out += text;
    return;
  }
  out += '"';
  for (const char ch : text) {
    if (ch == '"') out += '"';
    out += ch;
  }
  out += '"';
}

void AppendCsvLine(std::string& out, std::initializer_list<std::string> fields) {
  bool first = true;
  for (const std::string& field : fields) {
    if (!first) out += ',';
    first = false;
    AppendCsvField(out, field);
  }
  out += "\r\n";
}

std::string Text(const Variant& v) { return v.IsNull() || v.IsEmpty() ? std::string() : CStr(v); }

std::string DayText(const Variant& v) {
  if (v.Type() != VarType::Date) return "";
  return Date::FromSerial(std::floor(v.AsDate().Serial())).ToString().substr(0, 10);
}

// "09:05": the time of day's hours and minutes; midnight is written as the
// day alone.
std::string TimeText(const Variant& v) {
  if (v.Type() != VarType::Date) return "";
  const std::string text = v.AsDate().ToString();
  return text.size() >= 16 ? text.substr(11, 5) : "00:00";
}

std::string MoneyText(const Variant& v) { return v.IsNull() ? "" : CCur(v).ToString(); }

std::string SlipStatus(const Variant& v) {
  static const char* const kStatus[] = {"Running", "Complete", "Approved", "Billed", "Paused"};
  if (v.IsNull()) return "";
  const std::int32_t status = CLng(v);
  return status >= 0 && status < 5 ? kStatus[status] : std::to_string(status);
}

std::string ExpenseType(const Variant& v) {
  if (v.IsNull()) return "";
  const std::int32_t type = CLng(v);
  for (const EnumInfo& e : PublishedEnums()) {
    if (e.name != "eExpenseType") continue;
    for (const auto& [name, number] : e.members) {
      if (number == type) return name;
    }
  }
  return std::to_string(type);
}

void AppendSlip(std::string& out, const std::vector<Variant>& row) {
  // ID, Project, Task, Person, TransDate, StartTime, StopTime, Minutes, Status, Value
  char hours[32];
  std::snprintf(hours, sizeof hours, "%.2f", CDbl(row[7]) / 60);
  AppendCsvLine(out, {Text(row[1]), Text(row[2]), Text(row[3]), DayText(row[4]),
                      TimeText(row[5]), TimeText(row[6]), hours, SlipStatus(row[8]),
                      MoneyText(row[9])});
}

void AppendExpense(std::string& out, const std::vector<Variant>& row) {
  // ID, Project, Person, ExpenseDate, ExpenseType, Description, Amount,
  // ExchangeRate, Approved, Billed
  const std::string status = IsTrue(row[9])   ? "Billed"
                             : IsTrue(row[8]) ? "Approved"
                                              : "Open";
  AppendCsvLine(out, {Text(row[1]), Text(row[2]), DayText(row[3]), ExpenseType(row[4]),
                      Text(row[5]), MoneyText(row[6]), Text(row[7]), status});
}

// One kind of row an export writes: the library's member that reads the
// rows, the header line and how a row is written.
struct Export {
  const char* member;
  const char* header;
  void (*append)(std::string&, const std::vector<Variant>&);
};

// The next rows after `after` appended to `out`; false when they were the
// last. `after` becomes the key of the last row read.
bool AppendRows(const app::CallPath& calls, const app::Principal& caller, const Export& what,
                const std::vector<Variant>& filters, std::int32_t& after, std::string& out) {
  std::vector<Variant> args = filters;
  args.emplace_back(after);
  args.emplace_back(kRowsAtOnce);
  const Variant result = calls.Call(caller, "CReportMgr", what.member, std::move(args));
  const auto rows = std::dynamic_pointer_cast<Recordset>(result.AsObject());
  if (!rows) throw std::runtime_error(std::string(what.member) + " returned no rows");
  for (const std::vector<Variant>& row : rows->Rows()) {
    what.append(out, row);
    after = CLng(row[0]);
  }
  return rows->RecordCount() == kRowsAtOnce;
}

Response Exported(Context& c, const Export& what) {
  const Date from = ParseDate(c.Query("from"), "from");
  const Date to = ParseDate(c.Query("to"), "to");
  const double first = std::floor(from.Serial()), last = std::floor(to.Serial());
  if (last < first || last - first >= kMaxExportDays) {
    throw HttpError(400, "from..to must be 1 to " + std::to_string(kMaxExportDays) + " days");
  }
  std::int32_t user = 0;
  if (const std::string id = c.Query("userId"); !id.empty()) {
    user = ParseId(id);
  } else if (!c.Caller().admin) {
    user = c.Caller().user_id;
  }
  const std::vector<Variant> filters{Date::FromSerial(first), Date::FromSerial(last),
                                     Variant(user)};
  Response r;
  r.content_type = "text/csv; charset=utf-8";
  r.body = what.header;
  // The first rows are read here, so that a refusal is the answer's status;
  // the rest as the client takes them.
  std::int32_t after = 0;
  if (!AppendRows(c.Calls(), c.Caller(), what, filters, after, r.body)) return r;
  r.more = [&calls = c.Calls(), caller = c.Caller(), what, filters,
            after](std::string& out) mutable {
    // As the service runs every request's calls: secrets hidden, one
    // session of the firm for the part.
    const SecretColumnsHidden hidden;
    const ConnectionScope scope;
    return AppendRows(calls, caller, what, filters, after, out);
  };
  return r;
}

constexpr Export kSlips{"GetSlipRows", "Project,Task,Person,Date,Start,Stop,Hours,Status,Amount\r\n",
                        AppendSlip};
constexpr Export kExpenses{"GetExpenseRows",
                           "Project,Person,Date,Type,Description,Amount,ExchangeRate,Status\r\n",
                           AppendExpense};

}  // namespace

bool WantsCsv(const Context& c) {
  const std::string_view accept = c.Req().Header("Accept");
  return accept.find("text/csv") != std::string_view::npos;
}

// Every slip from `from` to `to`: project, task, person, date, start, stop,
// hours, status, amount.
Response SlipsCsv(Context& c) { return Exported(c, kSlips); }

// Every expense from `from` to `to`: project, person, date, type,
// description, amount, exchange rate, status (Open, Approved, Billed).
Response ExpensesCsv(Context& c) { return Exported(c, kExpenses); }

}  // namespace brivos::server::resources
