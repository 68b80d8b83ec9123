#pragma once

#include <memory>
#include <string>

#include "brivos/automation/Manager.hpp"
#include "brivos/automation/Recordset.hpp"

namespace brivos {

// clang-format off
#define BRIVOS_CSETTINGSMGR_METHODS(M) \
  /* Every setting of the firm in name order, as a Recordset of Name and    */ \
  /* Value: the value set, or the default of one never set ("" when it has  */ \
  /* none). The defaults: seller.country from the primary location's        */ \
  /* Country text where it names a country, currency that country's        */ \
  /* currency, paper.size A4.                                               */ \
  M(ADMIN, std::shared_ptr<Recordset>, GetSettings, Account, UserName, Token) \
  /* The value of one setting as GetSettings gives it. Raises 5 for a name  */ \
  /* that is not a setting.                                                 */ \
  M(ADMIN, std::string, GetSetting, Account, UserName, Token, Name) \
  /* Sets one setting, written in its normal form (codes in upper case, an  */ \
  /* IBAN without blanks); an empty Value returns it to its default. Raises */ \
  /* 5, writing nothing, for a name that is not a setting or a value the    */ \
  /* setting refuses: a country or currency code not in ISO 3166 or ISO     */ \
  /* 4217, an IBAN whose check digits fail, a malformed BIC or VAT number,  */ \
  /* a paper size other than A4 and Letter, a control character, or more    */ \
  /* than 255 characters.                                                   */ \
  M(ADMIN, void, SetSetting, Account, UserName, Token, Name, Value)
// clang-format on

// The firm's own settings for the documents it sends: what an e-invoice
// needs that its records lack (tax registration, country and currency codes,
// the account to pay into) and the paper its copies print on. Kept in a
// table of their own, beside the records' tables.
class CSettingsMgr final : public Dispatch<CSettingsMgr> {
  BRIVOS_MANAGER(CSettingsMgr, BRIVOS_CSETTINGSMGR_METHODS)
};

// The names of the settings, in name order.
inline constexpr const char* kSettingNames[] = {"currency",       "paper.size",
                                                "payment.bic",    "payment.iban",
                                                "seller.country", "seller.registration_id",
                                                "seller.vat_id"};

// The value as SetSetting would store it for the setting `name`; raises 5
// as SetSetting does. A front end setting several settings checks them all
// first, so that a refused one leaves every setting as it was.
std::string NormalSetting(const std::string& name, const std::string& value);

}  // namespace brivos
