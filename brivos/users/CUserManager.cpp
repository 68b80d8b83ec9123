#include "brivos/users/CUserManager.hpp"

#include <string>

#include "brivos/account/CAccountMgr.hpp"
#include "brivos/automation/TypeLibrary.hpp"
#include "brivos/foundation/Database.hpp"
#include "brivos/foundation/Messages.hpp"
#include "brivos/records/IProjectExpense.hpp"

namespace brivos {

using P = Parameter;

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

const ClassInfo& CUserManager::Info() {
  static const ClassInfo info(
      "CUserManager", true, [] { return std::make_shared<CUserManager>(); },
      {
          BindMethod("GetUserProfile",
                     {"Account", "UserName", "Token", "ProfileAccount", "ProfileUserName"},
                     &CUserManager::GetUserProfile),
          BindMethod("UpdateUserProfile",
                     {"Account", "UserName", "Token", "UserID", "FirstName", "LastName", "Initial",
                      "Admin", "ReportsToID", "vmProjectsAccess", "MinWeekHours", "EMail", "Rate",
                      "Cost", "OTRate", "OTCost", "AllowLogon"},
                     &CUserManager::UpdateUserProfile),
          BindMethod("DeleteUserProfile", {"Account", "UserName", "Token", "UserID"},
                     &CUserManager::DeleteUserProfile),
          BindMethod("GetSubscriberUserProfiles", {"Account", "UserName", "Token"},
                     &CUserManager::GetSubscriberUserProfiles),
          BindMethod("AddUserProfile",
                     {"Account", "UserName", "Token", "ProfileUserName", "Password", "FirstName",
                      "LastName", "Initial", "ReportsToID", "Admin", "vmProjectsAccess",
                      "MinWeekHours", "EMail", "Rate", "Cost", "OTRate", "OTCost", "AllowLogon"},
                     &CUserManager::AddUserProfile),
          BindMethod("GetExpenseReport", {"Account", "UserName", "Token", "ReportID"},
                     &CUserManager::GetExpenseReport),
          BindMethod(
              "AddExpenseReport",
              {"Account", "UserName", "Token", "ReportNo", "Name", "Description", "CreateDate",
               "CashAdvance", "Total", "AmountPaid", "Approved", "ApprovedOn", "ApprovedBy"},
              &CUserManager::AddExpenseReport),
          BindMethod("UpdateExpenseReport",
                     {"Account", "UserName", "Token", "ReportID", "ReportNo", "Name", "Description",
                      "CreateDate", "CashAdvance", "Total", "AmountPaid", "Approved", "ApprovedOn",
                      "ApprovedBy"},
                     &CUserManager::UpdateExpenseReport),
          BindMethod("DeleteExpenseReport", {"Account", "UserName", "Token", "ReportID"},
                     &CUserManager::DeleteExpenseReport),
          BindMethod("GetReportExpenses", {"Account", "UserName", "Token", "ReportID"},
                     &CUserManager::GetReportExpenses),
      });
  return info;
}

std::shared_ptr<IUser> CUserManager::Caller(Variant& Account, Variant& UserName, Variant& Token) {
  std::shared_ptr<IUser> caller = GetUserProfile(Account, UserName, Token, Account, UserName);
  if (!caller) RaiseRuntime(errnum::kNoObject);
  return caller;
}

std::shared_ptr<IUser> CUserManager::GetUserProfile(Variant& Account, Variant& /*UserName*/,
                                                    Variant& /*Token*/, Variant& ProfileAccount,
                                                    Variant& ProfileUserName) {
  return Guard([&]() -> std::shared_ptr<IUser> {
    auto users =
        IUser::LoadList(Account, Variant(),
                        "UserName=" + SqlQuote(ProfileUserName) +
                            " AND Parent=(SELECT ISubScriberID FROM ISubScriber WHERE AccountNo=" +
                            SqlQuote(AccountNumberOf(ProfileAccount)) + ")");
    if (users->Count() == 0) return nullptr;
    return users->ItemAs<IUser>(1);
  });
}

std::shared_ptr<Collection> CUserManager::GetSubscriberUserProfiles(Variant& Account,
                                                                    Variant& UserName,
                                                                    Variant& Token) {
  return Guard([&] {
    std::shared_ptr<IUser> caller = Caller(Account, UserName, Token);
    return IUser::LoadList(Account, Variant(),
                           "Parent=" + SqlNumber(caller->SubscriberID()) + " AND AllowLogon=1",
                           "LastName");
  });
}

void CUserManager::AddUserProfile(Variant& Account, Variant& UserName, Variant& Token,
                                  Variant& ProfileUserName, Variant& Password, Variant& FirstName,
                                  Variant& LastName, Variant& Initial, Variant& ReportsToID,
                                  Variant& Admin, Variant& vmProjectsAccess, Variant& MinWeekHours,
                                  Variant& EMail, Variant& Rate, Variant& Cost, Variant& OTRate,
                                  Variant& OTCost, Variant& AllowLogon) {
  Guard([&] {
    Variant reports_to = ManagerKey(ReportsToID);
    // One unit of work: two concurrent adds of one name cannot both pass the check.
    UnitOfWork work(Account);
    std::shared_ptr<IUser> caller = Caller(Account, UserName, Token);
    auto same_name = IUser::LoadList(Account, Variant(),
                                     "UserName=" + SqlQuote(ProfileUserName) +
                                         " AND Parent=" + SqlNumber(caller->SubscriberID()));
    if (same_name->Count() > 0) {
      Raise(errCUserManager::eUserNameExists,
            FillMessage("That username is already being used.  Please try another."));
    }
    work.Db().Execute(
        "INSERT INTO IUser (Parent,UserName,Password,FirstName,LastName,MiddleInitial,MainUser,"
        "ReportsToID,Admin,vmProjectsAccess,MinWeekHours,EMail,Rate,Cost,OTRate,OTCost,"
        "AllowLogon) VALUES (?,?,?,?,?,?,0,?,?,?,?,?,?,?,?,?,?);",
        {P::Long(caller->SubscriberID()), P::Text(ProfileUserName, 30), P::Text(Password, 30),
         P::Text(FirstName, 20), P::Text(LastName, 30), P::Text(Initial, 2), P::Long(reports_to),
         P::Boolean(Admin), P::Long(vmProjectsAccess), P::Double(MinWeekHours), P::Text(EMail, 255),
         P::Currency(Rate), P::Currency(Cost), P::Currency(OTRate), P::Currency(OTCost),
         P::Boolean(AllowLogon)});
    work.Commit();
  });
}

void CUserManager::UpdateUserProfile(Variant& Account, Variant& /*UserName*/, Variant& /*Token*/,
                                     Variant& UserID, Variant& FirstName, Variant& LastName,
                                     Variant& Initial, Variant& Admin, Variant& ReportsToID,
                                     Variant& vmProjectsAccess, Variant& MinWeekHours,
                                     Variant& EMail, Variant& Rate, Variant& Cost, Variant& OTRate,
                                     Variant& OTCost, Variant& AllowLogon) {
  Guard([&] {
    Variant reports_to = ManagerKey(ReportsToID);
    Connection::Open(Account).Execute(
        "UPDATE IUser SET FirstName=?,LastName=?,MiddleInitial=?,Admin=?,ReportsToID=?,"
        "vmProjectsAccess=?,MinWeekHours=?,EMail=?,Rate=?,Cost=?,OTRate=?,OTCost=?,AllowLogon=? "
        "WHERE IUserID=?;",
        {P::Text(FirstName, 20), P::Text(LastName, 30), P::Text(Initial, 2), P::Boolean(Admin),
         P::Long(reports_to), P::Long(vmProjectsAccess), P::Double(MinWeekHours),
         P::Text(EMail, 255), P::Currency(Rate), P::Currency(Cost), P::Currency(OTRate),
         P::Currency(OTCost), P::Boolean(AllowLogon), P::Long(UserID)});
  });
}

void CUserManager::DeleteUserProfile(Variant& Account, Variant& /*UserName*/, Variant& /*Token*/,
                                     Variant& UserID) {
  Guard([&] {
    std::string id = SqlNumber(UserID);
    // One unit of work: no reference can appear between the check and the delete.
    UnitOfWork work(Account);
    Connection& db = work.Db();
    auto references = db.Query(
        "SELECT 'Project Staff Member', IProject.Name FROM IProjectStaff, IProject WHERE "
        "IProjectStaff.UserID=" +
        id +
        " AND IProjectStaff.Parent=IProject.IProjectID UNION SELECT 'Project Manager', "
        "IProject.Name FROM IProject WHERE ManagerID=" +
        id + " UNION SELECT 'User Manager', IUser.UserName FROM IUser WHERE ReportsToID=" + id);
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
    db.Execute("DELETE FROM IUser WHERE IUserID=?;", {P::Long(UserID)});
    work.Commit();
  });
}

std::shared_ptr<IExpenseReport> CUserManager::GetExpenseReport(Variant& Account,
                                                               Variant& /*UserName*/,
                                                               Variant& /*Token*/,
                                                               Variant& ReportID) {
  return Guard([&] {
    // A lookup by key fails when nothing is found, as taking item 1 of none does.
    auto report = IExpenseReport::Load(Account, ReportID);
    if (!report) RaiseRuntime(errnum::kSubscriptOutOfRange);
    return report;
  });
}

std::int32_t CUserManager::AddExpenseReport(Variant& Account, Variant& UserName, Variant& Token,
                                            Variant& /*ReportNo*/, Variant& Name,
                                            Variant& Description, Variant& CreateDate,
                                            Variant& CashAdvance, Variant& Total,
                                            Variant& AmountPaid, Variant& Approved,
                                            Variant& ApprovedOn, Variant& ApprovedBy) {
  return Guard([&] {
    // The draw joins this unit, so a failed insert hands the number back.
    UnitOfWork work(Account);
    std::int32_t number = CAccountMgr{}.GetNextExpenseReportNumber(Account, UserName, Token);
    std::shared_ptr<IUser> caller = Caller(Account, UserName, Token);
    Connection& db = work.Db();
    db.Execute(
        "INSERT INTO IExpenseReport (Parent,ReportNo,Name,Description,CreateDate,CashAdvance,"
        "Total,AmountPaid,Approved,ApprovedOn,ApprovedBy) VALUES (?,?,?,?,?,?,?,?,?,?,?);",
        {P::Long(caller->IUserID()), P::Text(std::to_string(number), 30), P::Text(Name, 50),
         P::Text(Description, 255), P::Date(CreateDate), P::Currency(CashAdvance),
         P::Currency(Total), P::Currency(AmountPaid), P::Boolean(Approved), P::Date(ApprovedOn),
         P::Text(ApprovedBy, 50)});
    std::int32_t report_id = db.LastInsertId();
    work.Commit();
    return report_id;
  });
}

void CUserManager::UpdateExpenseReport(Variant& Account, Variant& /*UserName*/, Variant& /*Token*/,
                                       Variant& ReportID, Variant& ReportNo, Variant& Name,
                                       Variant& Description, Variant& CreateDate,
                                       Variant& CashAdvance, Variant& Total, Variant& AmountPaid,
                                       Variant& Approved, Variant& ApprovedOn,
                                       Variant& ApprovedBy) {
  Guard([&] {
    Connection::Open(Account).Execute(
        "UPDATE IExpenseReport SET ReportNo=?,Name=?,Description=?,CreateDate=?,CashAdvance=?,"
        "Total=?,AmountPaid=?,Approved=?,ApprovedOn=?,ApprovedBy=? WHERE IExpenseReportID=?;",
        {P::Text(ReportNo, 30), P::Text(Name, 50), P::Text(Description, 255), P::Date(CreateDate),
         P::Currency(CashAdvance), P::Currency(Total), P::Currency(AmountPaid),
         P::Boolean(Approved), P::Date(ApprovedOn), P::Text(ApprovedBy, 50), P::Long(ReportID)});
  });
}

void CUserManager::DeleteExpenseReport(Variant& Account, Variant& /*UserName*/, Variant& /*Token*/,
                                       Variant& ReportID) {
  Guard([&] {
    std::string id = SqlNumber(ReportID);
    UnitOfWork work(Account);
    work.Db().Execute("DELETE FROM IProjectExpense WHERE ExpenseReportID=" + id);
    work.Db().Execute("DELETE FROM IExpenseReport WHERE IExpenseReportID=" + id);
    work.Commit();
  });
}

std::shared_ptr<Collection> CUserManager::GetReportExpenses(Variant& Account, Variant& /*UserName*/,
                                                            Variant& /*Token*/, Variant& ReportID) {
  return Guard([&] {
    return IProjectExpense::LoadList(Account, Variant(), "ExpenseReportID=" + SqlNumber(ReportID),
                                     "ExpenseDate ASC");
  });
}

}  // namespace brivos
