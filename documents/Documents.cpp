#include "documents/Documents.hpp"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "documents/Markup.hpp"

namespace brivos::documents {
namespace {

using B = InvoiceBreakdown;
using P = InvoicingPreview;

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

// How a column prints its values.
enum class Style {
  kText,    // left-aligned
  kNumber,  // right-aligned
  kHours,   // right-aligned, two decimals
  kMark,    // left-aligned; a true flag is "yes", a false one nothing
};

// A value as a reader sees it: amounts to `decimals` places, other numbers
// as short as they are exact, dates without a midnight time, flags as yes or
// no, nothing for Null; `style` may say otherwise.
std::string Cell(const Variant& v, Style style = Style::kText, int decimals = 4) {
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
      return style == Style::kHours ? Fixed(v.AsDouble(), 2) : Shortest(v.AsDouble());
    case VarType::Date:
      return v.AsDate().ToString();
    case VarType::Boolean:
      if (style == Style::kMark) return v.AsBool() ? "yes" : "";
      return v.AsBool() ? "yes" : "no";
    default:
      return CStr(v);
  }
}

// ---- columns

// A column of a table of `Row`s: its heading and the member it shows, read
// as the result's field table reads it.
template <class Row>
struct Column {
  std::string heading;
  Variant (*value)(const Row&);
  Style style = Style::kText;

  bool Right() const { return style == Style::kNumber || style == Style::kHours; }
};

// "GST 5%" for a tax that has a name, "Tax 1 7%" for one that has none.
std::string TaxHeading(const Variant& name, const Variant& rate, const char* fallback) {
  std::string heading = Blank(name) ? fallback : CStr(name);
  if (!Blank(rate)) heading += " " + Shortest(CDbl(rate)) + "%";
  return heading;
}

// The parts of an invoice a reader sees, in reading order.
struct InvoiceLayout {
  const B& invoice;
  const B::Header& h;
  bool tax1, tax2;
  std::vector<Column<B::Slip>> slip_columns;
  std::vector<Column<B::Expense>> expense_columns;
  // Label and member of each total shown.
  std::vector<std::pair<std::string, Variant (*)(const B::Totals&)>> total_rows;

  explicit InvoiceLayout(const B& breakdown)
      : invoice(breakdown),
        h(breakdown.header),
        tax1(!Blank(h.tax1_rate)),
        tax2(!Blank(h.tax2_rate)) {
    const std::string tax1_heading = TaxHeading(h.tax1_name, h.tax1_rate, "Tax 1");
    const std::string tax2_heading = TaxHeading(h.tax2_name, h.tax2_rate, "Tax 2");
    const auto& slips = invoice.slips;
    slip_columns = {{"Day", ReadMember<&B::Slip::day>},
                    {"Task", ReadMember<&B::Slip::task>},
                    {"Staff", ReadMember<&B::Slip::staff>}};
    if (std::any_of(slips.begin(), slips.end(), [](const B::Slip& s) { return s.overtime; })) {
      slip_columns.push_back({"Overtime", ReadMember<&B::Slip::overtime>, Style::kMark});
    }
    slip_columns.insert(slip_columns.end(),
                        {{"Minutes", ReadMember<&B::Slip::minutes>, Style::kNumber},
                         {"Hours", ReadMember<&B::Slip::hours>, Style::kHours},
                         {"Rate", ReadMember<&B::Slip::rate>, Style::kNumber},
                         {"Amount", ReadMember<&B::Slip::amount>, Style::kNumber}});
    if (tax1) slip_columns.push_back({tax1_heading, ReadMember<&B::Slip::tax1>, Style::kNumber});
    if (tax2) slip_columns.push_back({tax2_heading, ReadMember<&B::Slip::tax2>, Style::kNumber});
    if (std::any_of(slips.begin(), slips.end(),
                    [](const B::Slip& s) { return !Blank(s.description); })) {
      slip_columns.push_back({"Description", ReadMember<&B::Slip::description>});
    }
    expense_columns = {{"Date", ReadMember<&B::Expense::date>},
                       {"Description", ReadMember<&B::Expense::description>},
                       {"Amount", ReadMember<&B::Expense::amount>, Style::kNumber},
                       {"Exchange rate", ReadMember<&B::Expense::exchange_rate>, Style::kNumber},
                       {"Converted", ReadMember<&B::Expense::converted>, Style::kNumber},
                       {"Markup %", ReadMember<&B::Expense::markup_percent>, Style::kNumber},
                       {"Markup", ReadMember<&B::Expense::markup>, Style::kNumber}};
    if (!slips.empty()) total_rows.push_back({"Time", ReadMember<&B::Totals::time>});
    if (tax1) total_rows.push_back({tax1_heading, ReadMember<&B::Totals::tax1>});
    if (tax2) total_rows.push_back({tax2_heading, ReadMember<&B::Totals::tax2>});
    if (!invoice.expenses.empty()) {
      total_rows.push_back({"Expenses", ReadMember<&B::Totals::expenses>});
      total_rows.push_back({"Markup", ReadMember<&B::Totals::markup>});
    }
  }

