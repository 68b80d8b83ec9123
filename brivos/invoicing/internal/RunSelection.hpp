#pragma once

// What an invoicing run selects: its projects and, per project, its lines.
// The run and its preview both read these, so they always agree.

#include <memory>
#include <vector>

#include "brivos/foundation/Variant.hpp"
#include "brivos/records/IProject.hpp"

namespace brivos::invoicing {

// The lines a run bills for one project (parameters: the project's key and
// the cutoff): approved slips, and approved, unbilled expenses, dated on or
// before the cutoff. A line without a date never qualifies.
#define BRIVOS_SLIPS_TO_BILL_ "Parent=? AND Status=2 AND TransDate<=?"
#define BRIVOS_EXPENSES_TO_BILL_ "Parent=? AND Billed=0 AND Approved=1 AND ExpenseDate<=?"

inline constexpr const char* kSlipsExist =
    "SELECT 1 FROM IProjectTransaction WHERE " BRIVOS_SLIPS_TO_BILL_ " LIMIT 1;";
inline constexpr const char* kExpensesExist =
    "SELECT 1 FROM IProjectExpense WHERE " BRIVOS_EXPENSES_TO_BILL_ " LIMIT 1;";
inline constexpr const char* kSlipsToBill =
    "SELECT IProjectTransactionID FROM IProjectTransaction WHERE " BRIVOS_SLIPS_TO_BILL_ ";";
inline constexpr const char* kExpensesToBill =
    "SELECT IProjectExpenseID FROM IProjectExpense WHERE " BRIVOS_EXPENSES_TO_BILL_ ";";
// Marks them billed on an invoice (its key first, then as above).
inline constexpr const char* kBillSlips =
    "UPDATE IProjectTransaction SET Status=3,InvoiceID=? WHERE " BRIVOS_SLIPS_TO_BILL_ ";";
inline constexpr const char* kBillExpenses =
    "UPDATE IProjectExpense SET Billed=1,InvoiceID=? WHERE " BRIVOS_EXPENSES_TO_BILL_ ";";

#undef BRIVOS_SLIPS_TO_BILL_
#undef BRIVOS_EXPENSES_TO_BILL_

// The projects an all-projects run takes, in its order: every active
// project of the file.
std::vector<std::shared_ptr<IProject>> ActiveProjects(const Variant& account);

// The projects a list such as "12|40|7" names, in its order, duplicates kept.
// Every piece is resolved before the first project is returned: 13 for a
// piece that is not a whole number (the empty piece included), 9 for one
// naming no project. An empty text names none.
std::vector<std::shared_ptr<IProject>> ListedProjects(const Variant& account, const Variant& list);

// A run invoices only projects whose Billable is definitely true.
bool IsBillable(const IProject& project);

}  // namespace brivos::invoicing
