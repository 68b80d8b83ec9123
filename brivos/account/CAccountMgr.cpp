#include "brivos/account/CAccountMgr.hpp"

#include <limits>

#include "brivos/database/Database.hpp"
#include "brivos/records/Write.hpp"

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
  const Parameter account_no = S::P(S::kAccountNo, AccountNumberOf(a.Account));
  Connection db = Connection::Open(a.Account);
  UpdateWhere<S>(db,
                 {BRIVOS_ARG_COLUMNS(S, CompanyName, MileageRate, DefaultTerms, DefaultInvoiceNotes,
                                     DefaultInvoiceFormat)},
                 "AccountNo=?", {account_no});
  UpdateWhere<L>(db,
                 {BRIVOS_ARG_COLUMNS(L, Address1, Address2, Address3, City, Province, PostalCode,
                                     Country, Telephone, FAX)},
                 "IsPrimary=? AND Parent=(SELECT ISubScriberID FROM ISubScriber WHERE AccountNo=?)",
                 {L::P(L::kIsPrimary, true), account_no});
}

BRIVOS_METHOD(CAccountMgr, GetPrimaryLocation) {
  return L::Select(a.Account, "IsPrimary=?", {L::P(L::kIsPrimary, true)})
      ->ItemAs<ISubscriberLocation>(1);
}

BRIVOS_METHOD(CAccountMgr, UpdateNextNumbers) {
  UpdateWhere<S>(a.Account,
                 {{S::kNextInvoiceNumber, a.NextInvoice},
                  {S::kNextExpenseReportNumber, a.NextExpenseReport},
                  {S::kNextClientAccountNumber, a.NextClientAccount}},
                 "AccountNo=?", {S::P(S::kAccountNo, AccountNumberOf(a.Account))});
}

BRIVOS_METHOD(CAccountMgr, GetNextInvoiceNumber) {
  return DrawNumber(a.Account, S::kNextInvoiceNumber);
}

BRIVOS_METHOD(CAccountMgr, GetNextExpenseReportNumber) {
  return DrawNumber(a.Account, S::kNextExpenseReportNumber);
}

BRIVOS_METHOD(CAccountMgr, GetNextClientAccountNumber) {
  return DrawNumber(a.Account, S::kNextClientAccountNumber);
}

// The read and the write share one unit of work holding the write lock: a
// concurrent draw waits for it and then reads the value this one stored.
std::int32_t CAccountMgr::DrawNumber(const Variant& Account, ISubScriber::Column counter) {
  UnitOfWork work(Account);
  std::shared_ptr<ISubScriber> subscriber = GetAccountInfo(Account);
  if (!subscriber) RaiseRuntime(errnum::kNoObject);
  std::int32_t number = CLng(subscriber->Field(counter));
  if (number == std::numeric_limits<std::int32_t>::max()) RaiseRuntime(errnum::kOverflow);
  UpdateWhere<S>(work.Db(), {{counter, number + 1}}, "AccountNo=?",
                 {S::P(S::kAccountNo, AccountNumberOf(Account))});
  work.Commit();
  return number;
}

}  // namespace brivos
