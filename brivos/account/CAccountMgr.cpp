#include "brivos/account/CAccountMgr.hpp"

#include <limits>

#include "brivos/database/Database.hpp"

namespace brivos {

BRIVOS_REGISTER_CLASS(kManager, CAccountMgr);

using S = ISubScriber;
using L = ISubscriberLocation;

BRIVOS_METHOD(CAccountMgr, GetAccountInfo) {
  auto list =
      S::Select(a.Account, "AccountNo=?", {S::P(S::kAccountNo, AccountNumberOf(a.Account))});
  if (list->Count() == 0) return nullptr;
  return list->ItemAs<ISubScriber>(1);
}

BRIVOS_METHOD(CAccountMgr, UpdateAccountBusinessInfo) {
  const Variant account_no(AccountNumberOf(a.Account));
  Connection db = Connection::Open(a.Account);
  db.Execute(
      "UPDATE ISubScriber SET CompanyName=?,MileageRate=?,DefaultTerms=?,DefaultInvoiceNotes=?,"
      "DefaultInvoiceFormat=? WHERE AccountNo=?;",
      {S::P(S::kCompanyName, a.CompanyName), S::P(S::kMileageRate, a.MileageRate),
       S::P(S::kDefaultTerms, a.DefaultTerms), S::P(S::kDefaultInvoiceNotes, a.DefaultInvoiceNotes),
       S::P(S::kDefaultInvoiceFormat, a.DefaultInvoiceFormat), S::P(S::kAccountNo, account_no)});
  db.Execute(
      "UPDATE ISubscriberLocation SET Address1=?,Address2=?,Address3=?,City=?,Province=?,"
      "PostalCode=?,Country=?,Telephone=?,Fax=? WHERE IsPrimary=1 AND Parent=(SELECT "
      "ISubScriberID FROM ISubScriber WHERE AccountNo=?);",
      {L::P(L::kAddress1, a.Address1), L::P(L::kAddress2, a.Address2),
       L::P(L::kAddress3, a.Address3), L::P(L::kCity, a.City), L::P(L::kProvince, a.Province),
       L::P(L::kPostalCode, a.PostalCode), L::P(L::kCountry, a.Country),
       L::P(L::kTelephone, a.Telephone), L::P(L::kFAX, a.FAX), S::P(S::kAccountNo, account_no)});
}

BRIVOS_METHOD(CAccountMgr, GetPrimaryLocation) {
  auto list = L::LoadList(a.Account, Variant(), "IsPrimary=1");
  return list->ItemAs<ISubscriberLocation>(1);
}

BRIVOS_METHOD(CAccountMgr, UpdateNextNumbers) {
  Connection::Open(a.Account).Execute(
      "UPDATE ISubScriber SET NextInvoiceNumber=?,NextExpenseReportNumber=?,"
      "NextClientAccountNumber=? WHERE AccountNo=?;",
      {S::P(S::kNextInvoiceNumber, a.NextInvoice),
       S::P(S::kNextExpenseReportNumber, a.NextExpenseReport),
       S::P(S::kNextClientAccountNumber, a.NextClientAccount),
       S::P(S::kAccountNo, AccountNumberOf(a.Account))});
}

BRIVOS_METHOD(CAccountMgr, GetNextInvoiceNumber) {
  return DrawNumber(a.Account, S::kNextInvoiceNumber,
                    "UPDATE ISubScriber SET NextInvoiceNumber=? WHERE AccountNo=?;");
}

BRIVOS_METHOD(CAccountMgr, GetNextExpenseReportNumber) {
  return DrawNumber(a.Account, S::kNextExpenseReportNumber,
                    "UPDATE ISubScriber SET NextExpenseReportNumber=? WHERE AccountNo=?;");
}

BRIVOS_METHOD(CAccountMgr, GetNextClientAccountNumber) {
  return DrawNumber(a.Account, S::kNextClientAccountNumber,
                    "UPDATE ISubScriber SET NextClientAccountNumber=? WHERE AccountNo=?;");
}

// The read and the write share one BEGIN IMMEDIATE transaction: a concurrent
// draw waits for the write lock and then reads the value this one stored.
std::int32_t CAccountMgr::DrawNumber(Variant& Account, ISubScriber::Column counter,
                                     const char* update) {
  UnitOfWork work(Account);
  std::shared_ptr<ISubScriber> subscriber = GetAccountInfo(Account);
  if (!subscriber) RaiseRuntime(errnum::kNoObject);
  std::int32_t number = CLng(subscriber->Field(counter));
  if (number == std::numeric_limits<std::int32_t>::max()) RaiseRuntime(errnum::kOverflow);
  work.Db().Execute(update,
                    {S::P(counter, number + 1), S::P(S::kAccountNo, AccountNumberOf(Account))});
  work.Commit();
  return number;
}

}  // namespace brivos
