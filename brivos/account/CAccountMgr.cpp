#include "brivos/account/CAccountMgr.hpp"

#include <limits>

#include "brivos/foundation/Database.hpp"

namespace brivos {

using P = Parameter;

const ClassInfo& CAccountMgr::Info() {
  static const ClassInfo info(
      "CAccountMgr", true, [] { return std::make_shared<CAccountMgr>(); },
      {
          BindMethod("GetAccountInfo", {"Account"}, &CAccountMgr::GetAccountInfo),
          BindMethod("UpdateAccountBusinessInfo",
                     {"Account", "CompanyName", "Address1", "Address2", "Address3", "City",
                      "Province", "PostalCode", "Country", "Telephone", "FAX", "MileageRate",
                      "DefaultTerms", "DefaultInvoiceNotes", "DefaultInvoiceFormat"},
                     &CAccountMgr::UpdateAccountBusinessInfo),
          BindMethod("GetPrimaryLocation", {"Account", "UserName", "Token", "ForAccount"},
                     &CAccountMgr::GetPrimaryLocation),
          BindMethod("UpdateNextNumbers",
                     {"Account", "UserName", "Token", "NextInvoice", "NextExpenseReport",
                      "NextClientAccount"},
                     &CAccountMgr::UpdateNextNumbers),
          BindMethod("GetNextInvoiceNumber", {"Account", "UserName", "Token"},
                     &CAccountMgr::GetNextInvoiceNumber),
          BindMethod("GetNextExpenseReportNumber", {"Account", "UserName", "Token"},
                     &CAccountMgr::GetNextExpenseReportNumber),
          BindMethod("GetNextClientAccountNumber", {"Account", "UserName", "Token"},
                     &CAccountMgr::GetNextClientAccountNumber),
      });
  return info;
}

std::shared_ptr<ISubScriber> CAccountMgr::GetAccountInfo(Variant& Account) {
  return Guard([&]() -> std::shared_ptr<ISubScriber> {
    auto list = ISubScriber::LoadList(Account, Variant(),
                                      "AccountNo=" + SqlQuote(AccountNumberOf(Account)));
    if (list->Count() == 0) return nullptr;
    return list->ItemAs<ISubScriber>(1);
  });
}

void CAccountMgr::UpdateAccountBusinessInfo(Variant& Account, Variant& CompanyName,
                                            Variant& Address1, Variant& Address2, Variant& Address3,
                                            Variant& City, Variant& Province, Variant& PostalCode,
                                            Variant& Country, Variant& Telephone, Variant& FAX,
                                            Variant& MileageRate, Variant& DefaultTerms,
                                            Variant& DefaultInvoiceNotes,
                                            Variant& DefaultInvoiceFormat) {
  Guard([&] {
    std::string account_no = AccountNumberOf(Account);
    Connection db = Connection::Open(Account);
    db.Execute(
        "UPDATE ISubScriber SET CompanyName=?,MileageRate=?,DefaultTerms=?,DefaultInvoiceNotes=?,"
        "DefaultInvoiceFormat=? WHERE AccountNo=?;",
        {P::Text(CompanyName, 255), P::Currency(MileageRate), P::Text(DefaultTerms, 255),
         P::Memo(DefaultInvoiceNotes, 2000), P::Long(DefaultInvoiceFormat),
         P::Text(account_no, 30)});
    db.Execute(
        "UPDATE ISubscriberLocation SET Address1=?,Address2=?,Address3=?,City=?,Province=?,"
        "PostalCode=?,Country=?,Telephone=?,Fax=? WHERE IsPrimary=1 AND Parent=(SELECT "
        "ISubScriberID FROM ISubScriber WHERE AccountNo=?);",
        {P::Text(Address1, 255), P::Text(Address2, 255), P::Text(Address3, 255), P::Text(City, 50),
         P::Text(Province, 50), P::Text(PostalCode, 10), P::Text(Country, 30),
         P::Text(Telephone, 28), P::Text(FAX, 28), P::Text(account_no, 30)});
  });
}

std::shared_ptr<ISubscriberLocation> CAccountMgr::GetPrimaryLocation(Variant& Account,
                                                                     Variant& /*UserName*/,
                                                                     Variant& /*Token*/,
                                                                     Variant& /*ForAccount*/) {
  return Guard([&] {
    auto list = ISubscriberLocation::LoadList(Account, Variant(), "IsPrimary=1");
    return list->ItemAs<ISubscriberLocation>(1);
  });
}

void CAccountMgr::UpdateNextNumbers(Variant& Account, Variant& /*UserName*/, Variant& /*Token*/,
                                    Variant& NextInvoice, Variant& NextExpenseReport,
                                    Variant& NextClientAccount) {
  Guard([&] {
    Connection::Open(Account).Execute(
        "UPDATE ISubScriber SET NextInvoiceNumber=?,NextExpenseReportNumber=?,"
        "NextClientAccountNumber=? WHERE AccountNo=?;",
        {P::Long(NextInvoice), P::Long(NextExpenseReport), P::Long(NextClientAccount),
         P::Text(AccountNumberOf(Account), 30)});
  });
}

std::int32_t CAccountMgr::GetNextInvoiceNumber(Variant& Account, Variant& /*UserName*/,
                                               Variant& /*Token*/) {
  return Guard([&] {
    return DrawNumber(Account, ISubScriber::kNextInvoiceNumber,
                      "UPDATE ISubScriber SET NextInvoiceNumber=? WHERE AccountNo=?;");
  });
}

std::int32_t CAccountMgr::GetNextExpenseReportNumber(Variant& Account, Variant& /*UserName*/,
                                                     Variant& /*Token*/) {
  return Guard([&] {
    return DrawNumber(Account, ISubScriber::kNextExpenseReportNumber,
                      "UPDATE ISubScriber SET NextExpenseReportNumber=? WHERE AccountNo=?;");
  });
}

std::int32_t CAccountMgr::GetNextClientAccountNumber(Variant& Account, Variant& /*UserName*/,
                                                     Variant& /*Token*/) {
  return Guard([&] {
    return DrawNumber(Account, ISubScriber::kNextClientAccountNumber,
                      "UPDATE ISubScriber SET NextClientAccountNumber=? WHERE AccountNo=?;");
  });
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
  const Variant next(number + 1);
  work.Db().Execute(update, {P::Long(next), P::Text(AccountNumberOf(Account), 30)});
  work.Commit();
  return number;
}

}  // namespace brivos
