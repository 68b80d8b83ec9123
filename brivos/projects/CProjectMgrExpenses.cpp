// CProjectMgr: project expenses.

#include "brivos/database/Database.hpp"
#include "brivos/foundation/Messages.hpp"
#include "brivos/projects/CProjectMgr.hpp"
#include "brivos/projects/internal/ProjectValues.hpp"
#include "brivos/records/IExpenseReport.hpp"
#include "brivos/records/IUser.hpp"
#include "brivos/records/Write.hpp"

namespace brivos {

using projects::ZeroToNull;
using E = IProjectExpense;

namespace {

constexpr const char* kProjectNotActive =
    "You cannot assign an expense to a project that is not Active.";

// The project of an expense a staff member enters must be active.
void CheckActive(const Variant& account, const Variant& project_id) {
  std::shared_ptr<IProject> project = Found(IProject::Load(account, project_id));
  if (!projects::IsActive(project->Status())) {
    Raise(errCProjectMgr::eProjectNotActive, FillMessage(kProjectNotActive));
  }
}

}  // namespace

BRIVOS_METHOD(CProjectMgr, AddExpense) {
  const Variant date(CDate(a.ExpenseDate));
  const Variant report = ZeroToNull(a.ReportID), tax_code = ZeroToNull(a.TaxCodeID);
  return Insert<E>(a.Account,
                   {{E::kExpenseDate, date},
                    {E::kBilled, false},
                    {E::kExpenseReportID, report},
                    {E::kTaxCodeID, tax_code},
                    BRIVOS_ARG_COLUMNS(E, ProjectID, PONumber, InvoiceNumber, Amount, Markup,
                                       Description, Approved, StaffID, ExpenseType, ExchangeRate,
                                       PaymentType, Establishment, City, Route, Distance, Rate)});
}

BRIVOS_METHOD(CProjectMgr, UpdateExpense) {
  const Variant tax_code = ZeroToNull(a.TaxCodeID);
  const Variant date(CDate(a.ExpenseDate));
  Update<E>(a.Account, a.ExpenseID,
            {{E::kExpenseDate, date},
             {E::kTaxCodeID, tax_code},
             BRIVOS_ARG_COLUMNS(E, PONumber, InvoiceNumber, Amount, Markup, Description, Billed,
                                Approved, StaffID, ExpenseType, ExchangeRate, PaymentType,
                                Establishment, City, Route, Distance, Rate)});
}

BRIVOS_METHOD(CProjectMgr, DeleteExpense) {
  // One unit of work: nothing can approve the expense or its report between
  // the checks and the delete.
  UnitOfWork work(a.Account);
  std::shared_ptr<IProjectExpense> expense =
      GetExpense(a.Account, a.UserName, a.Token, a.ExpenseID);
  if (IsTrue(expense->Approved())) {
    Raise(errCProjectMgr::eExpenseApproved, FillMessage("You cannot delete an approved expense."));
  }
  const Variant report_id = expense->ExpenseReportID();
  if (!report_id.IsNull() && CDbl(report_id) > 0) {
    std::shared_ptr<IExpenseReport> report = expense->ExpenseReport(a.Account);
    if (!report) RaiseRuntime(errnum::kNoObject);
    if (IsTrue(report->Approved())) {
      std::shared_ptr<IUser> owner = report->User(a.Account);
      if (!owner) RaiseRuntime(errnum::kNoObject);
      Raise(errCProjectMgr::eExpenseReportApproved,
            FillMessage("You cannot delete this expense item because it is on an approved "
                        "employee expense report.    \r\n\r\nEmployee:  %1\r\n\r\n    Expense "
                        "Report:  %2",
                        owner->UserName(), report->ReportNo()));
    }
  }
  work.Db().Execute("DELETE FROM IProjectExpense WHERE IProjectExpenseID=?",
                    {E::P(E::kIProjectExpenseID, expense->IProjectExpenseID())});
  work.Commit();
}

BRIVOS_METHOD(CProjectMgr, GetExpense) { return Found(E::Load(a.Account, a.ExpenseID)); }

BRIVOS_METHOD(CProjectMgr, GetExpensesForUser) {
  std::shared_ptr<IUser> caller = IUser::Caller(a.Account, a.UserName);
  return E::FromQuery(a.Account,
                      "SELECT * FROM IProjectExpense WHERE StaffID IN (SELECT IProjectStaffID FROM "
                      "IProjectStaff WHERE UserID=?) ORDER BY Parent ASC, ExpenseDate ASC;",
                      {Parameter::Number(caller->IUserID())});
}

BRIVOS_METHOD(CProjectMgr, UpdateStaffExpense) {
  std::shared_ptr<IProjectExpense> expense = Found(E::Load(a.Account, a.ExpenseID));
  if (CDbl(a.ProjectID) != CDbl(expense->ProjectID())) CheckActive(a.Account, a.ProjectID);
  const Variant tax_code = ZeroToNull(a.TaxCodeID);
  const Variant date(CDate(a.ExpenseDate));
  Update<E>(
      a.Account, a.ExpenseID,
      {{E::kExpenseDate, date},
       {E::kTaxCodeID, tax_code},
       BRIVOS_ARG_COLUMNS(E, PONumber, InvoiceNumber, Amount, Description, ProjectID, ExpenseType,
                          ExchangeRate, PaymentType, Establishment, City, Route, Distance, Rate)});
}

BRIVOS_METHOD(CProjectMgr, AddStaffExpense) {
  CheckActive(a.Account, a.ProjectID);
  std::shared_ptr<IUser> caller = IUser::Caller(a.Account, a.UserName);
  auto staff = Connection::Open(a.Account).Query(
      "SELECT IProjectStaffID FROM IProjectStaff WHERE Parent=? AND UserID=?",
      {Parameter::Number(a.ProjectID), Parameter::Number(caller->IUserID())});
  return AddExpense(a.Account, a.UserName, a.Token, a.ReportID, a.ProjectID, a.ExpenseDate,
                    a.PONumber, a.InvoiceNumber, a.Amount, Currency::FromScaled(0), a.Description,
                    false, CLng(staff->Field(0)), a.ExpenseType, a.ExchangeRate, a.PaymentType,
                    a.Establishment, a.City, a.Route, a.Distance, a.Rate, a.TaxCodeID);
}

}  // namespace brivos
