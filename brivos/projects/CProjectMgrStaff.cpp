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
  const std::int32_t staff_id =
      Insert<S>(work.Db(), {{S::kCreateDate, Now()},
                            BRIVOS_ARG_COLUMNS(S, ProjectID, Rate, Cost, OTRate, OTCost, UserID)});
  work.Commit();
  return staff_id;
}

BRIVOS_METHOD(CProjectMgr, UpdateStaff) {
  Update<S>(a.Account, a.StaffID, {BRIVOS_ARG_COLUMNS(S, Rate, Cost, OTRate, OTCost)});
}

BRIVOS_METHOD(CProjectMgr, GetStaff) { return Found(S::Load(a.Account, a.StaffID)); }

BRIVOS_METHOD(CProjectMgr, DeleteStaff) {
  Connection::Open(a.Account).Execute("DELETE FROM IProjectStaff WHERE IProjectStaffID=?",
                                      {Parameter::Number(a.StaffID)});
}

BRIVOS_METHOD(CProjectMgr, AddTask) {
  return Insert<T>(a.Account,
                   {BRIVOS_ARG_COLUMNS(T, ProjectID, Name, Description, EffectiveDate, Inactive,
                                       PlannedStart, PlannedDuration, PlannedFinish)});
}

BRIVOS_METHOD(CProjectMgr, UpdateTask) {
  Update<T>(a.Account, a.TaskID,
            {BRIVOS_ARG_COLUMNS(T, Name, Description, EffectiveDate, Inactive, PlannedStart,
                                PlannedDuration, PlannedFinish)});
}

BRIVOS_METHOD(CProjectMgr, DeleteTask) {
  Connection::Open(a.Account).Execute("DELETE FROM IProjectTask WHERE IProjectTaskID=?",
                                      {Parameter::Number(a.TaskID)});
}

BRIVOS_METHOD(CProjectMgr, GetTask) { return Found(T::Load(a.Account, a.TaskID)); }

}  // namespace brivos
