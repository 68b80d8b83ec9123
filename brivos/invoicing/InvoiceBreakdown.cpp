#include "brivos/invoicing/InvoiceBreakdown.hpp"

#include <memory>

#include "brivos/automation/Collection.hpp"
#include "brivos/invoicing/internal/InvoicePricing.hpp"

namespace brivos {

using invoicing::CountValue;
using invoicing::RowsOf;

InvoiceBreakdown::operator Variant() const {
  const Header& h = header;
  auto sections = std::make_shared<Collection>();
  sections->Add(
      RowsOf({"InvoiceID",  "InvoiceNumber", "InvoiceDate",  "Status",         "StatusText",
              "CreateDate", "CreatedBy",     "LastModified", "LastModifiedBy", "Company",
              "ProjectID",  "Project",       "ClientID",     "Client",         "Terms",
              "Notes",      "TaxCode",       "Tax1Name",     "Tax1Rate",       "Tax2Name",
              "Tax2Rate",   "Tax2PiggyBack"},
             {{h.invoice_id,  h.invoice_number, h.invoice_date,  h.status,           h.status_text,
               h.create_date, h.created_by,     h.last_modified, h.last_modified_by, h.company,
               h.project_id,  h.project,        h.client_id,     h.client,           h.terms,
               h.notes,       h.tax_code,       h.tax1_name,     h.tax1_rate,        h.tax2_name,
               h.tax2_rate,   h.tax2_piggy_back}}),
      "Header");
  std::vector<std::vector<Variant>> rows;
  for (const Slip& s : slips) {
    rows.push_back({s.slip_id, s.day, s.task_id, s.task, s.staff_id, s.staff, s.description,
                    s.overtime, CountValue(s.minutes), s.hours, s.rate, s.amount, s.tax1, s.tax2});
  }
  sections->Add(RowsOf({"SlipID", "Day", "TaskID", "Task", "StaffID", "Staff", "Description",
                        "OverTime", "Minutes", "Hours", "Rate", "Amount", "Tax1", "Tax2"},
                       std::move(rows)),
                "Slips");
  rows.clear();
  for (const Expense& e : expenses) {
    rows.push_back({e.expense_id, e.date, e.description, e.amount, e.exchange_rate, e.converted,
                    e.markup_percent, e.markup});
  }
  sections->Add(RowsOf({"ExpenseID", "Date", "Description", "Amount", "ExchangeRate", "Converted",
                        "MarkupPercent", "Markup"},
                       std::move(rows)),
                "Expenses");
  const Totals& t = totals;
  sections->Add(RowsOf({"Minutes", "Hours", "Time", "Tax1", "Tax2", "Expenses", "Markup", "Total"},
                       {{CountValue(t.minutes), t.hours, t.time, t.tax1, t.tax2, t.expenses,
                         t.markup, t.total}}),
                "Totals");
  return Variant(std::static_pointer_cast<Object>(sections));
}

}  // namespace brivos
