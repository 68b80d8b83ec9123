#pragma once

// Who sends an invoice and who receives it, as a document that leaves the
// firm names them: the firm from its profile and its settings
// (CSettingsMgr), the client from its record.

#include <string>

#include "brivos/brivos.hpp"

namespace brivos::documents {

struct Party {
  std::string name;
  std::string address1, address2, city, province, postal_code;
  std::string country;       // the Country text as kept
  std::string country_code;  // ISO 3166 alpha-2, "" when unknown
  // The seller's VAT number and registration; the buyer's BusinessNumber
  // is its `identifier`.
  std::string vat_id, registration_id, identifier;
};

struct Parties {
  Party seller, buyer;
  std::string currency;      // ISO 4217; "" when the firm has none
  std::string iban, bic;     // the account to pay into; "" when not set
  std::string paper = "A4";  // "A4" or "Letter"
};

// The parties of `invoice` in the database `account` names, read with the
// caller's `user` and `token`. A buyer whose Country text names no country
// takes the seller's country code; an invoice without a client has a buyer
// of the header's Client name only.
Parties ReadParties(const Variant& account, const Variant& user, const Variant& token,
                    const InvoiceBreakdown& invoice);

}  // namespace brivos::documents
