#include "brivos/invoicing/internal/RunSelection.hpp"

#include <cmath>
#include <string>

#include "brivos/automation/Collection.hpp"
#include "brivos/invoicing/internal/InvoicePricing.hpp"
#include "brivos/records/EnumeratedTypes.hpp"
#include "brivos/records/IProjectExpense.hpp"
#include "brivos/records/IProjectTransaction.hpp"
#include "brivos/records/SFAProspect.hpp"

namespace brivos::invoicing {

namespace {

// A piece of a project list: a whole number (13 otherwise, the empty piece
// included).
Variant ProjectKey(const std::string& piece) {
  const double value = CDbl(Variant(piece));
  if (piece.empty() || value != std::trunc(value)) RaiseRuntime(errnum::kTypeMismatch);
  return Variant(CLng(Variant(value)));
}

}  // namespace

LineSelection SlipsToBill(const Variant& project_id, const Date& cutoff) {
  using X = IProjectTransaction;
  return {"Parent=? AND Status=? AND TransDate<=?",
          {Parameter::Number(project_id), X::P(X::kStatus, eTransStatus::tsApproved),
           X::P(X::kTransDate, cutoff)}};
}

LineSelection ExpensesToBill(const Variant& project_id, const Date& cutoff) {
  using E = IProjectExpense;
  return {"Parent=? AND Billed=? AND Approved=? AND ExpenseDate<=?",
          {Parameter::Number(project_id), E::P(E::kBilled, false), E::P(E::kApproved, true),
           E::P(E::kExpenseDate, cutoff)}};
}

bool AnyLine(Connection& db, std::string_view table, const LineSelection& lines) {
  const std::string sql =
      "SELECT 1 FROM " + std::string(table) + " WHERE " + std::string(lines.where) + " LIMIT 1";
  return !db.Query(sql, lines.params)->Eof();
}

std::set<std::int32_t> LineKeys(Connection& db, std::string_view table,
                                const LineSelection& lines) {
  const std::string sql = "SELECT " + std::string(table) + "ID FROM " + std::string(table) +
                          " WHERE " + std::string(lines.where);
  const std::shared_ptr<Recordset> rows = db.Query(sql, lines.params);
  std::set<std::int32_t> keys;
  for (const std::vector<Variant>& row : rows->Rows()) keys.insert(CLng(row[0]));
  return keys;
}

namespace {

// The refusal of a project whose parties are missing or whose lines `price`
// cannot price; else the totals it gives.
template <class Price>
RunPricing Priced(const Variant& account, IProject& project, Price price) {
  RunPricing out;
  std::shared_ptr<SFAProspect> client = project.Client(account);
  if (!client || !project.Subscriber(account)) {
    out.refused = errnum::kNoObject;
    out.reason = client ? "its subscriber row is missing" : "its client is missing";
    return out;
  }
  try {
    out.totals = price(SalesTaxOf(client->TaxCode(account)));
  } catch (const Error& e) {
    if (e.Number() != errnum::kInvalidUseOfNull && e.Number() != errnum::kOverflow &&
        e.Number() != errnum::kTypeMismatch) {
      throw;
    }
    out.refused = e.Number();
    out.reason = "a line cannot be priced (" + RuntimeMessage(e.Number()) + ")";
  }
  return out;
}

}  // namespace

RunPricing PriceForRun(const Variant& account, IProject& project, const Collection& slips,
                       const Collection& expenses) {
  return Priced(account, project,
                [&](const SalesTax& tax) { return PriceTotals(slips, expenses, tax); });
}

RunPricing PriceForRun(const Variant& account, IProject& project, Connection& db,
                       const LineSelection& slips, const LineSelection& expenses) {
  return Priced(account, project, [&](const SalesTax& tax) {
    return PriceSelected(db, {slips.where, slips.params, kSlipOrder},
                         {expenses.where, expenses.params, {}}, tax);
  });
}

std::vector<std::shared_ptr<IProject>> ActiveProjects(const Variant& account) {
  const auto active =
      IProject::Select(account, "Status=?",
                       {IProject::P(IProject::kStatus, eProjectStatus::psActive)},
                       "Parent ASC, IProjectID ASC");
  std::vector<std::shared_ptr<IProject>> projects;
  for (const Variant& item : active->Items()) {
    projects.push_back(std::static_pointer_cast<IProject>(item.AsObject()));
  }
  return projects;
}

std::vector<std::shared_ptr<IProject>> ListedProjects(const Variant& account, const Variant& list) {
  const std::string text = CStr(list);
  std::vector<std::shared_ptr<IProject>> projects;
  for (std::size_t start = 0; !text.empty() && start <= text.size();) {
    const std::size_t bar = std::min(text.find('|', start), text.size());
    projects.push_back(Found(IProject::Load(account, ProjectKey(text.substr(start, bar - start)))));
    start = bar + 1;
  }
  return projects;
}

bool IsBillable(const IProject& project) { return IsTrue(project.Billable()); }

}  // namespace brivos::invoicing
