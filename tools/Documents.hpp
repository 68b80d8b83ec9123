#pragma once

// The documents the `brivos` program prints from the library's late-bound
// results: an invoice's breakdown (CInvoiceMgr.GetInvoiceBreakdown) as an
// aligned text table, JSON or one self-contained HTML page, and the preview
// of an invoicing run (CInvoiceMgr.PreviewInvoicing) as text or JSON.
//
// A column of amounts prints with two decimals, or with four when one of its
// amounts has a fraction of a cent, so that every printed amount is exact and
// the lines add up to the totals as printed.

#include <string>

#include "brivos/brivos.hpp"
#include "tools/VariantJson.hpp"

namespace brivos::cli {

// `breakdown` is the Collection of sections GetInvoiceBreakdown returns.
std::string InvoiceText(const Collection& breakdown);
// A page with its style inline and no external resource, printable on A4 or
// Letter; well-formed XML, one <tr class="line"> per slip and expense, and
// the total once, in the element with id "total".
std::string InvoiceHtml(const Collection& breakdown);
// {"Header": {...}, "Slips": [...], "Expenses": [...], "Totals": {...}},
// values as `brivos call` prints them.
Json InvoiceJson(const Collection& breakdown);

// `preview` is the Collection of sections PreviewInvoicing returns; `scope`
// says which run it previews ("all active projects, cutoff 2024-03-05").
std::string PreviewText(const Collection& preview, const std::string& scope);
// {"Projects": [...], "Slips": [...], "Expenses": [...]}.
Json PreviewJson(const Collection& preview);

}  // namespace brivos::cli
