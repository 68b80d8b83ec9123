#include "brivos/invoicing/InvoicingPreview.hpp"

#include <memory>

#include "brivos/automation/Collection.hpp"
#include "brivos/invoicing/internal/InvoicePricing.hpp"

namespace brivos {

using invoicing::RowsOf;

InvoicingPreview::operator Variant() const {
  auto sections = std::make_shared<Collection>();
  std::vector<std::vector<Variant>> rows;
  for (const Project& p : projects) {
    rows.push_back(
        {p.project_id, p.name, p.client, p.invoiced, p.slips, p.expenses, p.total, p.reason});
  }
  sections->Add(
      RowsOf({"ProjectID", "Project", "Client", "Invoiced", "Slips", "Expenses", "Total", "Reason"},
             std::move(rows)),
      "Projects");
  rows.clear();
  for (const Slip& s : slips) {
    rows.push_back({s.project_id, s.slip_id, s.day, s.task, s.staff, s.minutes, s.status,
                    s.included, s.reason});
  }
  sections->Add(RowsOf({"ProjectID", "SlipID", "Day", "Task", "Staff", "Minutes", "Status",
                        "Included", "Reason"},
                       std::move(rows)),
                "Slips");
  rows.clear();
  for (const Expense& e : expenses) {
    rows.push_back(
        {e.project_id, e.expense_id, e.date, e.description, e.amount, e.included, e.reason});
  }
  sections->Add(
      RowsOf({"ProjectID", "ExpenseID", "Date", "Description", "Amount", "Included", "Reason"},
             std::move(rows)),
      "Expenses");
  return Variant(std::static_pointer_cast<Object>(sections));
}

}  // namespace brivos
