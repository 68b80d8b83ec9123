#include "brivos/clients/CCIMgr.hpp"

#include <string>

#include "brivos/account/CAccountMgr.hpp"
#include "brivos/database/Database.hpp"
#include "brivos/foundation/Ascii.hpp"
#include "brivos/records/IProject.hpp"
#include "brivos/records/ISubScriber.hpp"
#include "brivos/records/Write.hpp"

namespace brivos {

namespace {

// The subscriber row of the Account path; raises 91 when there is none.
std::shared_ptr<ISubScriber> SubscriberOf(const Variant& account) {
  std::shared_ptr<ISubScriber> subscriber = CAccountMgr{}.GetAccountInfo(account);
  if (!subscriber) RaiseRuntime(errnum::kNoObject);
  return subscriber;
}

// A client's tax code key: Empty, Null and "" mean none and store Null;
// anything else must be a 32-bit integer (13 for a non-number, 6 beyond it).
Variant TaxCodeKey(const Variant& tax_code) {
  if (tax_code.IsNull() || CStr(tax_code).empty()) return Variant::Null();
  return Variant(CLng(tax_code));
}

// The records of `list` in a new collection, in the same order and under the
// same keys.
std::shared_ptr<Collection> CopyOf(const Collection& list) {
  auto copy = std::make_shared<Collection>();
  copy->Reserve(list.Items().size());
  for (const Variant& item : list.Items()) {
    auto client = std::static_pointer_cast<SFAProspect>(item.AsObject());
    copy->Add(item, CStr(client->SFAProspectID()));
  }
  return copy;
}

}  // namespace

BRIVOS_REGISTER_CLASS(kManager, CCIMgr);

using C = SFAProspect;
using T = CITaxCode;

BRIVOS_METHOD(CCIMgr, AddClient) {
  const Variant tax_code = TaxCodeKey(a.TaxCode);
  // The draw joins this unit, so a failed insert hands the number back and
  // concurrent adds take consecutive numbers in turn.
  UnitOfWork work(a.Account);
  const Variant subscriber_id = SubscriberOf(a.Account)->ISubScriberID();
  std::int32_t number = CAccountMgr{}.GetNextClientAccountNumber(a.Account, a.UserName, a.Token);
  const std::int32_t client_id =
      Insert<C>(work.Db(), {{C::kSubscriberID, subscriber_id},
                            BRIVOS_ARG_COLUMNS(C, CompanyName, Address1, Address2, City, Province,
                                               Country, PostalCode, Telephone, FAX, Description),
                            {C::kAccountNumber, std::to_string(number)},
                            {C::kBusinessNumber, a.BusinessNumber},
                            {C::kTaxCodeID, tax_code},
                            {C::kInactive, false},
                            {C::kDefaultTerms, a.DefaultTerms}});
  work.Commit();
  return client_id;
}

BRIVOS_METHOD(CCIMgr, UpdateClient) {
  const Variant tax_code = TaxCodeKey(a.TaxCode);
  Update<C>(a.Account, a.CustomerID,
            {{C::kCompanyName, a.Name},
             BRIVOS_ARG_COLUMNS(C, Address1, Address2, City, Province, Country, PostalCode,
                                Telephone, FAX, Description, BusinessNumber),
             {C::kTaxCodeID, tax_code},
             BRIVOS_ARG_COLUMNS(C, Inactive, AccountNumber, DefaultTerms)});
}

BRIVOS_METHOD(CCIMgr, DeleteCustomer) {
  Connection::Open(a.Account).Execute("DELETE FROM SFAProspect WHERE SFAProspectID=?",
                                      {Parameter::Number(a.CustomerID)});
}

BRIVOS_METHOD(CCIMgr, GetCustomer) {
  // A lookup by key fails when nothing is found, as taking item 1 of none does.
  return Found(C::Load(a.Account, a.CustomerID));
}

BRIVOS_METHOD(CCIMgr, GetAllCustomers) { return SubscriberOf(a.Account)->Prospects(a.Account); }

BRIVOS_METHOD(CCIMgr, GetAllCustomersForUser) {
  return CopyOf(*GetAllCustomers(a.Account, a.UserName, a.Token));
}

BRIVOS_METHOD(CCIMgr, GetClientList) {
  const std::string letter = a.StartLetter.IsNull() ? std::string() : CStr(a.StartLetter);
  if (letter.empty()) return C::Select(a.Account, "", {}, "CompanyName ASC");
  std::string upper = letter;
  for (char& c : upper) c = AsciiUpper(c);
  return C::Select(a.Account, "UCASE(LEFT(CompanyName,1))=?", {Parameter::Text(upper)},
                   "CompanyName ASC");
}

BRIVOS_METHOD(CCIMgr, GetClientProjects) {
  return IProject::Select(a.Account, "ClientID=?", {Parameter::Number(a.ClientID)});
}

BRIVOS_METHOD(CCIMgr, GetAllTaxCodes) { return SubscriberOf(a.Account)->TaxCodes(a.Account); }

BRIVOS_METHOD(CCIMgr, GetTaxCode) { return Found(T::Load(a.Account, a.TaxCodeID)); }

BRIVOS_METHOD(CCIMgr, AddTaxCode) {
  const Variant subscriber_id = SubscriberOf(a.Account)->ISubScriberID();
  return Insert<T>(a.Account,
                   {{T::kSubscriberID, subscriber_id},
                    BRIVOS_ARG_COLUMNS(T, TaxCode, Description, Tax1Rate, Tax1Name, Tax1Exempt,
                                       Tax2Rate, Tax2Name, Tax2Exempt, Tax2PiggyBack, Inactive)});
}

BRIVOS_METHOD(CCIMgr, UpdateTaxCode) {
  Update<T>(a.Account, a.TaxCodeID,
            {BRIVOS_ARG_COLUMNS(T, TaxCode, Description, Tax1Rate, Tax1Name, Tax1Exempt, Tax2Rate,
                                Tax2Name, Tax2Exempt, Tax2PiggyBack, Inactive)});
}

BRIVOS_METHOD(CCIMgr, DeleteTaxCode) {
  Connection::Open(a.Account).Execute("DELETE FROM CITaxCode WHERE CITaxCodeID=?;",
                                      {Parameter::Number(a.TaxCodeID)});
}

}  // namespace brivos
