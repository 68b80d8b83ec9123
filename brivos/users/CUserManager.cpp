#include "brivos/users/CUserManager.hpp"

#include <string>

#include "brivos/account/CAccountMgr.hpp"
#include "brivos/database/Database.hpp"
#include "brivos/foundation/Messages.hpp"
#include "brivos/records/IProjectExpense.hpp"

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
  return U::Select(a.Account, "Parent=? AND AllowLogon=1",
                   {Parameter::Number(caller->SubscriberID())}, "LastName");
}

BRIVOS_METHOD(CUserManager, AddUserProfile) {
  Variant reports_to = ManagerKey(a.ReportsToID);
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
  work.Db().Execute(
      "INSERT INTO IUser (Parent,UserName,Password,FirstName,LastName,MiddleInitial,MainUser,"
      "ReportsToID,Admin,vmProjectsAccess,MinWeekHours,EMail,Rate,Cost,OTRate,OTCost,"
      "AllowLogon) VALUES (?,?,?,?,?,?,0,?,?,?,?,?,?,?,?,?,?);",
      {U::P(U::kSubscriberID, caller->SubscriberID()), U::P(U::kUserName, a.ProfileUserName),
       U::P(U::kPassword, a.Password), U::P(U::kFirstName, a.FirstName),
       U::P(U::kLastName, a.LastName), U::P(U::kMiddleInitial, a.Initial),
       U::P(U::kReportsToID, reports_to), U::P(U::kAdmin, a.Admin),
       U::P(U::kvmProjectsAccess, a.vmProjectsAccess), U::P(U::kMinWeekHours, a.MinWeekHours),
       U::P(U::kEMail, a.EMail), U::P(U::kRate, a.Rate), U::P(U::kCost, a.Cost),
       U::P(U::kOTRate, a.OTRate), U::P(U::kOTCost, a.OTCost), U::P(U::kAllowLogon, a.AllowLogon)});
  work.Commit();
}

BRIVOS_METHOD(CUserManager, UpdateUserProfile) {
  Variant reports_to = ManagerKey(a.ReportsToID);
  Connection::Open(a.Account).Execute(
      "UPDATE IUser SET FirstName=?,LastName=?,MiddleInitial=?,Admin=?,ReportsToID=?,"
      "vmProjectsAccess=?,MinWeekHours=?,EMail=?,Rate=?,Cost=?,OTRate=?,OTCost=?,AllowLogon=? "
      "WHERE IUserID=?;",
      {U::P(U::kFirstName, a.FirstName), U::P(U::kLastName, a.LastName),
       U::P(U::kMiddleInitial, a.Initial), U::P(U::kAdmin, a.Admin),
       U::P(U::kReportsToID, reports_to), U::P(U::kvmProjectsAccess, a.vmProjectsAccess),
       U::P(U::kMinWeekHours, a.MinWeekHours), U::P(U::kEMail, a.EMail), U::P(U::kRate, a.Rate),
       U::P(U::kCost, a.Cost), U::P(U::kOTRate, a.OTRate), U::P(U::kOTCost, a.OTCost),
       U::P(U::kAllowLogon, a.AllowLogon), U::P(U::kIUserID, a.UserID)});
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
  Connection& db = work.Db();
  db.Execute(
      "INSERT INTO IExpenseReport (Parent,ReportNo,Name,Description,CreateDate,CashAdvance,"
      "Total,AmountPaid,Approved,ApprovedOn,ApprovedBy) VALUES (?,?,?,?,?,?,?,?,?,?,?);",
      {R::P(R::kUserID, caller->IUserID()), R::P(R::kReportNo, std::to_string(number)),
       R::P(R::kName, a.Name), R::P(R::kDescription, a.Description),
       R::P(R::kCreateDate, a.CreateDate), R::P(R::kCashAdvance, a.CashAdvance),
       R::P(R::kTotal, a.Total), R::P(R::kAmountPaid, a.AmountPaid), R::P(R::kApproved, a.Approved),
       R::P(R::kApprovedOn, a.ApprovedOn), R::P(R::kApprovedBy, a.ApprovedBy)});
  std::int32_t report_id = db.LastInsertId();
  work.Commit();
  return report_id;
}

BRIVOS_METHOD(CUserManager, UpdateExpenseReport) {
  Connection::Open(a.Account).Execute(
      "UPDATE IExpenseReport SET ReportNo=?,Name=?,Description=?,CreateDate=?,CashAdvance=?,"
      "Total=?,AmountPaid=?,Approved=?,ApprovedOn=?,ApprovedBy=? WHERE IExpenseReportID=?;",
      {R::P(R::kReportNo, a.ReportNo), R::P(R::kName, a.Name), R::P(R::kDescription, a.Description),
       R::P(R::kCreateDate, a.CreateDate), R::P(R::kCashAdvance, a.CashAdvance),
       R::P(R::kTotal, a.Total), R::P(R::kAmountPaid, a.AmountPaid), R::P(R::kApproved, a.Approved),
       R::P(R::kApprovedOn, a.ApprovedOn), R::P(R::kApprovedBy, a.ApprovedBy),
       R::P(R::kIExpenseReportID, a.ReportID)});
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
