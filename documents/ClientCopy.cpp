#include "documents/ClientCopy.hpp"

namespace brivos::documents {
namespace {

bool Blank(const Variant& v) {
  return v.IsEmpty() || v.IsNull() || (v.Type() == VarType::String && v.AsString().empty());
}

std::string Text(const Variant& v) {
  if (Blank(v)) return {};
  if (v.Type() == VarType::Date) return v.AsDate().ToString().substr(0, 10);
  return CStr(v);
}

}  // namespace

Currency ToCents(Currency amount) {
  std::int64_t cents = amount.Scaled() / 100;
  const std::int64_t rest = amount.Scaled() % 100;
  if (rest >= 50) ++cents;
  if (rest <= -50) --cents;
  std::int64_t scaled = 0;
  if (__builtin_mul_overflow(cents, 100, &scaled)) RaiseRuntime(errnum::kOverflow);
  return Currency::FromScaled(scaled);
}

std::string CentsText(Currency amount) {
  std::string text = ToCents(amount).ToFixedString();
  text.resize(text.size() - 2);
  return text;
}

ClientCopy MakeClientCopy(const InvoiceBreakdown& invoice) {
  ClientCopy copy;
  for (const auto& slip : invoice.slips) {
    ClientCopy::Line line;
    line.date = Text(slip.day);
    line.description = Text(slip.task);
    if (!Blank(slip.staff))
      line.description += (line.description.empty() ? "" : ", ") + Text(slip.staff);
    if (slip.overtime) line.description += " (overtime)";
    if (!Blank(slip.description)) line.description += ": " + Text(slip.description);
    line.quantity = slip.hours;
    line.price = slip.rate;
    line.exact = slip.amount;
    line.net = ToCents(slip.amount);
    copy.time = copy.time + line.net;
    copy.lines.push_back(std::move(line));
  }
  for (const auto& expense : invoice.expenses) {
    ClientCopy::Line line;
    line.time = false;
    line.unit = "C62";
    line.date = Text(expense.date);
    line.description = Blank(expense.description) ? "Expense" : Text(expense.description);
    line.exact = expense.converted + expense.markup;
    line.net = ToCents(line.exact);
    line.price = line.net;
    copy.expenses = copy.expenses + line.net;
    copy.lines.push_back(std::move(line));
  }
  copy.net = copy.time + copy.expenses;
  const auto& h = invoice.header;
  if (!Blank(h.tax1_rate)) {
    ClientCopy::Tax tax;
    tax.name = Blank(h.tax1_name) ? "Tax 1" : Text(h.tax1_name);
    tax.rate = CDbl(h.tax1_rate);
    tax.taxable = copy.time;
    tax.exact = invoice.totals.tax1;
    tax.amount = ToCents(tax.exact);
    copy.taxes.push_back(tax);
  }
  if (!Blank(h.tax2_rate)) {
    ClientCopy::Tax tax;
    tax.name = Blank(h.tax2_name) ? "Tax 2" : Text(h.tax2_name);
    tax.rate = CDbl(h.tax2_rate);
    tax.compound = !Blank(h.tax2_piggy_back) && CBool(h.tax2_piggy_back) && !copy.taxes.empty();
    tax.taxable = tax.compound ? copy.time + copy.taxes.front().amount : copy.time;
    tax.exact = invoice.totals.tax2;
    tax.amount = ToCents(tax.exact);
    copy.taxes.push_back(tax);
  }
  for (const auto& tax : copy.taxes) copy.tax = copy.tax + tax.amount;
  copy.payable = copy.net + copy.tax;
  copy.exact_total = invoice.totals.total;
  copy.rounding = copy.payable - copy.exact_total;
  return copy;
}

json::Json ClientCopyJson(const ClientCopy& copy) {
  using json::Json;
  using json::ToJson;
  Json lines = Json::array();
  for (const auto& line : copy.lines) {
    lines.push_back({{"Kind", line.time ? "time" : "expense"},
                     {"Date", line.date},
                     {"Description", line.description},
                     {"Quantity", ToJson(Variant(line.quantity))},
                     {"Unit", line.unit},
                     {"Price", ToJson(Variant(line.price))},
                     {"Net", ToJson(Variant(line.net))}});
  }
  Json taxes = Json::array();
  for (const auto& tax : copy.taxes) {
    taxes.push_back({{"Name", tax.name},
                     {"Rate", ToJson(Variant(tax.rate))},
                     {"Compound", tax.compound},
                     {"Taxable", ToJson(Variant(tax.taxable))},
                     {"Exact", ToJson(Variant(tax.exact))},
                     {"Amount", ToJson(Variant(tax.amount))}});
  }
  return {{"Lines", std::move(lines)},
          {"Taxes", std::move(taxes)},
          {"Time", ToJson(Variant(copy.time))},
          {"Expenses", ToJson(Variant(copy.expenses))},
          {"Net", ToJson(Variant(copy.net))},
          {"Tax", ToJson(Variant(copy.tax))},
          {"Payable", ToJson(Variant(copy.payable))},
          {"ExactTotal", ToJson(Variant(copy.exact_total))},
          {"Rounding", ToJson(Variant(copy.rounding))}};
}

}  // namespace brivos::documents
