#pragma once

// The client's copy of an invoice as a PDF: the firm and the client, the
// invoice's details, its time and expense lines and its totals in cents
// (ClientCopy), with the rounding line where the exact total differs. A4 or
// Letter as the firm's paper.size setting says. Drawn with Cairo and Pango:
// the fonts are embedded (as subsets) and the text is selectable and
// extractable (each font carries its ToUnicode map).

#include <string>

#include "documents/ClientCopy.hpp"
#include "documents/Parties.hpp"

namespace brivos::documents {

// The PDF file's bytes. Raises -2147467259 when Cairo cannot draw it.
std::string InvoicePdf(const InvoiceBreakdown& invoice, const ClientCopy& copy,
                       const Parties& parties);

}  // namespace brivos::documents
