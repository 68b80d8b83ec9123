#pragma once

// What an invoicing run selects: its projects and, per project, its lines.
// The run and its preview both read these, so they always agree.

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "brivos/database/Database.hpp"
#include "brivos/foundation/Variant.hpp"
#include "brivos/invoicing/InvoiceBreakdown.hpp"
#include "brivos/records/IProject.hpp"

namespace brivos::invoicing {

// The lines a run bills for one project: approved slips, and approved,
// unbilled expenses, dated on or before the cutoff. A line without a date
// never qualifies. Each is a filter with the parameters it binds.
struct LineSelection {
  std::string_view where;
  std::vector<Parameter> params;
};
LineSelection SlipsToBill(const Variant& project_id, const Date& cutoff);
LineSelection ExpensesToBill(const Variant& project_id, const Date& cutoff);

// True when the selection holds at least one line of `table`.
bool AnyLine(Connection& db, std::string_view table, const LineSelection& lines);
// The keys of the selected lines of `table`.
std::set<std::int32_t> LineKeys(Connection& db, std::string_view table, const LineSelection& lines);

// The order an invoice lists its slips in, which pricing follows.
inline constexpr std::string_view kSlipOrder = "TaskID ASC, StaffID ASC, TransDate ASC";

// What a run makes of a project it would invoice with these lines (records
// of IProjectTransaction and IProjectExpense): the invoice's totals, or the
// refusal the run raises instead. A project is refused when its client or
// subscriber row is missing (91) or when a line cannot be priced (what
// pricing raises: 94 for a Null rate, amount or time, 6 beyond Currency's
// range, 13 for a value no number).
struct RunPricing {
  std::int32_t refused = 0;  // the error number, 0 when the project is invoiced
  std::string reason;
  InvoiceBreakdown::Totals totals;
};
RunPricing PriceForRun(const Variant& account, IProject& project, const Collection& slips,
                       const Collection& expenses);
// The same for the lines the selections find on `db`, reading only the
// columns pricing needs.
RunPricing PriceForRun(const Variant& account, IProject& project, Connection& db,
                       const LineSelection& slips, const LineSelection& expenses);

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
