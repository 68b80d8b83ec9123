#pragma once

// Pricing shared by an invoice's breakdown and the preview of a run: the one
// place where time, its sales taxes and expenses become amounts.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "brivos/automation/Collection.hpp"
#include "brivos/automation/Recordset.hpp"
#include "brivos/foundation/Date.hpp"
#include "brivos/invoicing/InvoiceBreakdown.hpp"
#include "brivos/records/CITaxCode.hpp"

namespace brivos::invoicing {

// The minute boundaries from `start` to `stop`, each taken to its whole minute.
std::int64_t MinutesBetween(const Date& start, const Date& stop);

// A count as a Long, or a Double beyond 32 bits.
Variant CountValue(std::int64_t count);

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
// and adding them into its totals. Raises 94 for a slip without start or
// stop, or a Null rate or amount; 6 when a sum leaves the currency range.
void PriceLines(const Collection& slips, const Collection& expenses, const SalesTax& tax,
                LineNames& names, InvoiceBreakdown& out);

// A disconnected set of `fields` holding `rows`, standing on its first row.
std::shared_ptr<Recordset> RowsOf(std::vector<std::string> fields,
                                  std::vector<std::vector<Variant>> rows);

}  // namespace brivos::invoicing
