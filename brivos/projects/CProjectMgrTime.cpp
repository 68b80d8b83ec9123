// CProjectMgr: time slips.

#include "brivos/database/Database.hpp"
#include "brivos/foundation/Clock.hpp"
#include "brivos/projects/CProjectMgr.hpp"
#include "brivos/projects/internal/ProjectValues.hpp"
#include "brivos/records/IUser.hpp"

namespace brivos {

using projects::SlipTime;
using X = IProjectTransaction;

BRIVOS_METHOD(CProjectMgr, AddTransaction) {
  const Date day = CDate(a.TransDate);
  const Variant start(SlipTime(day, a.StartHour, a.StartMinute));
  const Variant stop(SlipTime(day, a.EndHour, a.EndMinute));
  // Everything the slip names is loaded before it is stored.
  IUser::Caller(a.Account, a.UserName);
  GetStaff(a.Account, a.UserName, a.Token, a.StaffID);
  GetProject(a.Account, a.UserName, a.Token, a.ProjectID);
  GetTask(a.Account, a.UserName, a.Token, a.TaskID);
  Connection db = Connection::Open(a.Account);
  db.Execute(
      "INSERT INTO IProjectTransaction (Parent,TransDate,StartTime,StopTime,Description,Status,"
      "StaffRate,StaffCost,OTCost,OTRate,Error,TaskID,StaffID,OverTime) VALUES "
      "(?,?,?,?,?,?,?,?,?,?,?,?,?,?);",
      {X::P(X::kProjectID, a.ProjectID), X::P(X::kTransDate, day), X::P(X::kStartTime, start),
       X::P(X::kStopTime, stop), X::P(X::kDescription, a.Description), X::P(X::kStatus, a.Status),
       X::P(X::kStaffRate, a.StaffRate), X::P(X::kStaffCost, a.StaffCost),
       X::P(X::kOTCost, a.OTCost), X::P(X::kOTRate, a.OTRate), X::P(X::kError, a.Error),
       X::P(X::kTaskID, a.TaskID), X::P(X::kStaffID, a.StaffID), X::P(X::kOverTime, a.OverTime)});
  return db.LastInsertId();
}

std::pair<Variant, Variant> CProjectMgr::GetApprovalFields(Variant& Account, Variant& TransID,
                                                           Variant& NewStatus, Variant& UserName) {
  std::shared_ptr<IProjectTransaction> slip = Found(X::Load(Account, TransID));
  return projects::ApprovalAfter(slip->Status(), slip->ApprovedBy(), slip->ApprovedOn(), NewStatus,
                                 UserName);
}

BRIVOS_METHOD(CProjectMgr, UpdateTransaction) {
  // One unit of work: the approval is stamped from the status it replaces.
  UnitOfWork work(a.Account);
  auto [approver, approved_on] = GetApprovalFields(a.Account, a.TransID, a.Status, a.UserName);
  const Date day = CDate(a.TransDate);
  const Variant start(SlipTime(day, a.StartHour, a.StartMinute));
  const Variant stop(SlipTime(day, a.EndHour, a.EndMinute));
  std::shared_ptr<IProjectTask> task = GetTask(a.Account, a.UserName, a.Token, a.TaskID);
  GetTransaction(a.Account, a.UserName, a.Token, a.TransID);
  work.Db().Execute(
      "UPDATE IProjectTransaction SET Parent=?,TransDate=?,StartTime=?,StopTime=?,Description=?,"
      "Status=?,StaffRate=?,StaffCost=?,OTCost=?,OTRate=?,Error=?,TaskID=?,StaffID=?,"
      "ApprovedBy=?,ApprovedOn=?,OverTime=? WHERE IProjectTransactionID=?;",
      {X::P(X::kProjectID, task->ProjectID()), X::P(X::kTransDate, day), X::P(X::kStartTime, start),
       X::P(X::kStopTime, stop), X::P(X::kDescription, a.Description), X::P(X::kStatus, a.Status),
       X::P(X::kStaffRate, a.StaffRate), X::P(X::kStaffCost, a.StaffCost),
       X::P(X::kOTCost, a.OTCost), X::P(X::kOTRate, a.OTRate), X::P(X::kError, a.Error),
       X::P(X::kTaskID, a.TaskID), X::P(X::kStaffID, a.StaffID), X::P(X::kApprovedBy, approver),
       X::P(X::kApprovedOn, approved_on), X::P(X::kOverTime, a.OverTime),
       X::P(X::kIProjectTransactionID, a.TransID)});
  work.Commit();
}

BRIVOS_METHOD(CProjectMgr, DeleteTransaction) {
  Connection::Open(a.Account).Execute(
      "DELETE FROM IProjectTransaction WHERE IProjectTransactionID=?",
      {Parameter::Number(a.TransID)});
}

BRIVOS_METHOD(CProjectMgr, GetTransaction) { return Found(X::Load(a.Account, a.TransID)); }

}  // namespace brivos
