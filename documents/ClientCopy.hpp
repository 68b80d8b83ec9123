#pragma once

// The client's copy of an invoice: the figures a client reads and pays, in
// cents, beside the exact breakdown (four places) the library prices. One
// rounding policy for every copy that leaves the firm (the HTML page, the
// PDF, the UBL e-invoice, the program's and the service's JSON):
//   - each line's net amount is rounded to cents;
//   - each tax is the breakdown's total of that tax (a slip's tax taken on
//     its unrounded time, as GetInvoiceTotal takes it), rounded to cents
//     once for the invoice;
//   - the payable total is the sum of the printed lines and taxes;
//   - `rounding` is the payable total less the exact total, so that
//       exact_total + rounding == payable
//     reconciles the copy with GetInvoiceTotal; a copy prints it whenever
//     it is not zero.
// Cents round halves away from zero, as a client rounds by hand.

#include <string>
#include <vector>

#include "brivos/brivos.hpp"
#include "json/VariantJson.hpp"

namespace brivos::documents {

// `amount` to the nearest cent, halves away from zero.
Currency ToCents(Currency amount);
// "1275.64": two decimals (for an amount in cents).
std::string CentsText(Currency amount);

struct ClientCopy {
  struct Line {
    bool time = true;  // a slip; false for an expense
    std::string date;  // "2024-03-05"
    // A slip's task and staff member, with "(overtime)" and its
    // description; an expense's description.
    std::string description;
    // Hours (unit HUR) for a slip, 1 (unit C62, "one") for an expense.
    double quantity = 1;
    const char* unit = "HUR";
    // The rate of a slip; an expense's net.
    Currency price;
    // In cents.
    Currency net;
    // The exact amount the net rounds (time, or converted plus markup).
    Currency exact;
  };
  struct Tax {
    std::string name;  // "GST", or "Tax 1" for a tax without a name
    double rate = 0;   // percent
    // Charged on the time and the first tax (a piggy-backed second tax).
    bool compound = false;
    // What it is charged on, in cents: the time lines' nets, plus the first
    // tax's amount when compound.
    Currency taxable;
    Currency exact;   // the breakdown's total of this tax
    Currency amount;  // `exact` in cents
  };

  std::vector<Line> lines;  // the slips in the breakdown's order, then the expenses
  std::vector<Tax> taxes;   // the tax code's taxes in order
  Currency time, expenses;  // sums of the nets of the time and expense lines
  Currency net;             // time + expenses
  Currency tax;             // sum of the taxes' amounts
  Currency payable;         // net + tax
  Currency exact_total;     // the breakdown's total: GetInvoiceTotal
  Currency rounding;        // payable - exact_total
};

ClientCopy MakeClientCopy(const InvoiceBreakdown& invoice);

// {"Lines": [...], "Taxes": [...], "Time", "Expenses", "Net", "Tax",
// "Payable", "ExactTotal", "Rounding"}, amounts as every JSON amount.
json::Json ClientCopyJson(const ClientCopy& copy);

}  // namespace brivos::documents
