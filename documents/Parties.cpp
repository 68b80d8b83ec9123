#include "documents/Parties.hpp"

#include <map>

namespace brivos::documents {
namespace {

std::string Text(const Variant& v) { return v.IsEmpty() || v.IsNull() ? std::string() : CStr(v); }

template <class Record>
void ReadAddress(const Record& r, Party& p) {
  p.address1 = Text(r.Address1());
  p.address2 = Text(r.Address2());
  p.city = Text(r.City());
  p.province = Text(r.Province());
  p.postal_code = Text(r.PostalCode());
  p.country = Text(r.Country());
  p.country_code = CountryCodeOf(p.country);
}

}  // namespace

Parties ReadParties(const Variant& account, const Variant& user, const Variant& token,
                    const InvoiceBreakdown& invoice) {
  Parties out;
  std::map<std::string, std::string> settings;
  auto rows = CSettingsMgr{}.GetSettings(account, user, token);
  for (const auto& row : rows->Rows()) settings[CStr(row[0])] = CStr(row[1]);

  Party& seller = out.seller;
  seller.name = Text(invoice.header.company);
  try {
    ReadAddress(*CAccountMgr{}.GetPrimaryLocation(account, user, token, account), seller);
  } catch (const Error& e) {
    if (e.Number() != errnum::kSubscriptOutOfRange) throw;  // a firm without a location
  }
  seller.country_code = settings["seller.country"];
  seller.vat_id = settings["seller.vat_id"];
  seller.registration_id = settings["seller.registration_id"];
  out.currency = settings["currency"];
  out.iban = settings["payment.iban"];
  out.bic = settings["payment.bic"];
  out.paper = settings["paper.size"];

  Party& buyer = out.buyer;
  buyer.name = Text(invoice.header.client);
  const Variant& client = invoice.header.client_id;
  if (!client.IsEmpty() && !client.IsNull()) {
    const auto record = CCIMgr{}.GetCustomer(account, user, token, client);
    buyer.name = Text(record->CompanyName());
    ReadAddress(*record, buyer);
    buyer.identifier = Text(record->BusinessNumber());
  }
  if (buyer.country_code.empty()) buyer.country_code = seller.country_code;
  return out;
}

}  // namespace brivos::documents