  std::string Title() const { return "Invoice " + CStr(h.invoice_number); }
  // Each total shown, Total last, as label and value; one column of amounts.
  std::vector<std::pair<std::string, std::string>> Totals() const {
    std::vector<Variant> values;
    for (const auto& [label, value] : total_rows) values.push_back(value(invoice.totals));
    values.push_back(Variant(invoice.totals.total));
    const int decimals = AmountDecimals(values);
    std::vector<std::pair<std::string, std::string>> out;
    for (std::size_t i = 0; i < values.size(); ++i) {
      out.emplace_back(i < total_rows.size() ? total_rows[i].first : "Total",
                       Cell(values[i], Style::kNumber, decimals));
    }
    return out;
  }
  // Label and value of each header detail that has a value.
  std::vector<std::pair<std::string, std::string>> Details() const {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& [label, value] :
         {std::pair<const char*, const Variant*>{"Date", &h.invoice_date},
          {"Client", &h.client},
          {"Project", &h.project},
          {"Terms", &h.terms},
          {"Notes", &h.notes}}) {
      if (!Blank(*value)) out.emplace_back(label, Cell(*value));
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
template <class Row>
std::string TextTable(const std::vector<Column<Row>>& columns,
                      const std::vector<std::vector<std::string>>& rows,
                      const std::string& indent = "") {
  std::vector<std::size_t> widths;
  for (const auto& c : columns) widths.push_back(Width(c.heading));
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
      const bool right = columns[i].Right();
      out += last && !right ? cells[i] : Pad(cells[i], widths[i], right);
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

// The cells of `rows` under `columns`, each column of amounts to its own decimals.
template <class Row>
std::vector<std::vector<std::string>> Cells(const std::vector<Row>& rows,
                                            const std::vector<Column<Row>>& columns) {
  std::vector<std::vector<Variant>> values(columns.size());
  std::vector<int> decimals;
  for (std::size_t c = 0; c < columns.size(); ++c) {
    for (const Row& row : rows) values[c].push_back(columns[c].value(row));
    decimals.push_back(AmountDecimals(values[c]));
  }
  std::vector<std::vector<std::string>> out;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::vector<std::string> cells;
    for (std::size_t c = 0; c < columns.size(); ++c) {
      cells.push_back(Cell(values[c][i], columns[c].style, decimals[c]));
    }
    out.push_back(std::move(cells));
  }
  return out;
}

// ---- HTML

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

template <class Row>
std::string HtmlTable(const std::vector<Column<Row>>& columns,
                      const std::vector<std::vector<std::string>>& cells) {
  std::string out = "<table class=\"lines\">\n<thead><tr>";
  for (const auto& c : columns) {
    out += c.Right() ? "<th class=\"num\">" : "<th>";
    out += MarkupText(c.heading) + "</th>";
  }
  out += "</tr></thead>\n<tbody>\n";
  for (const auto& row : cells) {
    out += "<tr class=\"line\">";
    for (std::size_t i = 0; i < row.size(); ++i) {
      out += columns[i].Right() ? "<td class=\"num\">" : "<td>";
      out += MarkupText(row[i]) + "</td>";
    }
    out += "</tr>\n";
  }
  return out + "</tbody>\n</table>\n";
}

// ---- JSON

// Each section of a breakdown or a preview under its key, its rows as
// objects of the fields of its table (the one row of a one-row section as
// that object).
template <class Result>
Json SectionsJson(const Result& result) {
  Json out = Json::object();
  result.ForEachSection([&](const char* key, auto fields, auto rows, bool one_row) {
    Json section = Json::array();
    for (const auto& row : rows) {
      Json line = Json::object();
      for (const auto& field : fields) line[field.name] = ToJson(field.value(row));
      section.push_back(std::move(line));
    }
    out[key] = one_row ? section.at(0) : std::move(section);
  });
  return out;
}

}  // namespace

std::string InvoiceText(const InvoiceBreakdown& invoice) {
  const InvoiceLayout doc(invoice);
  std::string out;
  if (!Blank(doc.h.company)) out += CStr(doc.h.company) + "\n";
  out += doc.Title();
  if (!Blank(doc.h.status_text)) out += " (" + CStr(doc.h.status_text) + ")";
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
  if (!invoice.slips.empty()) {
    out += "\nTime\n" + TextTable(doc.slip_columns, Cells(invoice.slips, doc.slip_columns));
  }
  if (!invoice.expenses.empty()) {
    out += "\nExpenses\n" +
           TextTable(doc.expense_columns, Cells(invoice.expenses, doc.expense_columns));
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
  const ClientCopy copy = MakeClientCopy(invoice);
  out += "\nPayable   " + CentsText(copy.payable) + "\n";
  if (copy.rounding != Currency()) {
    out += "Rounding  " + copy.rounding.ToString() + " (the exact total to cents)\n";
  }
  return out;
}

std::string InvoiceHtml(const InvoiceBreakdown& invoice) {
  const InvoiceLayout doc(invoice);
  const ClientCopy copy = MakeClientCopy(invoice);
  const std::string company = Blank(doc.h.company) ? "" : CStr(doc.h.company);
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"/>\n<title>" +
      MarkupText(doc.Title() + (company.empty() ? "" : " - " + company)) + "</title>\n<style>" +
      kStyle + "</style>\n</head>\n<body>\n<header><h1>" + MarkupText(company) + "</h1><h2>" +
      MarkupText(doc.Title());
  if (!Blank(doc.h.status_text)) {
    out += "<span class=\"status\">" + MarkupText(CStr(doc.h.status_text)) + "</span>";
  }
  out += "</h2></header>\n<table class=\"details\">\n";
  for (const auto& [label, value] : doc.Details()) {
    out += "<tr><th>" + MarkupText(label) + "</th><td>" + MarkupText(value) + "</td></tr>\n";
  }
  out += "</table>\n";
  // The lines as the client reads them: the exact columns that explain a
  // line (the taxes and a slip's exact amount left out), and its net in cents.
  const auto lines = [&](const auto& rows, auto columns, std::size_t first, const char* net,
                         std::initializer_list<std::string_view> left_out) {
    using Row = typename std::decay_t<decltype(rows)>::value_type;
    std::erase_if(columns, [&](const Column<Row>& c) {
      if constexpr (std::is_same_v<Row, B::Slip>) {
        if (c.value == ReadMember<&B::Slip::tax1> || c.value == ReadMember<&B::Slip::tax2>) {
          return true;
        }
      }
      return std::find(left_out.begin(), left_out.end(), c.heading) != left_out.end();
    });
    std::vector<std::vector<std::string>> cells = Cells(rows, columns);
    columns.push_back({net, nullptr, Style::kNumber});
    for (std::size_t i = 0; i < cells.size(); ++i) {
      cells[i].push_back(CentsText(copy.lines[first + i].net));
    }
    return HtmlTable(columns, cells);
  };
  if (!invoice.slips.empty()) {
    out += "<h3>Time</h3>\n" + lines(invoice.slips, doc.slip_columns, 0, "Amount", {"Amount"});
  }
  if (!invoice.expenses.empty()) {
    out += "<h3>Expenses</h3>\n" + lines(invoice.expenses, doc.expense_columns,
                                         invoice.slips.size(), "Billed", {"Converted", "Markup"});
  }
  out += "<table class=\"totals\">\n";
  const auto row = [&](const std::string& label, const std::string& value) {
    out += "<tr><th>" + MarkupText(label) + "</th><td class=\"num\">" + MarkupText(value) + "</td></tr>\n";
  };
  if (!invoice.slips.empty()) row("Time", CentsText(copy.time));
  if (!invoice.expenses.empty()) row("Expenses", CentsText(copy.expenses));
  for (const auto& tax : copy.taxes) {
    row(tax.name + " " + Shortest(tax.rate) + "% on " + CentsText(tax.taxable),
        CentsText(tax.amount));
  }
  out += "<tr class=\"total\"><th>Total</th><td class=\"num\" id=\"total\">" +
         MarkupText(CentsText(copy.payable)) + "</td></tr>\n";
  if (copy.rounding != Currency()) {
    out += "<tr class=\"rounding\"><th>Rounding to cents</th><td class=\"num\" id=\"rounding\">" +
           MarkupText(copy.rounding.ToString()) +
           "</td></tr>\n<tr class=\"rounding\"><th>Exact total</th>"
           "<td class=\"num\" id=\"exact-total\">" +
           MarkupText(copy.exact_total.ToString()) + "</td></tr>\n";
  }
  out += "</table>\n</body>\n</html>\n";
  return out;
}

Json InvoiceJson(const InvoiceBreakdown& invoice) {
  Json out = SectionsJson(invoice);
  out["ClientCopy"] = ClientCopyJson(MakeClientCopy(invoice));
  return out;
}

std::string PreviewText(const InvoicingPreview& preview, const std::string& scope) {
  std::vector<Variant> totals;
  for (const P::Project& p : preview.projects) totals.push_back(p.total);
  const int total_decimals = AmountDecimals(totals);
  const std::vector<Column<P::Slip>> slip_columns = {
      {"Slip", ReadMember<&P::Slip::slip_id>, Style::kNumber},
      {"Day", ReadMember<&P::Slip::day>},
      {"Task", ReadMember<&P::Slip::task>},
      {"Staff", ReadMember<&P::Slip::staff>},
      {"Minutes", ReadMember<&P::Slip::minutes>, Style::kNumber},
      {"Billed", ReadMember<&P::Slip::included>},
      {"Reason", ReadMember<&P::Slip::reason>}};
  const std::vector<Column<P::Expense>> expense_columns = {
      {"Expense", ReadMember<&P::Expense::expense_id>, Style::kNumber},
      {"Date", ReadMember<&P::Expense::date>},
      {"Description", ReadMember<&P::Expense::description>},
      {"Amount", ReadMember<&P::Expense::amount>, Style::kNumber},
      {"Billed", ReadMember<&P::Expense::included>},
      {"Reason", ReadMember<&P::Expense::reason>}};
  // The rows of `lines` that belong to project `id`, the decimals of a
  // column of amounts taken over every project's lines.
  const auto of_project = [](const auto& lines, const auto& columns, const Variant& id) {
    std::vector<std::vector<std::string>> rows;
    const auto all = Cells(lines, columns);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (CStr(lines[i].project_id) == CStr(id)) rows.push_back(all[i]);
    }
    return rows;
  };

  std::string out = "Invoicing preview: " + scope + "\n";
  if (preview.projects.empty()) out += "\nNo project to invoice.\n";
  for (const P::Project& p : preview.projects) {
    out += "\nProject " + CStr(p.project_id) + "  " + Cell(p.name);
    if (!Blank(p.client)) out += "  (" + CStr(p.client) + ")";
    out += "\n";
    if (p.invoiced) {
      const std::int32_t n = p.slips, m = p.expenses;
      out += "  Invoiced: " + std::to_string(n) + (n == 1 ? " slip, " : " slips, ") +
             std::to_string(m) + (m == 1 ? " expense" : " expenses") + ", total " +
             (Blank(p.total) ? "not computable" : Cell(p.total, Style::kNumber, total_decimals)) +
             "\n";
    } else {
      out += "  Not invoiced: " + CStr(p.reason) + "\n";
    }
    if (auto rows = of_project(preview.slips, slip_columns, p.project_id); !rows.empty()) {
      out += TextTable(slip_columns, rows, "  ");
    }
    if (auto rows = of_project(preview.expenses, expense_columns, p.project_id); !rows.empty()) {
      out += TextTable(expense_columns, rows, "  ");
    }
    for (const P::Warning& w : preview.warnings) {
      if (CStr(w.project_id) == CStr(p.project_id)) {
        out += "  Warning (" + CStr(w.kind) + "): " + CStr(w.text) + "\n";
      }
    }
  }
  return out;
}

Json PreviewJson(const InvoicingPreview& preview) { return SectionsJson(preview); }

}  // namespace brivos::documents
