// CInvoiceMgr: invoice lists, one invoice, its change and its deletion.

#include "brivos/account/CAccountMgr.hpp"
#include "brivos/database/Database.hpp"
#include "brivos/foundation/Clock.hpp"
#include "brivos/invoicing/CInvoiceMgr.hpp"
#include "brivos/invoicing/internal/InvoicePricing.hpp"
#include "brivos/records/EnumeratedTypes.hpp"
#include "brivos/records/IProjectExpense.hpp"
#include "brivos/records/IProjectTransaction.hpp"
#include "brivos/records/Write.hpp"

namespace brivos {

using I = IProjectInvoice;
using X = IProjectTransaction;

namespace {
constexpr const char* kInvoiceOrder = "InvoiceDate ASC,Parent ASC";
}  // namespace

std::shared_ptr<Collection> CInvoiceMgr::InvoicesIn(std::int32_t status, const Variant& Account,
                                                    const Variant* client_id) {
  const Parameter in_status = I::P(I::kStatus, status);
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

using S = eInvoiceStatus;

// Every trial invoice in the database: the trial list has no subscriber condition.
BRIVOS_METHOD(CInvoiceMgr, GetTrialInvoices) {
  return I::Select(a.Account, "Status=?", {I::P(I::kStatus, S::isTrial)}, kInvoiceOrder);
}

BRIVOS_METHOD(CInvoiceMgr, GetClientTrialInvoices) {
  return InvoicesIn(S::isTrial, a.Account, &a.ClientID);
}
BRIVOS_METHOD(CInvoiceMgr, GetApprovedInvoices) {
  return InvoicesIn(S::isApproved, a.Account, nullptr);
}
BRIVOS_METHOD(CInvoiceMgr, GetClientApprovedInvoices) {
  return InvoicesIn(S::isApproved, a.Account, &a.ClientID);
}
BRIVOS_METHOD(CInvoiceMgr, GetIssuedInvoices) {
  return InvoicesIn(S::isIssued, a.Account, nullptr);
}
BRIVOS_METHOD(CInvoiceMgr, GetClientIssuedInvoices) {
  return InvoicesIn(S::isIssued, a.Account, &a.ClientID);
}

BRIVOS_METHOD(CInvoiceMgr, UpdateInvoice) {
  Update<I>(a.Account, a.InvoiceID,
            {{I::kLastModified, Now()},
             {I::kLastModifiedBy, a.UserName},
             BRIVOS_ARG_COLUMNS(I, InvoiceNumber, Status, Terms, Notes, Format)});
}

BRIVOS_METHOD(CInvoiceMgr, GetInvoiceTransactions) {
  return X::Select(a.Account, "InvoiceID=?", {Parameter::Number(a.InvoiceID)},
                   invoicing::kInvoiceSlipOrder);
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
  UpdateWhere<X>(work.Db(),
                 {{X::kStatus, eTransStatus::tsApproved}, {X::kInvoiceID, Variant::Null()}},
                 "InvoiceID=?", {id});
  UpdateWhere<IProjectExpense>(
      work.Db(),
      {{IProjectExpense::kInvoiceID, Variant::Null()}, {IProjectExpense::kBilled, false}},
      "InvoiceID=?", {id});
  work.Db().Execute("DELETE FROM IProjectInvoice WHERE IProjectInvoiceID=?", {id});
  work.Commit();
}

BRIVOS_METHOD(CInvoiceMgr, GetInvoice) { return Found(I::Load(a.Account, a.InvoiceID)); }

}  // namespace brivos
