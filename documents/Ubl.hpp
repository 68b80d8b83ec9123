#pragma once

// The client's copy of an invoice as a UBL 2.1 Invoice, following EN 16931
// (the European standard for electronic invoices, the form Peppol carries).
//
// Seller and buyer come from `parties`; a line per slip (quantity in hours,
// unit HUR, price the rate) and per expense (quantity 1, unit C62); amounts
// are the client's copy (ClientCopy), so that the lines, the tax breakdown
// and the totals add up to the cent as EN 16931 asks.
//
// Taxes: a tax code with one tax is VAT category S at its rate on the time
// lines; expenses, and the time of an invoice without tax, are category E
// (exempt: re-billed at cost, or no tax charged). A tax code with two taxes
// gives each time line both taxes and a subtotal per tax, the second on the
// time and the first tax when it is compound: valid UBL 2.1, but outside
// EN 16931, which knows one VAT per line.

#include <string>

#include "documents/ClientCopy.hpp"
#include "documents/Parties.hpp"

namespace brivos::documents {

// Raises 5 for an invoice without lines (a UBL invoice has at least one) or
// a firm without a currency code.
std::string InvoiceUbl(const InvoiceBreakdown& invoice, const ClientCopy& copy,
                       const Parties& parties);

}  // namespace brivos::documents
