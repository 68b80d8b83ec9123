#include "tools/Documents.hpp"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace brivos::cli {
namespace {

// ---- reading the sections

// One section of a late-bound result: a Recordset read by field name.
class Section {
 public:
  Section(const Collection& sections, const char* key)
      : set_(std::dynamic_pointer_cast<Recordset>(sections.Item(Variant(key)).AsObject())) {
    if (!set_) throw std::runtime_error(std::string("section ") + key + " is not a result set");
  }
  std::size_t Size() const { return set_->Rows().size(); }
  // The value of `field` in row `row`; Empty when the section has no such field.
  const Variant& At(std::size_t row, std::string_view field) const {
    static const Variant kNone;
    const int index = set_->FindField(field);
    return index < 0 ? kNone : set_->Rows()[row][static_cast<std::size_t>(index)];
  }
  const Recordset& Rows() const { return *set_; }
  std::vector<Variant> Column(std::string_view field) const {
    std::vector<Variant> values;
    for (std::size_t i = 0; i < Size(); ++i) values.push_back(At(i, field));
    return values;
  }

 private:
  std::shared_ptr<Recordset> set_;
};

bool Blank(const Variant& v) {
  return v.IsEmpty() || v.IsNull() || (v.Type() == VarType::String && v.AsString().empty());
}

// ---- formatting values

// Two decimals for the amounts of a column, or four when one of them has a
// fraction of a cent.
int AmountDecimals(const std::vector<Variant>& column) {
  for (const Variant& v : column) {
    if (v.Type() == VarType::Currency && v.AsCurrency().Scaled() % 100 != 0) return 4;
  }
  return 2;
}

std::string Shortest(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// A value as a reader sees it: amounts to `decimals` places, hours to two,
// other numbers as short as they are exact, dates without a midnight time,
// flags as yes or no (overtime as yes or nothing), nothing for Null.
std::string Cell(const Variant& v, std::string_view field = {}, int decimals = 4) {
  switch (v.Type()) {
    case VarType::Empty:
    case VarType::Null:
      return {};
    case VarType::Currency: {
      std::string text = v.AsCurrency().ToFixedString();  // four decimals
      if (decimals == 2) text.resize(text.size() - 2);
      return text;
    }
    case VarType::Double:
      return field == "Hours" ? Fixed(v.AsDouble(), 2) : Shortest(v.AsDouble());
    case VarType::Date:
      return v.AsDate().ToString();
    case VarType::Boolean:
      if (field == "OverTime") return v.AsBool() ? "yes" : "";
      return v.AsBool() ? "yes" : "no";
    default:
      return CStr(v);
  }
}

// ---- columns

struct Column {
  std::string heading;
  std::string field;
  bool numeric = false;  // right-aligned
};

// "GST 5%" for a tax that has a name, "Tax 1 7%" for one that has none.
std::string TaxHeading(const Variant& name, const Variant& rate, const char* fallback) {
  std::string heading = Blank(name) ? fallback : CStr(name);
  if (!Blank(rate)) heading += " " + Shortest(CDbl(rate)) + "%";
  return heading;
}

bool AnyTrue(const Section& s, std::string_view field) {
  for (std::size_t i = 0; i < s.Size(); ++i) {
    const Variant& v = s.At(i, field);
    if (v.Type() == VarType::Boolean && v.AsBool()) return true;
  }
  return false;
}

bool AnyText(const Section& s, std::string_view field) {
  for (std::size_t i = 0; i < s.Size(); ++i) {
    if (!Blank(s.At(i, field))) return true;
  }
  return false;
}

// The parts of an invoice a reader sees, in reading order.
struct InvoiceLayout {
  Section header, slips, expenses, totals;
  bool tax1, tax2;
  std::vector<Column> slip_columns, expense_columns;
  // Label and field of each total shown.
  std::vector<std::pair<std::string, std::string>> total_rows;

  explicit InvoiceLayout(const Collection& sections)
      : header(sections, "Header"),
        slips(sections, "Slips"),
        expenses(sections, "Expenses"),
        totals(sections, "Totals"),
        tax1(!Blank(H("Tax1Rate"))),
        tax2(!Blank(H("Tax2Rate"))) {
    const std::string tax1_heading = TaxHeading(H("Tax1Name"), H("Tax1Rate"), "Tax 1");
    const std::string tax2_heading = TaxHeading(H("Tax2Name"), H("Tax2Rate"), "Tax 2");
    slip_columns = {{"Day", "Day"}, {"Task", "Task"}, {"Staff", "Staff"}};
    if (AnyTrue(slips, "OverTime")) slip_columns.push_back({"Overtime", "OverTime"});
    slip_columns.insert(slip_columns.end(), {{"Minutes", "Minutes", true},
                                             {"Hours", "Hours", true},
                                             {"Rate", "Rate", true},
                                             {"Amount", "Amount", true}});
    if (tax1) slip_columns.push_back({tax1_heading, "Tax1", true});
    if (tax2) slip_columns.push_back({tax2_heading, "Tax2", true});
    if (AnyText(slips, "Description")) slip_columns.push_back({"Description", "Description"});
    expense_columns = {{"Date", "Date"},
                       {"Description", "Description"},
                       {"Amount", "Amount", true},
                       {"Exchange rate", "ExchangeRate", true},
                       {"Converted", "Converted", true},
                       {"Markup %", "MarkupPercent", true},
                       {"Markup", "Markup", true}};
    if (slips.Size() > 0) total_rows.push_back({"Time", "Time"});
    if (tax1) total_rows.push_back({tax1_heading, "Tax1"});
    if (tax2) total_rows.push_back({tax2_heading, "Tax2"});
    if (expenses.Size() > 0) {
      total_rows.push_back({"Expenses", "Expenses"});
      total_rows.push_back({"Markup", "Markup"});
    }
  }

  const Variant& H(std::string_view field) const { return header.At(0, field); }
  std::string Title() const { return "Invoice " + CStr(H("InvoiceNumber")); }
  // Each total shown, Total last, as label and value; one column of amounts.
  std::vector<std::pair<std::string, std::string>> Totals() const {
    std::vector<Variant> values;
    for (const auto& [label, field] : total_rows) values.push_back(totals.At(0, field));
    values.push_back(totals.At(0, "Total"));
    const int decimals = AmountDecimals(values);
    std::vector<std::pair<std::string, std::string>> out;
    for (std::size_t i = 0; i < values.size(); ++i) {
      out.emplace_back(i < total_rows.size() ? total_rows[i].first : "Total",
                       Cell(values[i], {}, decimals));
    }
    return out;
  }
  // Label and value of each header detail that has a value.
  std::vector<std::pair<std::string, std::string>> Details() const {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& [label, field] :
         std::vector<std::pair<const char*, const char*>>{{"Date", "InvoiceDate"},
                                                          {"Client", "Client"},
                                                          {"Project", "Project"},
                                                          {"Terms", "Terms"},
                                                          {"Notes", "Notes"}}) {
      if (!Blank(H(field))) out.emplace_back(label, Cell(H(field)));
    }
    return out;
  }
};

// ---- text

// Display width of UTF-8 text: one column per character.
std::size_t Width(std::string_view text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

std::string Pad(const std::string& text, std::size_t width, bool right) {
  const std::string fill(width - std::min(width, Width(text)), ' ');
  return right ? fill + text : text + fill;
}

// Rows under their headings, each column as wide as its widest cell.
std::string TextTable(const std::vector<Column>& columns,
                      const std::vector<std::vector<std::string>>& rows,
                      const std::string& indent = "") {
  std::vector<std::size_t> widths;
  for (const Column& c : columns) widths.push_back(Width(c.heading));
  for (const auto& row : rows) {
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], Width(row[i]));
  }
  const auto line = [&](std::vector<std::string> cells) {
    std::string out = indent;
    for (std::size_t i = 0; i < cells.size(); ++i) {
      std::replace_if(
          cells[i].begin(), cells[i].end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
      // The last column is not padded on the right.
      const bool last = i + 1 == cells.size();
      out += last && !columns[i].numeric ? cells[i] : Pad(cells[i], widths[i], columns[i].numeric);
      if (!last) out += "  ";
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out + "\n";
  };
  std::vector<std::string> headings, rules;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    headings.push_back(columns[i].heading);
    rules.emplace_back(widths[i], '-');
  }
  std::string out = line(headings) + line(rules);
  for (const auto& row : rows) out += line(row);
  return out;
}

std::vector<std::vector<std::string>> Cells(const Section& s, const std::vector<Column>& columns) {
  std::vector<int> decimals;
  for (const Column& c : columns) decimals.push_back(AmountDecimals(s.Column(c.field)));
  std::vector<std::vector<std::string>> rows;
  for (std::size_t i = 0; i < s.Size(); ++i) {
    std::vector<std::string> row;
    for (std::size_t c = 0; c < columns.size(); ++c) {
      row.push_back(Cell(s.At(i, columns[c].field), columns[c].field, decimals[c]));
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

// ---- HTML

std::string Escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

constexpr const char* kStyle = R"(
@page { margin: 16mm; }
body { font-family: "Helvetica Neue", Helvetica, Arial, sans-serif; color: #222;
       max-width: 64em; margin: 2em auto; padding: 0 1em; font-size: 11pt; }
header { display: flex; justify-content: space-between; align-items: baseline;
         border-bottom: 2px solid #222; padding-bottom: .4em; }
h1 { font-size: 1.6em; margin: 0; }
h2 { font-size: 1.3em; margin: 0; font-weight: 600; }
h3 { font-size: .9em; margin: 1.8em 0 .4em; text-transform: uppercase;
     letter-spacing: .06em; color: #555; }
.status { font-size: .75em; color: #555; font-weight: normal; margin-left: .5em; }
table { border-collapse: collapse; }
th, td { padding: .3em .6em; text-align: left; vertical-align: top; }
table.details { margin-top: 1em; }
table.details th { color: #555; font-weight: normal; padding-left: 0; }
table.details td { white-space: pre-line; }
table.lines { width: 100%; }
table.lines th { border-bottom: 1px solid #888; font-weight: 600; }
table.lines tr.line td { border-bottom: 1px solid #e4e4e4; }
.num { text-align: right; white-space: nowrap; font-variant-numeric: tabular-nums; }
table.totals { margin: 1.5em 0 0 auto; }
table.totals th { font-weight: normal; }
table.totals tr.total th, table.totals tr.total td { border-top: 2px solid #222;
                                                       font-weight: 700; }
@media print {
  body { margin: 0; max-width: none; }
  thead { display: table-header-group; }
  tr { page-break-inside: avoid; }
}
)";

std::string HtmlLines(const Section& s, const std::vector<Column>& columns) {
  std::string out = "<table class=\"lines\">\n<thead><tr>";
  for (const Column& c : columns) {
    out += c.numeric ? "<th class=\"num\">" : "<th>";
    out += Escape(c.heading) + "</th>";
  }
  out += "</tr></thead>\n<tbody>\n";
  for (const auto& row : Cells(s, columns)) {
    out += "<tr class=\"line\">";
    for (std::size_t i = 0; i < row.size(); ++i) {
      out += columns[i].numeric ? "<td class=\"num\">" : "<td>";
      out += Escape(row[i]) + "</td>";
    }
    out += "</tr>\n";
  }
  return out + "</tbody>\n</table>\n";
}

// ---- JSON

Json RowJson(const Section& s, std::size_t row) {
  Json out = Json::object();
  const Recordset& set = s.Rows();
  for (std::int32_t i = 0; i < set.FieldCount(); ++i) {
    out[set.FieldName(i)] = ToJson(set.Rows()[row][static_cast<std::size_t>(i)]);
  }
  return out;
}

Json RowsJson(const Section& s) {
  Json out = Json::array();
  for (std::size_t i = 0; i < s.Size(); ++i) out.push_back(RowJson(s, i));
  return out;
}

}  // namespace

std::string InvoiceText(const Collection& breakdown) {
  const InvoiceLayout doc(breakdown);
  std::string out;
  if (!Blank(doc.H("Company"))) out += CStr(doc.H("Company")) + "\n";
  out += doc.Title();
  if (!Blank(doc.H("StatusText"))) out += " (" + CStr(doc.H("StatusText")) + ")";
  out += "\n\n";
  std::vector<std::vector<std::string>> details;
  for (const auto& [label, value] : doc.Details()) details.push_back({label, value});
  if (!details.empty()) {
    // Label and value, without headings.
    std::size_t width = 0;
    for (const auto& d : details) width = std::max(width, Width(d[0]));
    // Lines of a value after its first stand under it.
    const std::string under = "\n" + std::string(width + 2, ' ');
    for (const auto& d : details) {
      std::string value = d[1];
      value.erase(std::remove(value.begin(), value.end(), '\r'), value.end());
      for (std::size_t at = value.find('\n'); at != std::string::npos;
           at = value.find('\n', at + under.size())) {
        value.replace(at, 1, under);
      }
      out += Pad(d[0], width, false) + "  " + value + "\n";
    }
  }
  if (doc.slips.Size() > 0) {
    out += "\nTime\n" + TextTable(doc.slip_columns, Cells(doc.slips, doc.slip_columns));
  }
  if (doc.expenses.Size() > 0) {
    out +=
        "\nExpenses\n" + TextTable(doc.expense_columns, Cells(doc.expenses, doc.expense_columns));
  }
  const auto rows = doc.Totals();
  std::size_t label_width = 0, value_width = 0;
  for (const auto& [label, value] : rows) {
    label_width = std::max(label_width, Width(label));
    value_width = std::max(value_width, Width(value));
  }
  out += "\n";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (i + 1 == rows.size()) {
      out += std::string(label_width + 2 + value_width, '=') + "\n";
    }
    out += Pad(rows[i].first, label_width, false) + "  " + Pad(rows[i].second, value_width, true) +
           "\n";
  }
  return out;
}

std::string InvoiceHtml(const Collection& breakdown) {
  const InvoiceLayout doc(breakdown);
  const std::string company = Blank(doc.H("Company")) ? "" : CStr(doc.H("Company"));
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"/>\n<title>" +
      Escape(doc.Title() + (company.empty() ? "" : " - " + company)) + "</title>\n<style>" +
      kStyle + "</style>\n</head>\n<body>\n<header><h1>" + Escape(company) + "</h1><h2>" +
      Escape(doc.Title());
  if (!Blank(doc.H("StatusText"))) {
    out += "<span class=\"status\">" + Escape(CStr(doc.H("StatusText"))) + "</span>";
  }
  out += "</h2></header>\n<table class=\"details\">\n";
  for (const auto& [label, value] : doc.Details()) {
    out += "<tr><th>" + Escape(label) + "</th><td>" + Escape(value) + "</td></tr>\n";
  }
  out += "</table>\n";
  if (doc.slips.Size() > 0) {
    out += "<h3>Time</h3>\n" + HtmlLines(doc.slips, doc.slip_columns);
  }
  if (doc.expenses.Size() > 0) {
    out += "<h3>Expenses</h3>\n" + HtmlLines(doc.expenses, doc.expense_columns);
  }
  out += "<table class=\"totals\">\n";
  const auto totals = doc.Totals();
  for (std::size_t i = 0; i + 1 < totals.size(); ++i) {
    out += "<tr><th>" + Escape(totals[i].first) + "</th><td class=\"num\">" +
           Escape(totals[i].second) + "</td></tr>\n";
  }
  out += "<tr class=\"total\"><th>Total</th><td class=\"num\" id=\"total\">" +
         Escape(totals.back().second) + "</td></tr>\n</table>\n</body>\n</html>\n";
  return out;
}

Json InvoiceJson(const Collection& breakdown) {
  Json out = Json::object();
  out["Header"] = RowJson(Section(breakdown, "Header"), 0);
  out["Slips"] = RowsJson(Section(breakdown, "Slips"));
  out["Expenses"] = RowsJson(Section(breakdown, "Expenses"));
  out["Totals"] = RowJson(Section(breakdown, "Totals"), 0);
  return out;
}

std::string PreviewText(const Collection& preview, const std::string& scope) {
  const Section projects(preview, "Projects"), slips(preview, "Slips"),
      expenses(preview, "Expenses");
  const int total_decimals = AmountDecimals(projects.Column("Total"));
  const std::vector<Column> slip_columns = {
      {"Slip", "SlipID", true},     {"Day", "Day"},         {"Task", "Task"},    {"Staff", "Staff"},
      {"Minutes", "Minutes", true}, {"Billed", "Included"}, {"Reason", "Reason"}};
  const std::vector<Column> expense_columns = {
      {"Expense", "ExpenseID", true}, {"Date", "Date"},       {"Description", "Description"},
      {"Amount", "Amount", true},     {"Billed", "Included"}, {"Reason", "Reason"}};
  // The rows of `s` that belong to project `id`.
  const auto of_project = [&](const Section& s, const std::vector<Column>& columns,
                              const Variant& id) {
    std::vector<std::vector<std::string>> rows;
    const auto all = Cells(s, columns);
    for (std::size_t i = 0; i < s.Size(); ++i) {
      if (CStr(s.At(i, "ProjectID")) == CStr(id)) rows.push_back(all[i]);
    }
    return rows;
  };

  std::string out = "Invoicing preview: " + scope + "\n";
  if (projects.Size() == 0) out += "\nNo project to invoice.\n";
  for (std::size_t p = 0; p < projects.Size(); ++p) {
    const Variant& id = projects.At(p, "ProjectID");
    out += "\nProject " + CStr(id) + "  " + Cell(projects.At(p, "Project"));
    if (!Blank(projects.At(p, "Client"))) out += "  (" + CStr(projects.At(p, "Client")) + ")";
    out += "\n";
    if (CBool(projects.At(p, "Invoiced"))) {
      const std::int32_t n = CLng(projects.At(p, "Slips")), m = CLng(projects.At(p, "Expenses"));
      const Variant& total = projects.At(p, "Total");
      out += "  Invoiced: " + std::to_string(n) + (n == 1 ? " slip, " : " slips, ") +
             std::to_string(m) + (m == 1 ? " expense" : " expenses") + ", total " +
             (Blank(total) ? "not computable" : Cell(total, {}, total_decimals)) + "\n";
    } else {
      out += "  Not invoiced: " + CStr(projects.At(p, "Reason")) + "\n";
    }
    if (auto rows = of_project(slips, slip_columns, id); !rows.empty()) {
      out += TextTable(slip_columns, rows, "  ");
    }
    if (auto rows = of_project(expenses, expense_columns, id); !rows.empty()) {
      out += TextTable(expense_columns, rows, "  ");
    }
  }
  return out;
}

Json PreviewJson(const Collection& preview) {
  Json out = Json::object();
  for (const char* key : {"Projects", "Slips", "Expenses"}) {
    out[key] = RowsJson(Section(preview, key));
  }
  return out;
}

}  // namespace brivos::cli
