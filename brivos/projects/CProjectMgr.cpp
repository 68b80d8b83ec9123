#include "brivos/projects/CProjectMgr.hpp"

#include "brivos/database/Database.hpp"
#include "brivos/foundation/Clock.hpp"
#include "brivos/foundation/Messages.hpp"
#include "brivos/projects/internal/ProjectValues.hpp"
#include "brivos/records/IProjectExpense.hpp"
#include "brivos/records/IProjectInvoice.hpp"
#include "brivos/records/IUser.hpp"
#include "brivos/records/Write.hpp"

namespace brivos {

BRIVOS_REGISTER_CLASS(kManager, CProjectMgr);

using projects::ClampTimeChunk;
using projects::DateOrNull;
using P = IProject;

BRIVOS_METHOD(CProjectMgr, AddProject) {
  const Variant created(Now());
  std::shared_ptr<IUser> caller = IUser::Caller(a.Account, a.UserName);
  const Variant start = DateOrNull(a.StartDate), end = DateOrNull(a.EndDate);
  ClampTimeChunk(a.TimeChunk);
  return Insert<P>(a.Account,
                   {{P::kSubscriberID, caller->SubscriberID()},
                    {P::kCreatorID, caller->IUserID()},
                    {P::kCreateDate, created},
                    {P::kStartDate, start},
                    {P::kEndDate, end},
                    BRIVOS_ARG_COLUMNS(P, Name, Description, Status, Billable, EstCost, EstRevenue,
                                       OTAllowed, TimeChunk, ManagerID, ClientID)});
}

BRIVOS_METHOD(CProjectMgr, UpdateProject) {
  const Variant start = DateOrNull(a.StartDate), end = DateOrNull(a.EndDate);
  ClampTimeChunk(a.TimeChunk);
  Update<P>(a.Account, a.ProjectID,
            {{P::kStartDate, start},
             {P::kEndDate, end},
             BRIVOS_ARG_COLUMNS(P, ClientID, Name, Description, Status, Billable, EstCost,
                                EstRevenue, OTAllowed, TimeChunk, ManagerID)});
}

BRIVOS_METHOD(CProjectMgr, DeleteProject) {
  const Parameter id = Parameter::Number(a.ProjectID);
  // One unit of work: nothing can be added to the project between the
  // checks and the delete.
  UnitOfWork work(a.Account);
  Found(P::Load(a.Account, a.ProjectID));
  struct Refusal {
    const char* exists;
    std::int32_t number;
    const char* message;
  };
  static constexpr Refusal kRefusals[] = {
      {"SELECT 1 FROM IProjectInvoice WHERE Parent=? LIMIT 1;", errCProjectMgr::eProjectHasInvoices,
       "This project cannot be deleted because it has invoices.  You must remove the invoices "
       "first."},
      {"SELECT 1 FROM IProjectTransaction WHERE Parent=? LIMIT 1;",
       errCProjectMgr::eProjectHasTransactions,
       "This project cannot be deleted because it has time slips.  You must remove the time "
       "slips first."},
      {"SELECT 1 FROM IProjectExpense WHERE Parent=? LIMIT 1;", errCProjectMgr::eProjectHasExpenses,
       "This project cannot be deleted because it has expenses.  You must remove the expenses "
       "first."},
  };
  for (const Refusal& refusal : kRefusals) {
    if (work.Db().Query(refusal.exists, {id})->RecordCount() > 0) {
      Raise(refusal.number, FillMessage(refusal.message));
    }
  }
  work.Db().Execute("DELETE FROM IProject WHERE IProjectID=?", {id});
  work.Commit();
}

BRIVOS_METHOD(CProjectMgr, GetProjTasksAlphaSort) {
  return IProjectTask::Select(a.Account, "Parent=?", {Parameter::Number(a.ProjectID)}, "Name ASC");
}

BRIVOS_METHOD(CProjectMgr, GetProjects) {
  std::shared_ptr<IUser> caller = IUser::Caller(a.Account, a.UserName);
  const std::string order = projects::ProjectOrder(a.SortOrder);
  const Parameter subscriber = Parameter::Number(caller->SubscriberID());
  // Outside the four orders the ordering keyword stands with nothing to
  // order by, and the database rejects the statement.
  if (order.empty()) return P::Select(a.Account, "Parent=? ORDER BY", {subscriber});
  return P::Select(a.Account, "Parent=?", {subscriber}, order);
}

BRIVOS_METHOD(CProjectMgr, GetProject) { return Found(P::Load(a.Account, a.ProjectID)); }

}  // namespace brivos
