#pragma once

#include <memory>

#include "brivos/automation/Manager.hpp"
#include "brivos/automation/Recordset.hpp"

namespace brivos {

// clang-format off
#define BRIVOS_CREPORTMGR_METHODS(M) \
  /* The rows of `sSQL`, sent to the database unchanged, as a disconnected  */ \
  /* result set. A Null text raises 94. The text reads and writes the       */ \
  /* account's own tables only: anything reaching another file or changing  */ \
  /* the connection (attaching files, changing settings, temporary tables) */ \
  /* raises -2147217900 (see Connection::QueryConfined). A statement past   */ \
  /* its time budget or a ceiling of its result (ReportResultCeilings)      */ \
  /* stops and raises -2147217871, returning nothing.                       */ \
  M(ADMIN, std::shared_ptr<Recordset>, ExecReportQuery, Account, sSQL) \
  /* The slips dated FromDate to ToDate (whole days, at most 366) summed by */ \
  /* By: "project", "person" or "week" (its Monday, yyyy-mm-dd). Rows Key,  */ \
  /* Label, Minutes, Value in the order of their Key as text. A slip counts */ \
  /* its minutes from StartTime to StopTime, rounded, and is worth them at  */ \
  /* its StaffRate an hour (OTRate when OverTime); only slips of a staff    */ \
  /* row of a user count. ClientID, ProjectID and UserID, when neither 0    */ \
  /* nor Null, keep the slips of that client's projects, that project and  */ \
  /* that user. Any other By, or a span outside 1..366 days, raises 5.      */ \
  M(OWN(UserID), std::shared_ptr<Recordset>, GetHoursReport, Account, UserName, Token, By, \
    FromDate, ToDate, ClientID, ProjectID, UserID) \
  /* GetHoursReport by project of the approved slips only.                  */ \
  M(OWN(UserID), std::shared_ptr<Recordset>, GetUnbilledReport, Account, UserName, Token, \
    FromDate, ToDate, ClientID, ProjectID, UserID) \
  /* Up to MaxRows (1..10000) slips dated FromDate to ToDate with a key     */ \
  /* above AfterID, in the order of their key, each with its names: rows   */ \
  /* ID, Project, Task, Person, TransDate, StartTime, StopTime, Minutes,    */ \
  /* Status, Value. UserID as in GetHoursReport. Fewer than MaxRows rows    */ \
  /* means there are no more; the next read starts after the last ID.       */ \
  M(OWN(UserID), std::shared_ptr<Recordset>, GetSlipRows, Account, UserName, Token, FromDate, \
    ToDate, UserID, AfterID, MaxRows) \
  /* The same of the expenses: rows ID, Project, Person, ExpenseDate,       */ \
  /* ExpenseType, Description, Amount, ExchangeRate, Approved, Billed.     */ \
  M(OWN(UserID), std::shared_ptr<Recordset>, GetExpenseRows, Account, UserName, Token, \
    FromDate, ToDate, UserID, AfterID, MaxRows)
// clang-format on

// Runs a caller's own statement against a subscriber database, and sums
// the firm's slips in the database for its reports and exports.
class CReportMgr final : public Dispatch<CReportMgr> {
  BRIVOS_MANAGER(CReportMgr, BRIVOS_CREPORTMGR_METHODS)
};

}  // namespace brivos
