#pragma once

#include <cstdint>
#include <vector>

#include "brivos/foundation/Currency.hpp"
#include "brivos/foundation/Variant.hpp"

namespace brivos {

// An invoice priced line by line, as CInvoiceMgr.GetInvoiceBreakdown returns
// it and GetInvoiceTotal totals it. Every amount is exact currency and the
// totals are the sums of the lines, so that
//   total = time + tax1 + tax2 + expenses + markup
// holds to the ten-thousandth, and GetInvoiceTotal is `total`.
//
// A slip's amount is what its time adds to the invoice's running total: the
// running total plus rate x hours, rounded to currency, less the running
// total. That is rate x hours rounded to currency, except that a value
// exactly halfway between two ten-thousandths may round the other way.
//
// Late-bound, the breakdown is a Collection of four Recordsets, reachable by
// position or by key, whose fields are named as below:
//   1 "Header"   one row: InvoiceID, InvoiceNumber, InvoiceDate, Status,
//                StatusText, CreateDate, CreatedBy, LastModified,
//                LastModifiedBy, Company, ProjectID, Project, ClientID,
//                Client, Terms, Notes, TaxCode, Tax1Name, Tax1Rate, Tax2Name,
//                Tax2Rate, Tax2PiggyBack
//   2 "Slips"    one row per time slip, by task, staff row and day: SlipID,
//                Day, TaskID, Task, StaffID, Staff, Description, OverTime,
//                Minutes, Hours, Rate, Amount, Tax1, Tax2
//   3 "Expenses" one row per expense, in the database's order: ExpenseID,
//                Date, Description, Amount, ExchangeRate, Converted,
//                MarkupPercent, Markup
//   4 "Totals"   one row: Minutes, Hours, Time, Tax1, Tax2, Expenses, Markup,
//                Total
// Amounts are Currency, Hours, ExchangeRate and the tax rates Double,
// Minutes Long (Double beyond 32 bits), OverTime Boolean; the other fields
// are the records' values as stored, Null where the record has none.
struct InvoiceBreakdown {
  struct Header {
    Variant invoice_id, invoice_number, invoice_date, status, status_text, create_date, created_by,
        last_modified, last_modified_by;
    // The project's subscriber's company name.
    Variant company;
    Variant project_id, project, client_id, client, terms, notes;
    // The client's tax code, and the name and rate of each tax charged on
    // time; Null for a tax that is not charged.
    Variant tax_code, tax1_name, tax1_rate, tax2_name, tax2_rate, tax2_piggy_back;
  };

  struct Slip {
    Variant slip_id, day, task_id, task, staff_id;
    // The staff member's first and last name, or the user name without them.
    Variant staff;
    Variant description;
    bool overtime = false;
    // Minute boundaries from start to stop; negative when the stop is earlier.
    std::int64_t minutes = 0;
    double hours = 0;
    // The overtime rate for an overtime slip, else the staff rate.
    Currency rate;
    Currency amount, tax1, tax2;
  };

  struct Expense {
    Variant expense_id, date, description;
    Currency amount;
    double exchange_rate = 0;
    // amount x exchange rate, rounded to currency.
    Currency converted;
    // The markup percentage, and converted x percentage / 100 rounded.
    Currency markup_percent, markup;
  };

  struct Totals {
    std::int64_t minutes = 0;
    double hours = 0;
    Currency time, tax1, tax2, expenses, markup, total;
  };

  Header header;
  std::vector<Slip> slips;
  std::vector<Expense> expenses;
  Totals totals;

  // The late-bound form described above; a late-bound call returns this.
  operator Variant() const;  // NOLINT(google-explicit-constructor)
};

}  // namespace brivos
