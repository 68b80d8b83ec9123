// Reports: hours by project, person or week and work approved and not
// invoiced, with its value, summed by the library in the database (a
// consultant's of her own slips); invoiced amounts by month for
// administrators.

#include <cmath>
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

double Serial(const Variant& v) { return v.Type() == VarType::Date ? v.AsDate().Serial() : NAN; }

// A row key of the query, or 0 when absent.
std::int32_t OptionalId(const Context& c, const char* name) {
  const std::string text = c.Query(name);
  if (text.empty()) return 0;
  const std::int32_t id = ParseId(text);
  if (id <= 0) throw HttpError(400, std::string(name) + " is a row key");
  return id;
}

// The filters a report is asked for, the caller's own slips for a
// consultant: from, to, client, project and, for whose slips, userId.
std::vector<Variant> FiltersOf(const Context& c) {
  const Span span = SpanOf(c);
  std::int32_t user = OptionalId(c, "userId");
  if (user == 0 && !c.Caller().admin) user = c.Caller().user_id;
  return {Date::FromSerial(span.first), Date::FromSerial(span.last),
          Variant(OptionalId(c, "client")), Variant(OptionalId(c, "project")), Variant(user)};
}

// [{Key, Label, Minutes, Hours, Value}] of the library's rows.
Response SumsResponse(const Variant& rows) {
  Json out = Json::array();
  for (Json row : json::ToJson(rows)) {
    const double minutes = row["Minutes"].get<double>();
    row["Hours"] = std::round(minutes / 60 * 100) / 100;
    out.push_back(std::move(row));
  }
  return JsonResponse(200, out);
}

}  // namespace

// [{Key, Label, Minutes, Hours, Value}] of the slips from `from` to `to`, by
// `by` (project, person or week), of one `client`, `project` or `userId`
// when given.
Response HoursReport(Context& c) {
  const std::string by = c.Query("by").empty() ? "project" : c.Query("by");
  if (by != "project" && by != "person" && by != "week") {
    throw HttpError(400, "by is project, person or week");
  }
  std::vector<Variant> args = FiltersOf(c);
  args.insert(args.begin(), Variant(by));
  return SumsResponse(c.Call("CReportMgr", "GetHoursReport", std::move(args)));
}

// [{Key, Label, Minutes, Hours, Value}] by project of the approved slips not
// yet on an invoice from `from` to `to`.
Response UnbilledReport(Context& c) {
  return SumsResponse(c.Call("CReportMgr", "GetUnbilledReport", FiltersOf(c)));
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

}  // namespace brivos::server::resources
