// CProjectMgr: project staff and tasks.

#include "brivos/database/Database.hpp"
#include "brivos/foundation/Clock.hpp"
#include "brivos/foundation/Messages.hpp"
#include "brivos/projects/CProjectMgr.hpp"
#include "brivos/projects/internal/ProjectValues.hpp"

namespace brivos {

using S = IProjectStaff;
using T = IProjectTask;

BRIVOS_METHOD(CProjectMgr, AddStaff) {
  const Parameter project = Parameter::Number(a.ProjectID), user = Parameter::Number(a.UserID);
  // One unit of work: of two concurrent adds of one user, the second sees the first.
  UnitOfWork work(a.Account);
  if (S::Select(a.Account, "Parent=? AND UserID=?", {project, user})->Count() > 0) {
    Raise(errCProjectMgr::eStaffExists,
          FillMessage("This user has already been assigned to the project as a staff member."));
  }
  work.Db().Execute(
      "INSERT INTO IProjectStaff (Parent,Rate,Cost,OTRate,OTCost,CreateDate,UserID) VALUES "
      "(?,?,?,?,?,?,?);",
      {S::P(S::kProjectID, a.ProjectID), S::P(S::kRate, a.Rate), S::P(S::kCost, a.Cost),
       S::P(S::kOTRate, a.OTRate), S::P(S::kOTCost, a.OTCost), S::P(S::kCreateDate, Now()),
       S::P(S::kUserID, a.UserID)});
  const std::int32_t staff_id = work.Db().LastInsertId();
  work.Commit();
  return staff_id;
}

BRIVOS_METHOD(CProjectMgr, UpdateStaff) {
  Connection::Open(a.Account).Execute(
      "UPDATE IProjectStaff SET Rate=?,Cost=?,OTRate=?,OTCost=? WHERE IProjectStaffID=?;",
      {S::P(S::kRate, a.Rate), S::P(S::kCost, a.Cost), S::P(S::kOTRate, a.OTRate),
       S::P(S::kOTCost, a.OTCost), S::P(S::kIProjectStaffID, a.StaffID)});
}

BRIVOS_METHOD(CProjectMgr, GetStaff) { return Found(S::Load(a.Account, a.StaffID)); }

BRIVOS_METHOD(CProjectMgr, DeleteStaff) {
  Connection::Open(a.Account).Execute("DELETE FROM IProjectStaff WHERE IProjectStaffID=?",
                                      {Parameter::Number(a.StaffID)});
}

BRIVOS_METHOD(CProjectMgr, AddTask) {
  Connection db = Connection::Open(a.Account);
  db.Execute(
      "INSERT INTO IProjectTask (Parent,Name,Description,EffectiveDate,Inactive,PlannedStart,"
      "PlannedDuration,PlannedFinish) VALUES (?,?,?,?,?,?,?,?);",
      {T::P(T::kProjectID, a.ProjectID), T::P(T::kName, a.Name),
       T::P(T::kDescription, a.Description), T::P(T::kEffectiveDate, a.EffectiveDate),
       T::P(T::kInactive, a.Inactive), T::P(T::kPlannedStart, a.PlannedStart),
       T::P(T::kPlannedDuration, a.PlannedDuration), T::P(T::kPlannedFinish, a.PlannedFinish)});
  return db.LastInsertId();
}

BRIVOS_METHOD(CProjectMgr, UpdateTask) {
  Connection::Open(a.Account).Execute(
      "UPDATE IProjectTask SET Name=?,Description=?,EffectiveDate=?,Inactive=?,PlannedStart=?,"
      "PlannedDuration=?,PlannedFinish=? WHERE IProjectTaskID=?;",
      {T::P(T::kName, a.Name), T::P(T::kDescription, a.Description),
       T::P(T::kEffectiveDate, a.EffectiveDate), T::P(T::kInactive, a.Inactive),
       T::P(T::kPlannedStart, a.PlannedStart), T::P(T::kPlannedDuration, a.PlannedDuration),
       T::P(T::kPlannedFinish, a.PlannedFinish), T::P(T::kIProjectTaskID, a.TaskID)});
}

BRIVOS_METHOD(CProjectMgr, DeleteTask) {
  Connection::Open(a.Account).Execute("DELETE FROM IProjectTask WHERE IProjectTaskID=?",
                                      {Parameter::Number(a.TaskID)});
}

BRIVOS_METHOD(CProjectMgr, GetTask) { return Found(T::Load(a.Account, a.TaskID)); }

}  // namespace brivos
