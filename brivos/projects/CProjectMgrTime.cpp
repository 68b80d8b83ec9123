// CProjectMgr: time slips.

#include "brivos/database/Database.hpp"
#include "brivos/foundation/Clock.hpp"
#include "brivos/projects/CProjectMgr.hpp"
#include "brivos/projects/internal/ProjectValues.hpp"
#include "brivos/records/IUser.hpp"
#include "brivos/records/Write.hpp"

namespace brivos {

using projects::SlipTime;
using X = IProjectTransaction;

BRIVOS_METHOD(CProjectMgr, AddTransaction) {
  const Date day = CDate(a.TransDate);
  const Variant start(SlipTime(day, a.StartHour, a.StartMinute));
  const Variant stop(SlipTime(day, a.EndHour, a.EndMinute));
  // Everything the slip names is loaded before it is stored, in the one
  // transaction that stores it: what was found cannot go before the slip
  // names it, and the call costs the database one transaction, as a single
  // INSERT would.
  UnitOfWork work(a.Account);
  IUser::Caller(a.Account, a.UserName);
  GetStaff(a.Account, a.UserName, a.Token, a.StaffID);
  GetProject(a.Account, a.UserName, a.Token, a.ProjectID);
  GetTask(a.Account, a.UserName, a.Token, a.TaskID);
  const std::int32_t key =
      Insert<X>(work.Db(), {{X::kTransDate, day},
                            {X::kStartTime, start},
                            {X::kStopTime, stop},
                            BRIVOS_ARG_COLUMNS(X, ProjectID, Description, Status, StaffRate,
                                               StaffCost, OTCost, OTRate, Error, TaskID, StaffID,
                                               OverTime)});
  work.Commit();
  return key;
}

std::pair<Variant, Variant> CProjectMgr::GetApprovalFields(const Variant& Account,
                                                           const Variant& TransID,
                                                           const Variant& NewStatus,
                                                           const Variant& UserName) {
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
  Update<X>(work.Db(), a.TransID,
            {{X::kProjectID, task->ProjectID()},
             {X::kTransDate, day},
             {X::kStartTime, start},
             {X::kStopTime, stop},
             {X::kApprovedBy, approver},
             {X::kApprovedOn, approved_on},
             BRIVOS_ARG_COLUMNS(X, Description, Status, StaffRate, StaffCost, OTCost, OTRate, Error,
                                TaskID, StaffID, OverTime)});
  work.Commit();
}

BRIVOS_METHOD(CProjectMgr, DeleteTransaction) {
  Connection::Open(a.Account).Execute(
      "DELETE FROM IProjectTransaction WHERE IProjectTransactionID=?",
      {Parameter::Number(a.TransID)});
}

BRIVOS_METHOD(CProjectMgr, GetTransaction) { return Found(X::Load(a.Account, a.TransID)); }

}  // namespace brivos
