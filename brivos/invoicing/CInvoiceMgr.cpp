#include "brivos/invoicing/CInvoiceMgr.hpp"

#include <string>

#include "brivos/account/CAccountMgr.hpp"
#include "brivos/database/Database.hpp"
#include "brivos/foundation/Clock.hpp"
#include "brivos/invoicing/internal/RunSelection.hpp"
#include "brivos/records/ISubScriber.hpp"
#include "brivos/records/IUser.hpp"
#include "brivos/records/SFAProspect.hpp"

namespace brivos {

BRIVOS_REGISTER_CLASS(kManager, CInvoiceMgr);

using I = IProjectInvoice;

using invoicing::ActiveProjects;
using invoicing::ListedProjects;

BRIVOS_METHOD(CInvoiceMgr, InvoiceAllProjects) {
  const Date cutoff = CDate(a.CutoffDate);
  IUser::Caller(a.Account, a.UserName);
  for (const auto& project : ActiveProjects(a.Account)) {
    InvoiceProject(a.Account, a.UserName, a.Token, cutoff, *project);
  }
}

BRIVOS_METHOD(CInvoiceMgr, InvoiceSelectedProjects) {
  const Date cutoff = CDate(a.CutoffDate);
  // Every project is found before any is invoiced.
  for (const auto& project : ListedProjects(a.Account, a.Projects)) {
    InvoiceProject(a.Account, a.UserName, a.Token, cutoff, *project);
  }
}

void CInvoiceMgr::InvoiceProject(Variant& Account, Variant& UserName, Variant& Token,
                                 const Date& cutoff, IProject& project) {
  if (!invoicing::IsBillable(project)) return;
  const Parameter id = Parameter::Number(project.IProjectID());
  const Parameter until = Parameter::Date(cutoff);
  // One unit of work: the lines found are the lines billed, a concurrent run
  // waits and then finds them billed, and a failure leaves the project as it was.
  UnitOfWork work(Account);
  Connection& db = work.Db();
  if (db.Query(invoicing::kSlipsExist, {id, until})->Eof() &&
      db.Query(invoicing::kExpensesExist, {id, until})->Eof()) {
    return;
  }
  const Parameter invoice = Parameter::Long(CreateInvoice(project, Account, UserName, Token));
  db.Execute(invoicing::kBillSlips, {invoice, id, until});
  db.Execute(invoicing::kBillExpenses, {invoice, id, until});
  work.Commit();
}

std::int32_t CInvoiceMgr::CreateInvoice(IProject& project, Variant& Account, Variant& UserName,
                                        Variant& Token) {
  const Variant now(Now());
  const std::int32_t number = CAccountMgr{}.GetNextInvoiceNumber(Account, UserName, Token);
  std::shared_ptr<SFAProspect> client = project.Client(Account);
  std::shared_ptr<ISubScriber> subscriber = project.Subscriber(Account);
  if (!client || !subscriber) RaiseRuntime(errnum::kNoObject);
  Connection db = Connection::Open(Account);
  db.Execute(
      "INSERT INTO IProjectInvoice (Parent,InvoiceDate,InvoiceNumber,Status,CreateDate,CreatedBy,"
      "LastModified,LastModifiedBy,Terms,Notes,Format) VALUES (?,?,?,?,?,?,?,?,?,?,?);",
      {I::P(I::kProjectID, project.IProjectID()), I::P(I::kInvoiceDate, now),
       I::P(I::kInvoiceNumber, std::to_string(number)), I::P(I::kStatus, 0),
       I::P(I::kCreateDate, now), I::P(I::kCreatedBy, UserName), I::P(I::kLastModified, now),
       I::P(I::kLastModifiedBy, UserName), I::P(I::kTerms, client->DefaultTerms()),
       I::P(I::kNotes, subscriber->DefaultInvoiceNotes()),
       I::P(I::kFormat, subscriber->DefaultInvoiceFormat())});
  return db.LastInsertId();
}

}  // namespace brivos
