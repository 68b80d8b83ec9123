// CProjectMgr: project staff and tasks.

#include "brivos/database/Database.hpp"
#include "brivos/foundation/Clock.hpp"
#include "brivos/foundation/Messages.hpp"
#include "brivos/projects/CProjectMgr.hpp"
#include "brivos/records/Write.hpp"

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
  const std::int32_t staff_id = Insert<S>(work.Db(), {{S::kProjectID, a.ProjectID},
                                                      {S::kRate, a.Rate},
                                                      {S::kCost, a.Cost},
                                                      {S::kOTRate, a.OTRate},
                                                      {S::kOTCost, a.OTCost},
                                                      {S::kCreateDate, Now()},
                                                      {S::kUserID, a.UserID}});
  work.Commit();
  return staff_id;
}

BRIVOS_METHOD(CProjectMgr, UpdateStaff) {
  Connection db = Connection::Open(a.Account);
  Update<S>(
      db, a.StaffID,
      {{S::kRate, a.Rate}, {S::kCost, a.Cost}, {S::kOTRate, a.OTRate}, {S::kOTCost, a.OTCost}});
}

BRIVOS_METHOD(CProjectMgr, GetStaff) { return Found(S::Load(a.Account, a.StaffID)); }

BRIVOS_METHOD(CProjectMgr, DeleteStaff) {
  Connection::Open(a.Account).Execute("DELETE FROM IProjectStaff WHERE IProjectStaffID=?",
                                      {Parameter::Number(a.StaffID)});
}

BRIVOS_METHOD(CProjectMgr, AddTask) {
  Connection db = Connection::Open(a.Account);
  return Insert<T>(db, {{T::kProjectID, a.ProjectID},
                        {T::kName, a.Name},
                        {T::kDescription, a.Description},
                        {T::kEffectiveDate, a.EffectiveDate},
                        {T::kInactive, a.Inactive},
                        {T::kPlannedStart, a.PlannedStart},
                        {T::kPlannedDuration, a.PlannedDuration},
                        {T::kPlannedFinish, a.PlannedFinish}});
}

BRIVOS_METHOD(CProjectMgr, UpdateTask) {
  Connection db = Connection::Open(a.Account);
  Update<T>(db, a.TaskID,
            {{T::kName, a.Name},
             {T::kDescription, a.Description},
             {T::kEffectiveDate, a.EffectiveDate},
             {T::kInactive, a.Inactive},
             {T::kPlannedStart, a.PlannedStart},
             {T::kPlannedDuration, a.PlannedDuration},
             {T::kPlannedFinish, a.PlannedFinish}});
}

BRIVOS_METHOD(CProjectMgr, DeleteTask) {
  Connection::Open(a.Account).Execute("DELETE FROM IProjectTask WHERE IProjectTaskID=?",
                                      {Parameter::Number(a.TaskID)});
}

BRIVOS_METHOD(CProjectMgr, GetTask) { return Found(T::Load(a.Account, a.TaskID)); }

}  // namespace brivos
