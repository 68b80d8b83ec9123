// CProjectMgr: the live timer and approval.

#include <cmath>

#include "brivos/database/Database.hpp"
#include "brivos/foundation/Clock.hpp"
#include "brivos/foundation/Messages.hpp"
#include "brivos/projects/CProjectMgr.hpp"
#include "brivos/projects/internal/ProjectValues.hpp"
#include "brivos/records/IUser.hpp"

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
  const Date on_day = SlipTime(day, Variant(hour % 24), Variant(minute));
  return hour < 24 ? on_day : Date::FromSerial(on_day.Serial() + 1);
}

}  // namespace

BRIVOS_METHOD(CProjectMgr, GetActiveTransaction) {
  std::shared_ptr<IUser> caller = IUser::Caller(a.Account, a.UserName);
  auto running = X::Select(
      a.Account,
      "Status=0 AND StaffID IN (SELECT IProjectStaffID FROM IProjectStaff WHERE UserID=?)",
      {Parameter::Number(caller->IUserID())});
  if (running->Count() == 0) return nullptr;
  return running->ItemAs<IProjectTransaction>(1);
}

void CProjectMgr::AddRunningSlip(Variant& Account, Variant& UserName, Variant& Token,
                                 Variant ProjectID, Variant Description, Variant StaffRate,
                                 Variant StaffCost, Variant OTCost, Variant OTRate, Variant TaskID,
                                 Variant StaffID, Variant OverTime) {
  const Date now = Now();
  Variant day(DayOf(now)), hour(now.Hour()), minute(now.Minute()), status(0), error("");
  Variant start_hour = hour, start_minute = minute;
  AddTransaction(Account, UserName, Token, ProjectID, day, start_hour, start_minute, hour, minute,
                 Description, status, StaffRate, StaffCost, OTCost, OTRate, error, TaskID, StaffID,
                 OverTime);
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
  AddRunningSlip(a.Account, a.UserName, a.Token, project, a.Description, CCur(staff->Rate()),
                 CCur(staff->Cost()), CCur(staff->OTCost()), CCur(staff->OTRate()), a.TaskID,
                 CLng(staff->IProjectStaffID()), Variant(false));
  work.Commit();
}

BRIVOS_METHOD(CProjectMgr, RestartTransaction) {
  UnitOfWork work(a.Account);
  std::shared_ptr<IProjectTransaction> slip =
      GetTransaction(a.Account, a.UserName, a.Token, a.TransID);
  StopActiveTransaction(a.Account, a.UserName, a.Token);
  Variant complete(1);
  UpdateTransactionStatus(a.Account, a.UserName, a.Token, a.TransID, complete);
  AddRunningSlip(a.Account, a.UserName, a.Token, slip->ProjectID(), slip->Description(),
                 slip->StaffRate(), slip->StaffCost(), slip->OTCost(), slip->OTRate(),
                 slip->TaskID(), slip->StaffID(), slip->OverTime());
  work.Commit();
}

BRIVOS_METHOD(CProjectMgr, StopActiveTransaction) {
  const Date now = Now();
  const Variant stop(SlipTime(now, Variant(now.Hour()), Variant(now.Minute())));
  Connection::Open(a.Account).Execute(
      "UPDATE IProjectTransaction SET StopTime=?,Status=? WHERE Status=? AND StaffID IN (SELECT "
      "IProjectStaffID FROM IProjectStaff WHERE UserID=(SELECT IUserID FROM IUser WHERE "
      "UserName=? AND Parent=(SELECT ISubScriberID FROM ISubScriber WHERE AccountNo=?)))",
      {X::P(X::kStopTime, stop), X::P(X::kStatus, 1), X::P(X::kStatus, 0),
       Parameter::QuotedText(a.UserName), Parameter::QuotedText(AccountNumberOf(a.Account))});
}

BRIVOS_METHOD(CProjectMgr, PauseActiveTransaction) {
  std::shared_ptr<IUser> caller = IUser::Caller(a.Account, a.UserName);
  // One unit of work: every running slip is paused, or none.
  UnitOfWork work(a.Account);
  auto running = X::Select(
      a.Account,
      "Status=0 AND StaffID IN (SELECT IProjectStaffID FROM IProjectStaff WHERE UserID=?)",
      {Parameter::Number(caller->IUserID())});
  const Date now = Now();
  for (const Variant& item : running->Items()) {
    auto slip = std::static_pointer_cast<IProjectTransaction>(item.AsObject());
    std::shared_ptr<IProject> project = slip->Project(a.Account);
    if (!project) RaiseRuntime(errnum::kNoObject);
    const int chunk = std::max(1, static_cast<int>(CLng(project->TimeChunk())));
    const Date start = CDate(slip->StartTime()), day = DayOf(CDate(slip->TransDate()));
    const Date stop = PausedStop(day, start, now, chunk);
    Variant id = slip->IProjectTransactionID(), date(day), start_hour(start.Hour()),
            start_minute(start.Minute()), stop_hour(stop.Hour()), stop_minute(stop.Minute()),
            description = slip->Description(), paused(4), rate = slip->StaffRate(),
            cost = slip->StaffCost(), ot_cost = slip->OTCost(), ot_rate = slip->OTRate(),
            error = slip->Error(), task = slip->TaskID(), staff = slip->StaffID(),
            overtime = slip->OverTime();
    UpdateTransaction(a.Account, a.UserName, a.Token, id, date, start_hour, start_minute, stop_hour,
                      stop_minute, description, paused, rate, cost, ot_cost, ot_rate, error, task,
                      staff, overtime);
    if (DayOf(stop) != day) {
      work.Db().Execute("UPDATE IProjectTransaction SET StopTime=? WHERE IProjectTransactionID=?;",
                        {X::P(X::kStopTime, stop), X::P(X::kIProjectTransactionID, id)});
    }
  }
  work.Commit();
}

BRIVOS_METHOD(CProjectMgr, UpdateTransactionStatus) {
  const Parameter id = Parameter::Number(a.TransID);
  // One unit of work: the approval is stamped from the status it replaces.
  UnitOfWork work(a.Account);
  auto old = work.Db().Query(
      "SELECT Status,ApprovedBy,ApprovedOn FROM IProjectTransaction WHERE IProjectTransactionID=?",
      {id});
  auto [approver, approved_on] =
      projects::ApprovalAfter(old->Field("Status"), old->Field("ApprovedBy"),
                              old->Field("ApprovedOn"), a.Status, a.UserName);
  work.Db().Execute(
      "UPDATE IProjectTransaction SET Status=?,ApprovedBy=?,ApprovedOn=? WHERE "
      "IProjectTransactionID=?;",
      {X::P(X::kStatus, a.Status), X::P(X::kApprovedBy, approver),
       X::P(X::kApprovedOn, approved_on), id});
  work.Commit();
}

}  // namespace brivos
