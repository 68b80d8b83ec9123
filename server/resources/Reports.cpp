// Reports for administrators: hours by project, person or week; work
// approved and not invoiced, with its value; invoiced amounts by month. Each
// reads the slips through the managers' own methods, person by person and
// week by week, so it answers alike on every backend.

#include <cmath>
#include <cstdio>
#include <map>

#include "app/Values.hpp"
#include "server/Routes.hpp"

namespace brivos::server::resources {

using app::Items;
using app::Property;

namespace {

constexpr int kMaxReportDays = 366;

struct Span {
  double first, last;  // day serials
};

Span SpanOf(const Context& c) {
  const Date from = ParseDate(c.Query("from"), "from");
  const Date to = ParseDate(c.Query("to"), "to");
  const Span span{std::floor(from.Serial()), std::floor(to.Serial())};
  if (span.last < span.first || span.last - span.first >= kMaxReportDays) {
    throw HttpError(400, "from..to must be 1 to " + std::to_string(kMaxReportDays) + " days");
  }
  return span;
}

std::string DayText(double serial) { return Date::FromSerial(serial).ToString().substr(0, 10); }

std::string Text(const Variant& v) { return v.IsNull() ? std::string() : CStr(v); }

double Serial(const Variant& v) { return v.Type() == VarType::Date ? v.AsDate().Serial() : NAN; }

// One slip as a report counts it.
struct Slip {
  Variant record;
  std::int32_t project = 0, user = 0, status = 0;
  double day = 0, minutes = 0, value = 0;
};

// Every slip of the firm's users dated within `span`, each with its
// minutes and its value at the slip's own rate (overtime at its rate).
std::vector<Slip> SlipsIn(Context& c, const Span& span, Json& people) {
  std::vector<Slip> out;
  people = Json::object();
  for (const Variant& u : Items(c.Call("CUserManager", "GetSubscriberUserProfiles", {}))) {
    const std::int32_t user = CLng(Property(u, "IUserID"));
    const std::string first = Text(Property(u, "FirstName")), last = Text(Property(u, "LastName"));
    std::string name = first + (first.empty() || last.empty() ? "" : " ") + last;
    if (name.empty()) name = Text(Property(u, "UserName"));
    people[std::to_string(user)] = name;
    for (double week = span.first; week <= span.last; week += 7) {
      const Variant slips = c.Call("CProjectMgr", "GetTransactionsForWeek",
                                   {Date::FromSerial(week), Property(u, "UserName")});
      for (const Variant& slip : Items(slips)) {
        const double day = std::floor(Serial(Property(slip, "TransDate")));
        if (!(day >= span.first && day <= span.last)) continue;
        const Variant project = Property(slip, "ProjectID"), status = Property(slip, "Status");
        Slip s{slip, project.IsNull() ? 0 : CLng(project), user, status.IsNull() ? -1 : CLng(status),
               day};
        const double start = Serial(Property(slip, "StartTime"));
        const double stop = Serial(Property(slip, "StopTime"));
        s.minutes = std::isnan(start) || std::isnan(stop) ? 0 : std::round((stop - start) * 1440);
        const Variant ot = Property(slip, "OverTime");
        const bool overtime = !ot.IsNull() && CBool(ot);
        const Variant rate = Property(slip, overtime ? "OTRate" : "StaffRate");
        s.value = rate.IsNull() ? 0 : CDbl(rate) * s.minutes / 60;
        out.push_back(std::move(s));
      }
    }
  }
  return out;
}

std::map<std::int32_t, std::string> ProjectNames(Context& c) {
  std::map<std::int32_t, std::string> names;
  for (const Variant& p : Items(c.Call("CProjectMgr", "GetProjects", {Variant(0)}))) {
    names[CLng(Property(p, "IProjectID"))] = Text(Property(p, "Name"));
  }
  return names;
}

// The Monday of a day serial's week.
double MondayOf(double day) {
  const int back = (Date::FromSerial(day).Weekday() + 5) % 7;
  return day - back;
}

Json Row(const std::string& key, const std::string& label, double minutes, double value) {
  Json row = Json::object();
  row["Key"] = key;
  row["Label"] = label;
  row["Minutes"] = minutes;
  row["Hours"] = std::round(minutes / 60 * 100) / 100;
  row["Value"] = json::ToJson(Variant(Currency::FromDouble(value)));
  return row;
}

struct Sum {
  std::string label;
  double minutes = 0, value = 0;
};

Json Rows(const std::map<std::string, Sum>& sums) {
  Json out = Json::array();
  for (const auto& [key, sum] : sums) out.push_back(Row(key, sum.label, sum.minutes, sum.value));
  return out;
}

}  // namespace

// [{Key, Label, Minutes, Hours, Value}] of every slip from `from` to `to`,
// by `by` (project, person or week), `project` optionally one project's.
Response HoursReport(Context& c) {
  const Span span = SpanOf(c);
  const std::string by = c.Query("by").empty() ? "project" : c.Query("by");
  if (by != "project" && by != "person" && by != "week") {
    throw HttpError(400, "by is project, person or week");
  }
  const std::string only = c.Query("project");
  const std::int32_t project = only.empty() ? 0 : ParseId(only);
  Json people;
  const std::vector<Slip> slips = SlipsIn(c, span, people);
  const auto projects = ProjectNames(c);
  std::map<std::string, Sum> sums;
  for (const Slip& s : slips) {
    if (project != 0 && s.project != project) continue;
    std::string key, label;
    if (by == "project") {
      key = std::to_string(s.project);
      const auto found = projects.find(s.project);
      label = found == projects.end() ? "Project " + key : found->second;
    } else if (by == "person") {
      key = std::to_string(s.user);
      label = people.value(key, key);
    } else {
      key = label = DayText(MondayOf(s.day));
    }
    Sum& sum = sums[key];
    sum.label = label;
    sum.minutes += s.minutes;
    sum.value += s.value;
  }
  return JsonResponse(200, Rows(sums));
}

// [{Key, Label, Minutes, Hours, Value}] by project of the approved slips not
// yet on an invoice from `from` to `to`.
Response UnbilledReport(Context& c) {
  const Span span = SpanOf(c);
  Json people;
  const std::vector<Slip> slips = SlipsIn(c, span, people);
  const auto projects = ProjectNames(c);
  std::map<std::string, Sum> sums;
  for (const Slip& s : slips) {
    if (s.status != eTransStatus::tsApproved) continue;
    const std::string key = std::to_string(s.project);
    const auto found = projects.find(s.project);
    Sum& sum = sums[key];
    sum.label = found == projects.end() ? "Project " + key : found->second;
    sum.minutes += s.minutes;
    sum.value += s.value;
  }
  return JsonResponse(200, Rows(sums));
}

// [{Key: "2024-03", Label, Invoices, Value}] of the approved and issued
// invoices dated from `from` to `to`, each at GetInvoiceTotal's figure.
Response InvoicedReport(Context& c) {
  const Span span = SpanOf(c);
  std::map<std::string, std::pair<int, Currency>> months;
  for (const char* list : {"GetApprovedInvoices", "GetIssuedInvoices"}) {
    for (const Variant& invoice : Items(c.Call("CInvoiceMgr", list, {}))) {
      const double day = std::floor(Serial(Property(invoice, "InvoiceDate")));
      if (!(day >= span.first && day <= span.last)) continue;
      const Variant total =
          c.Call("CInvoiceMgr", "GetInvoiceTotal", {Property(invoice, "IProjectInvoiceID")});
      auto& [count, sum] = months[DayText(day).substr(0, 7)];
      ++count;
      sum = Currency::FromScaled(sum.Scaled() + CCur(total).Scaled());
    }
  }
  Json out = Json::array();
  for (const auto& [month, entry] : months) {
    Json row = Json::object();
    row["Key"] = month;
    row["Label"] = month;
    row["Invoices"] = entry.first;
    row["Value"] = json::ToJson(Variant(entry.second));
    out.push_back(std::move(row));
  }
  return JsonResponse(200, out);
}

namespace {

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

std::string TimeText(const Variant& v) {
  if (v.Type() != VarType::Date) return "";
  // "09:05": the time of day's hours and minutes; midnight is written as the
  // day alone.
  const std::string text = v.AsDate().ToString();
  return text.size() >= 16 ? text.substr(11, 5) : "00:00";
}

}  // namespace

// Every slip from `from` to `to` as CSV (RFC 4180, UTF-8, a header row):
// project, task, person, date, start, stop, hours, status, amount.
Response SlipsCsv(Context& c) {
  const Span span = SpanOf(c);
  Json people;
  const std::vector<Slip> slips = SlipsIn(c, span, people);
  const auto projects = ProjectNames(c);
  std::map<std::int32_t, std::string> tasks;
  for (const auto& [id, name] : projects) {
    for (const Variant& t : Items(c.Call("CProjectMgr", "GetProjTasksAlphaSort", {id}))) {
      tasks[CLng(Property(t, "IProjectTaskID"))] = Text(Property(t, "Name"));
    }
  }
  static const char* const kStatus[] = {"Running", "Complete", "Approved", "Billed", "Paused"};
  Response r;
  r.content_type = "text/csv; charset=utf-8";
  r.body = "Project,Task,Person,Date,Start,Stop,Hours,Status,Amount\r\n";
  for (const Slip& s : slips) {
    const Variant task = Property(s.record, "TaskID");
    const auto project = projects.find(s.project);
    const auto named = task.IsNull() ? tasks.end() : tasks.find(CLng(task));
    char hours[32];
    std::snprintf(hours, sizeof hours, "%.2f", s.minutes / 60);
    const std::string fields[] = {
        project == projects.end() ? std::to_string(s.project) : project->second,
        named == tasks.end() ? "" : named->second,
        people.value(std::to_string(s.user), std::string()),
        DayText(s.day),
        TimeText(Property(s.record, "StartTime")),
        TimeText(Property(s.record, "StopTime")),
        hours,
        s.status >= 0 && s.status < 5 ? kStatus[s.status] : std::to_string(s.status),
        Currency::FromDouble(s.value).ToString()};
    bool first = true;
    for (const std::string& field : fields) {
      if (!first) r.body += ',';
      first = false;
      AppendCsvField(r.body, field);
    }
    r.body += "\r\n";
  }
  return r;
}

}  // namespace brivos::server::resources
