#include "brivos/clients/CCIMgr.hpp"

#include <string>

#include "brivos/account/CAccountMgr.hpp"
#include "brivos/database/Database.hpp"
#include "brivos/foundation/Ascii.hpp"
#include "brivos/records/IProject.hpp"
#include "brivos/records/ISubScriber.hpp"

namespace brivos {

namespace {

// The subscriber row of the Account path; raises 91 when there is none.
std::shared_ptr<ISubScriber> SubscriberOf(Variant& account) {
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
  Connection& db = work.Db();
  db.Execute(
      "INSERT INTO SFAProspect (Parent,CompanyName,Address1,Address2,City,Province,Country,"
      "PostalCode,Telephone,FAX,Description,AccountNumber,BusinessNumber,TaxCodeID,Inactive,"
      "DefaultTerms) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
      {C::P(C::kSubscriberID, subscriber_id), C::P(C::kCompanyName, a.CompanyName),
       C::P(C::kAddress1, a.Address1), C::P(C::kAddress2, a.Address2), C::P(C::kCity, a.City),
       C::P(C::kProvince, a.Province), C::P(C::kCountry, a.Country),
       C::P(C::kPostalCode, a.PostalCode), C::P(C::kTelephone, a.Telephone), C::P(C::kFAX, a.FAX),
       C::P(C::kDescription, a.Description), C::P(C::kAccountNumber, std::to_string(number)),
       C::P(C::kBusinessNumber, a.BusinessNumber), C::P(C::kTaxCodeID, tax_code),
       C::P(C::kInactive, false), C::P(C::kDefaultTerms, a.DefaultTerms)});
  std::int32_t client_id = db.LastInsertId();
  work.Commit();
  return client_id;
}

BRIVOS_METHOD(CCIMgr, UpdateClient) {
  const Variant tax_code = TaxCodeKey(a.TaxCode);
  Connection::Open(a.Account).Execute(
      "UPDATE SFAProspect SET CompanyName=?,Address1=?,Address2=?,City=?,Province=?,Country=?,"
      "PostalCode=?,Telephone=?,FAX=?,Description=?,BusinessNumber=?,TaxCodeID=?,Inactive=?,"
      "AccountNumber=?,DefaultTerms=? WHERE SFAProspectID=?;",
      {C::P(C::kCompanyName, a.Name), C::P(C::kAddress1, a.Address1),
       C::P(C::kAddress2, a.Address2), C::P(C::kCity, a.City), C::P(C::kProvince, a.Province),
       C::P(C::kCountry, a.Country), C::P(C::kPostalCode, a.PostalCode),
       C::P(C::kTelephone, a.Telephone), C::P(C::kFAX, a.FAX), C::P(C::kDescription, a.Description),
       C::P(C::kBusinessNumber, a.BusinessNumber), C::P(C::kTaxCodeID, tax_code),
       C::P(C::kInactive, a.Inactive), C::P(C::kAccountNumber, a.AccountNumber),
       C::P(C::kDefaultTerms, a.DefaultTerms), C::P(C::kSFAProspectID, a.CustomerID)});
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
  Connection db = Connection::Open(a.Account);
  db.Execute(
      "INSERT INTO CITaxCode (Parent,TaxCode,Description,Tax1Rate,Tax1Name,Tax1Exempt,Tax2Rate,"
      "Tax2Name,Tax2Exempt,Tax2PiggyBack,Inactive) VALUES (?,?,?,?,?,?,?,?,?,?,?);",
      {T::P(T::kSubscriberID, subscriber_id), T::P(T::kTaxCode, a.TaxCode),
       T::P(T::kDescription, a.Description), T::P(T::kTax1Rate, a.Tax1Rate),
       T::P(T::kTax1Name, a.Tax1Name), T::P(T::kTax1Exempt, a.Tax1Exempt),
       T::P(T::kTax2Rate, a.Tax2Rate), T::P(T::kTax2Name, a.Tax2Name),
       T::P(T::kTax2Exempt, a.Tax2Exempt), T::P(T::kTax2PiggyBack, a.Tax2PiggyBack),
       T::P(T::kInactive, a.Inactive)});
  return db.LastInsertId();
}

BRIVOS_METHOD(CCIMgr, UpdateTaxCode) {
  Connection::Open(a.Account).Execute(
      "UPDATE CITaxCode SET TaxCode=?,Description=?,Tax1Rate=?,Tax1Name=?,Tax1Exempt=?,"
      "Tax2Rate=?,Tax2Name=?,Tax2Exempt=?,Tax2PiggyBack=?,Inactive=? WHERE CITaxCodeID=?;",
      {T::P(T::kTaxCode, a.TaxCode), T::P(T::kDescription, a.Description),
       T::P(T::kTax1Rate, a.Tax1Rate), T::P(T::kTax1Name, a.Tax1Name),
       T::P(T::kTax1Exempt, a.Tax1Exempt), T::P(T::kTax2Rate, a.Tax2Rate),
       T::P(T::kTax2Name, a.Tax2Name), T::P(T::kTax2Exempt, a.Tax2Exempt),
       T::P(T::kTax2PiggyBack, a.Tax2PiggyBack), T::P(T::kInactive, a.Inactive),
       T::P(T::kCITaxCodeID, a.TaxCodeID)});
}

BRIVOS_METHOD(CCIMgr, DeleteTaxCode) {
  Connection::Open(a.Account).Execute("DELETE FROM CITaxCode WHERE CITaxCodeID=?;",
                                      {Parameter::Number(a.TaxCodeID)});
}

}  // namespace brivos
