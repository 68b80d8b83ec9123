// CInvoiceMgr: invoice lists, one invoice, its change and its deletion.

#include "brivos/account/CAccountMgr.hpp"
#include "brivos/database/Database.hpp"
#include "brivos/foundation/Clock.hpp"
#include "brivos/invoicing/CInvoiceMgr.hpp"
#include "brivos/records/IProjectExpense.hpp"
#include "brivos/records/IProjectTransaction.hpp"

namespace brivos {

using I = IProjectInvoice;
using X = IProjectTransaction;

namespace {
constexpr const char* kInvoiceOrder = "InvoiceDate ASC,Parent ASC";
}  // namespace

std::shared_ptr<Collection> CInvoiceMgr::InvoicesIn(int status, Variant& Account,
                                                    const Variant* client_id) {
  const Parameter in_status = Parameter::Long(status);
  if (client_id != nullptr) {
    return I::Select(Account,
                     "Status=? AND Parent IN (SELECT IProjectID FROM IProject WHERE ClientID=?)",
                     {in_status, Parameter::Number(*client_id)}, kInvoiceOrder);
  }
  std::shared_ptr<ISubScriber> subscriber = CAccountMgr{}.GetAccountInfo(Account);
  if (!subscriber) RaiseRuntime(errnum::kNoObject);
  return I::Select(Account,
                   "Status=? AND Parent IN (SELECT IProjectID FROM IProject WHERE Parent=?)",
                   {in_status, Parameter::Number(subscriber->ISubScriberID())}, kInvoiceOrder);
}

// Every trial invoice in the database: the trial list has no subscriber condition.
BRIVOS_METHOD(CInvoiceMgr, GetTrialInvoices) {
  return I::Select(a.Account, "Status=?", {Parameter::Long(0)}, kInvoiceOrder);
}

BRIVOS_METHOD(CInvoiceMgr, GetClientTrialInvoices) { return InvoicesIn(0, a.Account, &a.ClientID); }
BRIVOS_METHOD(CInvoiceMgr, GetApprovedInvoices) { return InvoicesIn(1, a.Account, nullptr); }
BRIVOS_METHOD(CInvoiceMgr, GetClientApprovedInvoices) {
  return InvoicesIn(1, a.Account, &a.ClientID);
}
BRIVOS_METHOD(CInvoiceMgr, GetIssuedInvoices) { return InvoicesIn(2, a.Account, nullptr); }
BRIVOS_METHOD(CInvoiceMgr, GetClientIssuedInvoices) {
  return InvoicesIn(2, a.Account, &a.ClientID);
}

BRIVOS_METHOD(CInvoiceMgr, UpdateInvoice) {
  Connection::Open(a.Account).Execute(
      "UPDATE IProjectInvoice SET InvoiceNumber=?,Status=?,LastModified=?,LastModifiedBy=?,"
      "Terms=?,Notes=?,Format=? WHERE IProjectInvoiceID=?;",
      {I::P(I::kInvoiceNumber, a.InvoiceNumber), I::P(I::kStatus, a.Status),
       I::P(I::kLastModified, Now()), I::P(I::kLastModifiedBy, a.UserName),
       I::P(I::kTerms, a.Terms), I::P(I::kNotes, a.Notes), I::P(I::kFormat, a.Format),
       I::P(I::kIProjectInvoiceID, a.InvoiceID)});
}

BRIVOS_METHOD(CInvoiceMgr, GetInvoiceTransactions) {
  return X::Select(a.Account, "InvoiceID=?", {Parameter::Number(a.InvoiceID)},
                   "TaskID ASC, StaffID ASC, TransDate ASC");
}

BRIVOS_METHOD(CInvoiceMgr, GetInvoiceTransactionsByTask) {
  return X::Select(a.Account, "TaskID=? AND InvoiceID=?",
                   {Parameter::Number(a.TaskID), Parameter::Number(a.InvoiceID)}, "TransDate ASC");
}

BRIVOS_METHOD(CInvoiceMgr, GetInvoiceExpenses) {
  return IProjectExpense::Select(a.Account, "InvoiceID=?", {Parameter::Number(a.InvoiceID)});
}

BRIVOS_METHOD(CInvoiceMgr, DeleteInvoice) {
  const Parameter id = Parameter::Number(a.InvoiceID);
  // One unit of work: the lines are released and the invoice goes, or nothing changes.
  UnitOfWork work(a.Account);
  work.Db().Execute("UPDATE IProjectTransaction SET Status=2, InvoiceID=NULL WHERE InvoiceID=?",
                    {id});
  work.Db().Execute("UPDATE IProjectExpense SET InvoiceID=NULL, Billed=0 WHERE InvoiceID=?", {id});
  work.Db().Execute("DELETE FROM IProjectInvoice WHERE IProjectInvoiceID=?", {id});
  work.Commit();
}

BRIVOS_METHOD(CInvoiceMgr, GetInvoice) { return Found(I::Load(a.Account, a.InvoiceID)); }

}  // namespace brivos
