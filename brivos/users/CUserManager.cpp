#include "brivos/users/CUserManager.hpp"

#include <string>

#include "brivos/account/CAccountMgr.hpp"
#include "brivos/database/Database.hpp"
#include "brivos/foundation/Messages.hpp"
#include "brivos/records/IProjectExpense.hpp"
#include "brivos/records/Write.hpp"

namespace brivos {

namespace {

// The manager a user reports to: Empty, Null, "" and 0 mean nobody and store
// Null; anything else must be a 32-bit integer.
Variant ManagerKey(const Variant& reports_to) {
  if (reports_to.IsEmpty() || reports_to.IsNull()) return Variant::Null();
  if (reports_to.Type() == VarType::String && reports_to.AsString().empty()) {
    return Variant::Null();
  }
  std::int32_t key = CLng(reports_to);
  return key == 0 ? Variant::Null() : Variant(key);
}

// A column of the reference query as text; a Null adds nothing.
std::string TextOf(const Variant& v) { return v.IsNull() ? std::string() : CStr(v); }

}  // namespace

BRIVOS_REGISTER_CLASS(kManager, CUserManager);

using U = IUser;
using R = IExpenseReport;

BRIVOS_METHOD(CUserManager, GetUserProfile) {
  return U::FindByName(a.Account, a.ProfileAccount, a.ProfileUserName);
}

BRIVOS_METHOD(CUserManager, GetSubscriberUserProfiles) {
  std::shared_ptr<IUser> caller = U::Caller(a.Account, a.UserName);
  return U::Select(a.Account, "Parent=? AND AllowLogon=?",
                   {Parameter::Number(caller->SubscriberID()), U::P(U::kAllowLogon, true)},
                   "LastName");
}

BRIVOS_METHOD(CUserManager, AddUserProfile) {
  const Variant reports_to = ManagerKey(a.ReportsToID);
  // One unit of work: two concurrent adds of one name cannot both pass the check.
  UnitOfWork work(a.Account);
  std::shared_ptr<IUser> caller = U::Caller(a.Account, a.UserName);
  auto same_name = U::Select(
      a.Account, "UserName=? AND Parent=?",
      {Parameter::QuotedText(a.ProfileUserName), Parameter::Number(caller->SubscriberID())});
  if (same_name->Count() > 0) {
    Raise(errCUserManager::eUserNameExists,
          FillMessage("That username is already being used.  Please try another."));
  }
  Insert<U>(work.Db(),
            {{U::kSubscriberID, caller->SubscriberID()},
             {U::kUserName, a.ProfileUserName},
             {U::kMiddleInitial, a.Initial},
             {U::kMainUser, false},
             {U::kReportsToID, reports_to},
             BRIVOS_ARG_COLUMNS(U, Password, FirstName, LastName, Admin, vmProjectsAccess,
                                MinWeekHours, EMail, Rate, Cost, OTRate, OTCost, AllowLogon)});
  work.Commit();
}

BRIVOS_METHOD(CUserManager, UpdateUserProfile) {
  const Variant reports_to = ManagerKey(a.ReportsToID);
  Update<U>(a.Account, a.UserID,
            {{U::kMiddleInitial, a.Initial},
             {U::kReportsToID, reports_to},
             BRIVOS_ARG_COLUMNS(U, FirstName, LastName, Admin, vmProjectsAccess, MinWeekHours,
                                EMail, Rate, Cost, OTRate, OTCost, AllowLogon)});
}

BRIVOS_METHOD(CUserManager, DeleteUserProfile) {
  const Parameter id = Parameter::Number(a.UserID);
  // One unit of work: no reference can appear between the check and the delete.
  UnitOfWork work(a.Account);
  Connection& db = work.Db();
  auto references = db.Query(
      "SELECT 'Project Staff Member', IProject.Name FROM IProjectStaff, IProject WHERE "
      "IProjectStaff.UserID=? AND IProjectStaff.Parent=IProject.IProjectID UNION SELECT "
      "'Project Manager', IProject.Name FROM IProject WHERE ManagerID=? UNION SELECT "
      "'User Manager', IUser.UserName FROM IUser WHERE ReportsToID=?",
      {id, id, id});
  if (!references->Eof()) {
    std::string list;
    for (; !references->Eof(); references->MoveNext()) {
      list += TextOf(references->Field(0)) + "::" + TextOf(references->Field(1)) + "\r\n";
    }
    Raise(errCUserManager::eUserIsReferenced,
          FillMessage("This user cannot be deleted because it is referenced by the "
                      "following:\r\n\r\n%1\r\n\r\nPlease remove these references before "
                      "deleting the user.",
                      list));
  }
  db.Execute("DELETE FROM IUser WHERE IUserID=?;", {id});
  work.Commit();
}

BRIVOS_METHOD(CUserManager, GetExpenseReport) { return Found(R::Load(a.Account, a.ReportID)); }

BRIVOS_METHOD(CUserManager, AddExpenseReport) {
  // The draw joins this unit, so a failed insert hands the number back.
  UnitOfWork work(a.Account);
  std::int32_t number = CAccountMgr{}.GetNextExpenseReportNumber(a.Account, a.UserName, a.Token);
  std::shared_ptr<IUser> caller = U::Caller(a.Account, a.UserName);
  const std::int32_t report_id =
      Insert<R>(work.Db(), {{R::kUserID, caller->IUserID()},
                            {R::kReportNo, std::to_string(number)},
                            BRIVOS_ARG_COLUMNS(R, Name, Description, CreateDate, CashAdvance, Total,
                                               AmountPaid, Approved, ApprovedOn, ApprovedBy)});
  work.Commit();
  return report_id;
}

BRIVOS_METHOD(CUserManager, UpdateExpenseReport) {
  Update<R>(a.Account, a.ReportID,
            {BRIVOS_ARG_COLUMNS(R, ReportNo, Name, Description, CreateDate, CashAdvance, Total,
                                AmountPaid, Approved, ApprovedOn, ApprovedBy)});
}

BRIVOS_METHOD(CUserManager, DeleteExpenseReport) {
  const Parameter id = Parameter::Number(a.ReportID);
  UnitOfWork work(a.Account);
  work.Db().Execute("DELETE FROM IProjectExpense WHERE ExpenseReportID=?", {id});
  work.Db().Execute("DELETE FROM IExpenseReport WHERE IExpenseReportID=?", {id});
  work.Commit();
}

BRIVOS_METHOD(CUserManager, GetReportExpenses) {
  return IProjectExpense::Select(a.Account, "ExpenseReportID=?", {Parameter::Number(a.ReportID)},
                                 "ExpenseDate ASC");
}

}  // namespace brivos
