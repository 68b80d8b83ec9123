// CProjectMgr: the live timer and approval.

#include <cmath>

#include "brivos/database/Database.hpp"
#include "brivos/foundation/Clock.hpp"
#include "brivos/foundation/Messages.hpp"
#include "brivos/projects/CProjectMgr.hpp"
#include "brivos/projects/internal/ProjectValues.hpp"
#include "brivos/records/EnumeratedTypes.hpp"
#include "brivos/records/IUser.hpp"
#include "brivos/records/Write.hpp"

namespace brivos {

using projects::SlipTime;
using X = IProjectTransaction;

namespace {

// The day of `moment`, at midnight.
Date DayOf(const Date& moment) {
  return Date::FromParts(moment.Year(), moment.Month(), moment.Day());
}

// A slip's stop when paused at `now`: the first step of `chunk` minutes after
// the current minute, counted from the start's minute of the hour (only the
// minutes of the hour enter the difference), on the slip's day at the
// current hour; a stop past 23:59 falls on the next day.
Date PausedStop(const Date& day, const Date& start, const Date& now, int chunk) {
  const int start_minute = start.Minute();
  int hour = now.Hour();
  int minute = static_cast<int>(
      (std::floor(static_cast<double>(now.Minute() - start_minute) / chunk) + 1) * chunk +
      start_minute);
  if (minute > 59) {
    hour += 1;
    minute -= 60;
  }
  const Date on_day = SlipTime(day, hour % 24, minute);
  return hour < 24 ? on_day : Date::FromSerial(on_day.Serial() + 1);
}

// The running slips on the staff rows of the user whose key is `user_id`.
std::shared_ptr<Collection> RunningSlips(const Variant& account, const Variant& user_id) {
  return X::Select(
      account, "Status=? AND StaffID IN (SELECT IProjectStaffID FROM IProjectStaff WHERE UserID=?)",
      {X::P(X::kStatus, eTransStatus::tsActive), Parameter::Number(user_id)});
}

}  // namespace

BRIVOS_METHOD(CProjectMgr, GetActiveTransaction) {
  std::shared_ptr<IUser> caller = IUser::Caller(a.Account, a.UserName);
  auto running = RunningSlips(a.Account, caller->IUserID());
  if (running->Count() == 0) return nullptr;
  return running->ItemAs<IProjectTransaction>(1);
}

BRIVOS_METHOD(CProjectMgr, StartTransaction) {
  std::shared_ptr<IUser> caller = IUser::Caller(a.Account, a.UserName);
  // One unit of work: the check, the stop and the new slip stand or fall together.
  UnitOfWork work(a.Account);
  auto allowed = work.Db().Query(
      "SELECT IProjectTaskID,Parent FROM IProjectTask WHERE IProjectTaskID=? AND Parent IN "
      "(SELECT IProjectID FROM IProject WHERE IProjectID IN (SELECT Parent FROM IProjectStaff "
      "WHERE UserID IN (SELECT IUserID FROM IUser WHERE UserName=? AND IUser.Parent IN (SELECT "
      "ISubScriberID FROM ISubScriber WHERE AccountNo=?))));",
      {Parameter::Number(a.TaskID), Parameter::QuotedText(a.UserName),
       Parameter::QuotedText(AccountNumberOf(a.Account))});
  if (allowed->Eof()) {
    Raise(errCProjectMgr::eInvalidTask,
          FillMessage("You are not allowed to perform this task.  Please make sure you are "
                      "assigned as a staff member on the project to which this task belongs."));
  }
  StopActiveTransaction(a.Account, a.UserName, a.Token);
  const Variant project(CLng(allowed->Field("Parent")));
  auto staff =
      IProjectStaff::Select(a.Account, "Parent=? AND UserID=?",
                            {Parameter::Number(project), Parameter::Number(caller->IUserID())})
          ->ItemAs<IProjectStaff>(1);
  // A running slip starts and stops at the current minute.
  const Date now = Now();
  AddTransaction(a.Account, a.UserName, a.Token, project, DayOf(now), now.Hour(), now.Minute(),
                 now.Hour(), now.Minute(), a.Description, eTransStatus::tsActive,
                 CCur(staff->Rate()), CCur(staff->Cost()), CCur(staff->OTCost()),
                 CCur(staff->OTRate()), "", a.TaskID, CLng(staff->IProjectStaffID()), false);
  work.Commit();
}

BRIVOS_METHOD(CProjectMgr, RestartTransaction) {
  UnitOfWork work(a.Account);
  std::shared_ptr<IProjectTransaction> slip =
      GetTransaction(a.Account, a.UserName, a.Token, a.TransID);
  StopActiveTransaction(a.Account, a.UserName, a.Token);
  UpdateTransactionStatus(a.Account, a.UserName, a.Token, a.TransID, eTransStatus::tsComplete);
  const Date now = Now();
  AddTransaction(a.Account, a.UserName, a.Token, slip->ProjectID(), DayOf(now), now.Hour(),
                 now.Minute(), now.Hour(), now.Minute(), slip->Description(),
                 eTransStatus::tsActive, slip->StaffRate(), slip->StaffCost(), slip->OTCost(),
                 slip->OTRate(), "", slip->TaskID(), slip->StaffID(), slip->OverTime());
  work.Commit();
}

BRIVOS_METHOD(CProjectMgr, StopActiveTransaction) {
  const Date now = Now();
  const Variant stop(SlipTime(now, now.Hour(), now.Minute()));
  UpdateWhere<X>(
      a.Account, {{X::kStopTime, stop}, {X::kStatus, eTransStatus::tsComplete}},
      "Status=? AND StaffID IN (SELECT IProjectStaffID FROM IProjectStaff WHERE UserID=(SELECT "
      "IUserID FROM IUser WHERE UserName=? AND Parent=(SELECT ISubScriberID FROM ISubScriber "
      "WHERE AccountNo=?)))",
      {X::P(X::kStatus, eTransStatus::tsActive), Parameter::QuotedText(a.UserName),
       Parameter::QuotedText(AccountNumberOf(a.Account))});
}

BRIVOS_METHOD(CProjectMgr, PauseActiveTransaction) {
  std::shared_ptr<IUser> caller = IUser::Caller(a.Account, a.UserName);
  // One unit of work: every running slip is paused, or none.
  UnitOfWork work(a.Account);
  auto running = RunningSlips(a.Account, caller->IUserID());
  const Date now = Now();
  for (const Variant& item : running->Items()) {
    auto slip = std::static_pointer_cast<IProjectTransaction>(item.AsObject());
    std::shared_ptr<IProject> project = slip->Project(a.Account);
    if (!project) RaiseRuntime(errnum::kNoObject);
    const int chunk = std::max(1, static_cast<int>(CLng(project->TimeChunk())));
    const Date start = CDate(slip->StartTime()), day = DayOf(CDate(slip->TransDate()));
    const Date stop = PausedStop(day, start, now, chunk);
    UpdateTransaction(a.Account, a.UserName, a.Token, slip->IProjectTransactionID(), day,
                      start.Hour(), start.Minute(), stop.Hour(), stop.Minute(), slip->Description(),
                      eTransStatus::tsPaused, slip->StaffRate(), slip->StaffCost(), slip->OTCost(),
                      slip->OTRate(), slip->Error(), slip->TaskID(), slip->StaffID(),
                      slip->OverTime());
    // UpdateTransaction puts the stop on the slip's own day; a stop past
    // midnight belongs to the next.
    if (DayOf(stop) != day) {
      Update<X>(work.Db(), slip->IProjectTransactionID(), {{X::kStopTime, stop}});
    }
  }
  work.Commit();
}

BRIVOS_METHOD(CProjectMgr, UpdateTransactionStatus) {
  // One unit of work: the approval is stamped from the status it replaces.
  UnitOfWork work(a.Account);
  auto old = work.Db().Query(
      "SELECT Status,ApprovedBy,ApprovedOn FROM IProjectTransaction WHERE IProjectTransactionID=?",
      {Parameter::Number(a.TransID)});
  auto [approver, approved_on] =
      projects::ApprovalAfter(old->Field("Status"), old->Field("ApprovedBy"),
                              old->Field("ApprovedOn"), a.Status, a.UserName);
  Update<X>(work.Db(), a.TransID,
            {{X::kStatus, a.Status}, {X::kApprovedBy, approver}, {X::kApprovedOn, approved_on}});
  work.Commit();
}

}  // namespace brivos
