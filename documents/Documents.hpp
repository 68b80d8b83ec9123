#pragma once

// The documents the `brivos` program prints from the library's typed
// results: an invoice's breakdown (CInvoiceMgr::GetInvoiceBreakdown) as an
// aligned text table, JSON or one self-contained HTML page, and the preview
// of an invoicing run (CInvoiceMgr::PreviewInvoicing) as text or JSON. The
// JSON names each field as the result's field tables do, so that it matches
// the late-bound result field for field.
//
// A column of amounts prints with two decimals, or with four when one of its
// amounts has a fraction of a cent, so that every printed amount is exact and
// the lines add up to the totals as printed.

#include <string>

#include "brivos/brivos.hpp"
#include "documents/ClientCopy.hpp"
#include "json/VariantJson.hpp"

namespace brivos::documents {

using json::Json;
using json::ToJson;

// The exact breakdown, then the client's copy's payable total (and its
// rounding, when not zero) on lines of their own: "Payable" and "Rounding".
std::string InvoiceText(const InvoiceBreakdown& invoice);
// The client's copy (ClientCopy) as a page with its style inline and no
// external resource, printable on A4 or Letter; well-formed XML, one
// <tr class="line"> per slip and expense with its net in cents, the payable
// total once, in the element with id "total", and when the exact total
// differs, the rounding and the exact total in the elements with ids
// "rounding" and "exact-total".
std::string InvoiceHtml(const InvoiceBreakdown& invoice);
// {"Header": {...}, "Slips": [...], "Expenses": [...], "Totals": {...},
// "ClientCopy": {...}}, values as `brivos call` prints them; ClientCopy as
// ClientCopyJson gives it.
Json InvoiceJson(const InvoiceBreakdown& invoice);

// `scope` says which run the preview is of ("all active projects, cutoff
// 2024-03-05").
std::string PreviewText(const InvoicingPreview& preview, const std::string& scope);
// {"Projects": [...], "Slips": [...], "Expenses": [...]}.
Json PreviewJson(const InvoicingPreview& preview);

}  // namespace brivos::documents
