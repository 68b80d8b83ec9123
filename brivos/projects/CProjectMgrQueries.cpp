// CProjectMgr: timesheets and the slips of a project.

#include "brivos/projects/CProjectMgr.hpp"
#include "brivos/projects/internal/ProjectValues.hpp"
#include "brivos/records/EnumeratedTypes.hpp"
#include "brivos/records/IUser.hpp"

namespace brivos {

using X = IProjectTransaction;

namespace {

// A date written into a statement as text, which CDATE reads back.
Parameter DateText(const Date& date) { return Parameter::Text(Variant(date.ToString())); }

Parameter UserKey(const Variant& account, const Variant& user_name) {
  return Parameter::Number(IUser::Caller(account, user_name)->IUserID());
}

Parameter ActiveProjectStatus() { return IProject::P(IProject::kStatus, eProjectStatus::psActive); }

}  // namespace

BRIVOS_METHOD(CProjectMgr, GetTransactionsForDay) {
  const Parameter user = UserKey(a.Account, a.UserName);
  return X::FromQuery(
      a.Account,
      "SELECT * FROM IProjectTransaction WHERE TransDate=CDATE(?) AND StaffID IN (SELECT "
      "IProjectStaffID FROM IProjectStaff WHERE UserID=?) ORDER BY Parent ASC, StartTime ASC;",
      {DateText(CDate(a.DayDate)), user});
}

BRIVOS_METHOD(CProjectMgr, GetTransactionsForWeek) {
  const Parameter user = UserKey(a.Account, a.ForUserName);
  const Date first = CDate(a.WeekDate);
  const Date last = Date::FromSerial(first.Serial() + 6);
  return X::FromQuery(
      a.Account,
      "SELECT * FROM IProjectTransaction WHERE TransDate>=CDATE(?) AND TransDate<=CDATE(?) AND "
      "StaffID IN (SELECT IProjectStaffID FROM IProjectStaff WHERE UserID=?) ORDER BY Parent "
      "ASC, TransDate ASC, StartTime ASC;",
      {DateText(first), DateText(last), user});
}

BRIVOS_METHOD(CProjectMgr, GetProjectsForUser) {
  const std::string order = projects::ProjectOrder(a.SortOrder);
  const Parameter user = UserKey(a.Account, a.UserName);
  // Outside the four orders nothing follows ORDER BY and the database
  // rejects the statement.
  return IProject::FromQuery(
      a.Account,
      "SELECT * FROM IProject WHERE Status=? AND (IProjectID IN (SELECT Parent FROM "
      "IProjectStaff WHERE UserID=?)) OR (ManagerID=?) ORDER BY " +
          order + ";",
      {ActiveProjectStatus(), user, user});
}

BRIVOS_METHOD(CProjectMgr, GetPostableProjectsForUser) {
  return IProject::FromQuery(a.Account,
                             "SELECT * FROM IProject WHERE Status=? AND (IProjectID IN (SELECT "
                             "Parent FROM IProjectStaff WHERE UserID=?)) ORDER BY Name ASC;",
                             {ActiveProjectStatus(), UserKey(a.Account, a.UserName)});
}

BRIVOS_METHOD(CProjectMgr, GetTasksForUser) {
  const Parameter user = UserKey(a.Account, a.UserName);
  return IProjectTask::FromQuery(
      a.Account,
      "SELECT * FROM IProjectTask WHERE Parent IN (SELECT IProjectID FROM IProject WHERE "
      "Status=? AND (IProjectID IN (SELECT Parent FROM IProjectStaff WHERE UserID=?)) OR "
      "(ManagerID=?));",
      {ActiveProjectStatus(), user, user});
}

BRIVOS_METHOD(CProjectMgr, GetProjTransactionsByStatus) {
  const Parameter project = Parameter::Number(a.ProjectID);
  const Parameter status = Parameter::Number(a.TransStatus);
  // Listing running slips lists paused ones too.
  const Parameter also = CDbl(a.TransStatus) == eTransStatus::tsActive
                             ? X::P(X::kStatus, eTransStatus::tsPaused)
                             : status;
  std::string where = "Parent=? AND (Status=? OR Status=?)";
  if (!CBool(a.IncludeErrors)) where += " AND (Error IS NULL OR Error='')";
  return X::Select(a.Account, where, {project, status, also}, "TransDate ASC");
}

BRIVOS_METHOD(CProjectMgr, GetProjErrorTransactions) {
  return X::Select(a.Account, "Parent=? AND (Error IS NOT NULL AND Error<>'')",
                   {Parameter::Number(a.ProjectID)}, "TransDate ASC");
}

BRIVOS_METHOD(CProjectMgr, GetProjectTaskActuals) {
  auto slips =
      X::Select(a.Account, "Parent=? AND TaskID=?",
                {Parameter::Number(a.ProjectID), Parameter::Number(a.TaskID)}, "TransDate ASC");
  Variant start(0);
  double hours = 0;
  for (const Variant& item : slips->Items()) {
    auto slip = std::static_pointer_cast<IProjectTransaction>(item.AsObject());
    const Variant day = slip->TransDate();
    if (!day.IsNull() && (start.Type() != VarType::Date || CDate(day) < CDate(start))) {
      start = Variant(CDate(day));
    }
    // A slip without both times has no span to add.
    if (!slip->StartTime().IsNull() && !slip->StopTime().IsNull()) {
      hours += (CDate(slip->StopTime()).Serial() - CDate(slip->StartTime()).Serial()) * 24;
    }
  }
  return Variant(std::vector<Variant>{start, Variant(hours), Variant()});
}

}  // namespace brivos
