#include "brivos/invoicing/CInvoiceMgr.hpp"

#include <cmath>
#include <string>
#include <vector>

#include "brivos/account/CAccountMgr.hpp"
#include "brivos/database/Database.hpp"
#include "brivos/foundation/Clock.hpp"
#include "brivos/records/ISubScriber.hpp"
#include "brivos/records/IUser.hpp"
#include "brivos/records/SFAProspect.hpp"

namespace brivos {

BRIVOS_REGISTER_CLASS(kManager, CInvoiceMgr);

using I = IProjectInvoice;

namespace {

// The approved slips and the approved, unbilled expenses of a project dated
// on or before a cutoff; a line without a date never qualifies.
constexpr const char* kSlipsExist =
    "SELECT 1 FROM IProjectTransaction WHERE Parent=? AND Status=2 AND TransDate<=? LIMIT 1;";
constexpr const char* kExpensesExist =
    "SELECT 1 FROM IProjectExpense WHERE Parent=? AND Billed=0 AND Approved=1 AND "
    "ExpenseDate<=? LIMIT 1;";
constexpr const char* kBillSlips =
    "UPDATE IProjectTransaction SET Status=3,InvoiceID=? WHERE Parent=? AND Status=2 AND "
    "TransDate<=?;";
constexpr const char* kBillExpenses =
    "UPDATE IProjectExpense SET Billed=1,InvoiceID=? WHERE Parent=? AND Billed=0 AND "
    "Approved=1 AND ExpenseDate<=?;";

// A piece of a project list: a whole number (13 otherwise, the empty piece
// included).
Variant ProjectKey(const std::string& piece) {
  const double value = CDbl(Variant(piece));
  if (piece.empty() || value != std::trunc(value)) RaiseRuntime(errnum::kTypeMismatch);
  return Variant(CLng(Variant(value)));
}

}  // namespace

BRIVOS_METHOD(CInvoiceMgr, InvoiceAllProjects) {
  const Date cutoff = CDate(a.CutoffDate);
  IUser::Caller(a.Account, a.UserName);
  auto projects = IProject::Select(a.Account, "Status=2", {}, "Parent ASC");
  for (const Variant& item : projects->Items()) {
    InvoiceProject(a.Account, a.UserName, a.Token, cutoff,
                   static_cast<IProject&>(*item.AsObject()));
  }
}

BRIVOS_METHOD(CInvoiceMgr, InvoiceSelectedProjects) {
  const Date cutoff = CDate(a.CutoffDate);
  const std::string text = CStr(a.Projects);
  // Every project is found before any is invoiced.
  std::vector<std::shared_ptr<IProject>> selected;
  for (std::size_t start = 0; !text.empty() && start <= text.size();) {
    const std::size_t bar = std::min(text.find('|', start), text.size());
    std::shared_ptr<IProject> project =
        IProject::Load(a.Account, ProjectKey(text.substr(start, bar - start)));
    if (!project) RaiseRuntime(errnum::kSubscriptOutOfRange);
    selected.push_back(std::move(project));
    start = bar + 1;
  }
  for (const auto& project : selected)
    InvoiceProject(a.Account, a.UserName, a.Token, cutoff, *project);
}

void CInvoiceMgr::InvoiceProject(Variant& Account, Variant& UserName, Variant& Token,
                                 const Date& cutoff, IProject& project) {
  const Variant billable = project.Billable();
  if (billable.IsNull() || !CBool(billable)) return;
  const Parameter id = Parameter::Number(project.IProjectID());
  const Parameter until = Parameter::Date(cutoff);
  // One unit of work: the lines found are the lines billed, a concurrent run
  // waits and then finds them billed, and a failure leaves the project as it was.
  UnitOfWork work(Account);
  Connection& db = work.Db();
  if (db.Query(kSlipsExist, {id, until})->Eof() && db.Query(kExpensesExist, {id, until})->Eof()) {
    return;
  }
  const Parameter invoice = Parameter::Long(CreateInvoice(project, Account, UserName, Token));
  db.Execute(kBillSlips, {invoice, id, until});
  db.Execute(kBillExpenses, {invoice, id, until});
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
