#include "brivos/invoicing/CInvoiceMgr.hpp"

#include <string>

#include "brivos/account/CAccountMgr.hpp"
#include "brivos/database/Database.hpp"
#include "brivos/foundation/Clock.hpp"
#include "brivos/invoicing/internal/RunSelection.hpp"
#include "brivos/records/EnumeratedTypes.hpp"
#include "brivos/records/IProjectExpense.hpp"
#include "brivos/records/IProjectTransaction.hpp"
#include "brivos/records/ISubScriber.hpp"
#include "brivos/records/IUser.hpp"
#include "brivos/records/SFAProspect.hpp"
#include "brivos/records/Write.hpp"

namespace brivos {

BRIVOS_REGISTER_CLASS(kManager, CInvoiceMgr);

namespace {
thread_local InvoiceRunRecord* current_record = nullptr;
}  // namespace

InvoiceRunRecord::InvoiceRunRecord() : outer_(current_record) { current_record = this; }
InvoiceRunRecord::~InvoiceRunRecord() { current_record = outer_; }

void InvoiceRunRecord::Note(std::int32_t invoice) {
  if (current_record != nullptr) current_record->made_.push_back(invoice);
}

using I = IProjectInvoice;

using invoicing::ActiveProjects;
using invoicing::ListedProjects;

BRIVOS_METHOD(CInvoiceMgr, InvoiceAllProjects) {
  const Date cutoff = CDate(a.CutoffDate);
  IUser::Caller(a.Account, a.UserName);
  InvoiceProjects(a.Account, a.UserName, a.Token, cutoff, ActiveProjects(a.Account));
}

BRIVOS_METHOD(CInvoiceMgr, InvoiceSelectedProjects) {
  const Date cutoff = CDate(a.CutoffDate);
  // Every project is found before any is invoiced.
  InvoiceProjects(a.Account, a.UserName, a.Token, cutoff, ListedProjects(a.Account, a.Projects));
}

void CInvoiceMgr::InvoiceProjects(const Variant& Account, const Variant& UserName,
                                  const Variant& Token, const Date& cutoff,
                                  const std::vector<std::shared_ptr<IProject>>& projects) {
  // Each project is invoiced whole or not at all, in a savepoint; the run
  // commits in groups, and a project that fails stops it with the projects
  // before it invoiced.
  GroupedWork run(Account);
  for (const auto& project : projects) {
    run.Step([&] { InvoiceProject(Account, UserName, Token, cutoff, *project); });
  }
  run.Commit();
}

void CInvoiceMgr::InvoiceProject(const Variant& Account, const Variant& UserName,
                                 const Variant& Token, const Date& cutoff, IProject& project) {
  using X = IProjectTransaction;
  using E = IProjectExpense;
  if (!invoicing::IsBillable(project)) return;
  const invoicing::LineSelection slips = invoicing::SlipsToBill(project.IProjectID(), cutoff);
  const invoicing::LineSelection expenses = invoicing::ExpensesToBill(project.IProjectID(), cutoff);
  // One unit of work (the run's savepoint, in a run): the lines found are the
  // lines billed, a concurrent run waits and then finds them billed, and a
  // failure leaves the project as it was.
  UnitOfWork work(Account);
  Connection& db = work.Db();
  if (!invoicing::AnyLine(db, "IProjectTransaction", slips) &&
      !invoicing::AnyLine(db, "IProjectExpense", expenses)) {
    return;
  }
  // The invoice is priced before it is made, in the same unit of work: a
  // project that could never be totalled is refused whole and hands back
  // its number, and the run stops there.
  const invoicing::RunPricing priced =
      invoicing::PriceForRun(Account, project, db, slips, expenses);
  if (priced.refused != 0) {
    const Variant name = project.Name();
    Raise(priced.refused, RuntimeMessage(priced.refused) + ": project " +
                              CStr(project.IProjectID()) + " (" +
                              (name.IsNull() ? std::string() : CStr(name)) +
                              ") cannot be invoiced, " + priced.reason + ".");
  }
  const std::int32_t invoice = CreateInvoice(project, Account, UserName, Token);
  UpdateWhere<X>(db, {{X::kStatus, eTransStatus::tsBilled}, {X::kInvoiceID, invoice}}, slips.where,
                 slips.params);
  UpdateWhere<E>(db, {{E::kBilled, true}, {E::kInvoiceID, invoice}}, expenses.where,
                 expenses.params);
  work.Commit();
  InvoiceRunRecord::Note(invoice);
}

std::int32_t CInvoiceMgr::CreateInvoice(IProject& project, const Variant& Account,
                                        const Variant& UserName, const Variant& Token) {
  const Variant now(Now());
  const std::int32_t number = CAccountMgr{}.GetNextInvoiceNumber(Account, UserName, Token);
  std::shared_ptr<SFAProspect> client = project.Client(Account);
  std::shared_ptr<ISubScriber> subscriber = project.Subscriber(Account);
  if (!client || !subscriber) RaiseRuntime(errnum::kNoObject);
  Connection db = Connection::Open(Account);
  return Insert<I>(db, {{I::kProjectID, project.IProjectID()},
                        {I::kInvoiceDate, now},
                        {I::kInvoiceNumber, std::to_string(number)},
                        {I::kStatus, eInvoiceStatus::isTrial},
                        {I::kCreateDate, now},
                        {I::kCreatedBy, UserName},
                        {I::kLastModified, now},
                        {I::kLastModifiedBy, UserName},
                        {I::kTerms, client->DefaultTerms()},
                        {I::kNotes, subscriber->DefaultInvoiceNotes()},
                        {I::kFormat, subscriber->DefaultInvoiceFormat()}});
}

}  // namespace brivos
