#pragma once

// Pricing shared by an invoice's breakdown, its total and the preview of a
// run: the one place where time, its sales taxes and expenses become amounts.
//
// Pricing multiplies in double and rounds each amount of a line to currency,
// halves to even: a slip's time is rate x hours, each of its taxes that
// unrounded time (plus tax 1 when tax 2 is piggy-backed) x rate / 100; an
// expense's converted amount is amount x exchange rate, its markup the
// converted amount x the percentage (kept to four places) / 100. The totals
// add the rounded amounts exactly.

#include <cstdint>
#include <map>
#include <span>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "brivos/automation/Collection.hpp"
#include "brivos/automation/Recordset.hpp"
#include "brivos/database/Database.hpp"
#include "brivos/foundation/Date.hpp"
#include "brivos/invoicing/InvoiceBreakdown.hpp"
#include "brivos/records/CITaxCode.hpp"

namespace brivos::invoicing {

// The minute boundaries from `start` to `stop`, each taken to its whole minute.
std::int64_t MinutesBetween(const Date& start, const Date& stop);

// A count as a Long, or a Double beyond 32 bits.
inline Variant CountValue(std::int64_t count) { return FieldValue(count); }

// The sales taxes a client's tax code charges on time: none without a code
// or when the code is not definitely active; each tax only when it is
// definitely not exempt.
struct SalesTax {
  std::shared_ptr<CITaxCode> code;
  bool tax1 = false, tax2 = false;
};
SalesTax SalesTaxOf(std::shared_ptr<CITaxCode> code);

// The names of the tasks and staff members that lines refer to, each read
// once: a task's Name, a staff member's first and last name (the user name
// when both are empty). Null for a key that is Null or names no row.
class LineNames {
 public:
  explicit LineNames(const Variant& account) : account_(account) {}
  Variant Task(const Variant& task_id);
  Variant Staff(const Variant& staff_id);

 private:
  Variant account_;
  std::map<std::string, Variant> tasks_, staff_;
};

// Prices `slips` (IProjectTransaction records) and then `expenses`
// (IProjectExpense records) in their order, appending one line each to `out`
// with its keys, day, names and description, and adding them into its
// totals. Raises 94 for a slip without start or stop, or a Null rate or
// amount; 6 when a sum leaves the currency range.
void PriceLines(const Collection& slips, const Collection& expenses, const SalesTax& tax,
                LineNames& names, InvoiceBreakdown& out);

// The order of an invoice's slips, in which they are priced: the running
// total rounds once per slip, so the order is part of the total.
inline constexpr std::string_view kInvoiceSlipOrder =
    "TaskID ASC, StaffID ASC, TransDate ASC, IProjectTransactionID ASC";

// The totals PriceLines gives for the same lines, priced by the same
// routine without keeping the lines or reading any name; raises as it does.
InvoiceBreakdown::Totals PriceTotals(const Collection& slips, const Collection& expenses,
                                     const SalesTax& tax);

// The lines of one kind a filter selects on a database, in an order.
struct LineFilter {
  std::string_view where;
  std::span<const Parameter> params;
  std::string_view order_by;  // "" for the database's order
};
// The totals PriceLines gives for the slips and expenses the filters select,
// read in one statement each, only the columns pricing needs; raises as it does.
InvoiceBreakdown::Totals PriceSelected(Connection& db, const LineFilter& slips,
                                       const LineFilter& expenses, const SalesTax& tax);

// The totals PriceLines gives for the invoice's lines, read in one
// statement per kind of line, only the columns pricing needs, and priced by
// the same routine; raises as it does.
InvoiceBreakdown::Totals PriceTotals(Connection& db, const Variant& invoice_id,
                                     const SalesTax& tax);

// The late-bound form of a breakdown or a preview: a Collection of one
// disconnected set per section, under the section's key, with the fields
// of its table and standing on its first row.
template <class Result>
Variant SectionsOf(const Result& result) {
  auto sections = std::make_shared<Collection>();
  result.ForEachSection([&](const char* key, auto fields, auto rows, bool) {
    std::vector<std::string> names;
    for (const auto& field : fields) names.emplace_back(field.name);
    auto set = std::make_shared<Recordset>(std::move(names));
    for (const auto& row : rows) {
      std::vector<Variant> values;
      values.reserve(fields.size());
      for (const auto& field : fields) values.push_back(field.value(row));
      set->AddRow(std::move(values));
    }
    if (set->RecordCount() > 0) set->MoveFirst();
    sections->Add(set, key);
  });
  return Variant(sections);
}

}  // namespace brivos::invoicing
