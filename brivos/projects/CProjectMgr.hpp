#pragma once

#include <cstdint>
#include <memory>
#include <utility>

#include "brivos/automation/Collection.hpp"
#include "brivos/automation/Manager.hpp"
#include "brivos/automation/Recordset.hpp"
#include "brivos/projects/errCProjectMgr.hpp"
#include "brivos/records/IProject.hpp"
#include "brivos/records/IProjectExpense.hpp"
#include "brivos/records/IProjectStaff.hpp"
#include "brivos/records/IProjectTask.hpp"
#include "brivos/records/IProjectTransaction.hpp"

namespace brivos {

// clang-format off
#define BRIVOS_CPROJECTMGR_METHODS(M) \
  /* --- Projects ---------------------------------------------------------- */ \
  /* Adds a project of the caller's subscriber, created by the caller now,  */ \
  /* and returns its key. StartDate and EndDate: Empty, "" and Null store   */ \
  /* Null, anything else must be a date (13). TimeChunk is clamped to 1..60 */ \
  /* and the clamped value left in the caller's argument. Raises 91 for an  */ \
  /* unknown caller; a refused call writes nothing.                         */ \
  M(ADMIN, std::int32_t, AddProject, Account, UserName, Token, Name, Description, Status, StartDate, \
    EndDate, Billable, EstCost, EstRevenue, OTAllowed, BYREF(TimeChunk), ClientID, ManagerID) \
  /* Rewrites a project as AddProject writes it; subscriber, creator and    */ \
  /* creation stamp stay. An unknown ProjectID changes nothing.             */ \
  M(ADMIN, void, UpdateProject, Account, UserName, Token, ProjectID, ClientID, Name, Description, \
    Status, StartDate, EndDate, Billable, EstCost, EstRevenue, OTAllowed, BYREF(TimeChunk), \
    ManagerID) \
  /* Deletes a project that has no invoices, time slips or expenses, and    */ \
  /* nothing else: its staff and tasks stay. Refuses with                   */ \
  /* eProjectHasInvoices, eProjectHasTransactions or eProjectHasExpenses,   */ \
  /* the first that applies; the checks and the delete are one unit of      */ \
  /* work. Raises 9 for an unknown project.                                 */ \
  M(ADMIN, void, DeleteProject, Account, UserName, Token, ProjectID) \
  /* The project's tasks by name, inactive ones included.                   */ \
  M(ANY, std::shared_ptr<Collection>, GetProjTasksAlphaSort, Account, UserName, Token, ProjectID) \
  /* The caller's subscriber's projects in SortOrder 0 (client, name), 1    */ \
  /* (client, name descending), 2 (name) or 3 (name descending); any other  */ \
  /* order leaves the ordering clause empty and the database rejects the    */ \
  /* statement (-2147217900).                                               */ \
  M(ANY, std::shared_ptr<Collection>, GetProjects, Account, UserName, Token, SortOrder) \
  /* The project with this key; 9 when there is none.                      */ \
  M(ANY, std::shared_ptr<IProject>, GetProject, Account, UserName, Token, ProjectID) \
  /* --- Staff and tasks (the caller is not loaded) ------------------------ */ \
  /* Puts a user on a project with four hourly rates and returns the new    */ \
  /* row's key. Refuses a second row for the same project and user with     */ \
  /* eStaffExists; the check and the insert are one unit of work.           */ \
  M(ADMIN, std::int32_t, AddStaff, Account, UserName, Token, ProjectID, UserID, Rate, Cost, OTRate, \
    OTCost) \
  /* Changes the four rates only; slips keep the rates they carry.          */ \
  M(ADMIN, void, UpdateStaff, Account, UserName, Token, StaffID, Rate, Cost, OTRate, OTCost) \
  /* The staff row with this key; 9 when there is none.                     */ \
  M(ADMIN, std::shared_ptr<IProjectStaff>, GetStaff, Account, UserName, Token, StaffID) \
  /* Deletes the staff row; slips and expenses naming it stay.              */ \
  M(ADMIN, void, DeleteStaff, Account, UserName, Token, StaffID) \
  /* Adds a task as given and returns its key.                              */ \
  M(ADMIN, std::int32_t, AddTask, Account, UserName, Token, ProjectID, Name, Description, \
    EffectiveDate, Inactive, PlannedStart, PlannedDuration, PlannedFinish) \
  /* Rewrites a task; it never moves to another project.                    */ \
  M(ADMIN, void, UpdateTask, Account, UserName, Token, TaskID, Name, Description, EffectiveDate, \
    Inactive, PlannedStart, PlannedDuration, PlannedFinish) \
  /* Deletes the task; slips naming it stay.                                */ \
  M(ADMIN, void, DeleteTask, Account, UserName, Token, TaskID) \
  /* The task with this key; 9 when there is none.                          */ \
  M(ANY, std::shared_ptr<IProjectTask>, GetTask, Account, UserName, Token, TaskID) \
  /* --- Time slips -------------------------------------------------------- */ \
  /* Stores a slip on the day of TransDate from StartHour:StartMinute to    */ \
  /* EndHour:EndMinute (each at the minute plus one second; a stop before   */ \
  /* the start stays so) and returns its key. The caller, staff row,        */ \
  /* project and task are loaded first: 91 or 9 when one is missing, and    */ \
  /* then nothing is stored. Hours outside 0..23, minutes outside 0..59 or  */ \
  /* parts that are not numbers raise 13. Approval columns stay empty.      */ \
  M(OWN(StaffID), std::int32_t, AddTransaction, Account, UserName, Token, ProjectID, TransDate, StartHour, \
    StartMinute, EndHour, EndMinute, Description, Status, StaffRate, StaffCost, OTCost, OTRate, \
    Error, TaskID, StaffID, OverTime) \
  /* Rewrites a slip; its project becomes the task's project. A change to   */ \
  /* tsApproved from tsActive or tsComplete stamps the caller and the time  */ \
  /* as approver, a change from tsApproved or above to below it clears      */ \
  /* them, others keep them; the old status is read in the same unit of     */ \
  /* work as the write. Raises 9 for an unknown slip or task, before        */ \
  /* anything is written.                                                   */ \
  M(EDIT(TransID, StaffID), void, UpdateTransaction, Account, UserName, Token, TransID, TransDate, StartHour, \
    StartMinute, EndHour, EndMinute, Description, Status, StaffRate, StaffCost, OTCost, OTRate, \
    Error, TaskID, StaffID, OverTime) \
  /* Deletes the slip whatever its status.                                  */ \
  M(EDIT(TransID), void, DeleteTransaction, Account, UserName, Token, TransID) \
  /* The slip with this key; 9 when there is none.                          */ \
  M(OWN(TransID), std::shared_ptr<IProjectTransaction>, GetTransaction, Account, UserName, Token, TransID) \
  /* --- Expenses (first group) --------------------------------------------- */ \
  /* Adds an expense as given, unbilled, and returns its key. ReportID and  */ \
  /* TaxCodeID 0 store Null. ExpenseDate must be a date.                    */ \
  M(ADMIN, std::int32_t, AddExpense, Account, UserName, Token, ReportID, ProjectID, ExpenseDate, \
    PONumber, InvoiceNumber, Amount, Markup, Description, Approved, StaffID, ExpenseType, \
    ExchangeRate, PaymentType, Establishment, City, Route, Distance, Rate, TaxCodeID) \
  /* Rewrites an expense's own fields; project and report stay. Approved or */ \
  /* billed expenses are rewritten too; an unknown key changes nothing.     */ \
  M(ADMIN_EDIT(ExpenseID), void, UpdateExpense, Account, UserName, Token, ExpenseID, ExpenseDate, PONumber, \
    InvoiceNumber, Amount, Markup, Description, Billed, Approved, StaffID, ExpenseType, \
    ExchangeRate, PaymentType, Establishment, City, Route, Distance, Rate, TaxCodeID) \
  /* Deletes an expense unless it is approved (eExpenseApproved) or on an   */ \
  /* approved report (eExpenseReportApproved, naming the report's user and  */ \
  /* number); the checks and the delete are one unit of work. Raises 9 for  */ \
  /* an unknown expense, 91 when its report no longer exists.               */ \
  M(EDIT(ExpenseID), void, DeleteExpense, Account, UserName, Token, ExpenseID) \
  /* The expense with this key; 9 when there is none.                       */ \
  M(OWN(ExpenseID), std::shared_ptr<IProjectExpense>, GetExpense, Account, UserName, Token, ExpenseID) \
  /* --- Timesheets --------------------------------------------------------- */ \
  /* The caller's slips of that day, by project and then start.             */ \
  M(ANY, std::shared_ptr<Collection>, GetTransactionsForDay, Account, UserName, Token, DayDate) \
  /* ForUserName's slips of the seven days from WeekDate, by project, day   */ \
  /* and start.                                                             */ \
  M(OWN(ForUserName), std::shared_ptr<Collection>, GetTransactionsForWeek, Account, UserName, Token, WeekDate, \
    ForUserName) \
  /* The expenses on the caller's staff rows, by project and then date.     */ \
  M(ANY, std::shared_ptr<Collection>, GetExpensesForUser, Account, UserName, Token) \
  /* The active projects the caller is on the staff of, and every project   */ \
  /* the caller manages, in SortOrder as GetProjects.                       */ \
  M(ANY, std::shared_ptr<Collection>, GetProjectsForUser, Account, UserName, Token, SortOrder) \
  /* The active projects the caller is on the staff of, by name.            */ \
  M(ANY, std::shared_ptr<Collection>, GetPostableProjectsForUser, Account, UserName, Token) \
  /* The tasks of the projects GetProjectsForUser lists.                    */ \
  M(ANY, std::shared_ptr<Collection>, GetTasksForUser, Account, UserName, Token) \
  /* --- Expenses a staff member enters ------------------------------------ */ \
  /* Rewrites an expense's own fields and project; markup, billing,         */ \
  /* approval, staff row and report stay. Moving it to a project that is    */ \
  /* not active raises eProjectNotActive.                                   */ \
  M(EDIT(ExpenseID), void, UpdateStaffExpense, Account, UserName, Token, ExpenseID, ExpenseDate, PONumber, \
    InvoiceNumber, Amount, Description, ProjectID, ExpenseType, ExchangeRate, PaymentType, \
    Establishment, City, Route, Distance, Rate, TaxCodeID) \
  /* Adds the caller's own expense on an active project (eProjectNotActive  */ \
  /* otherwise) without markup or approval; 3021 when the caller is not on  */ \
  /* the project's staff. Returns the new key.                              */ \
  M(OWN(ReportID), std::int32_t, AddStaffExpense, Account, UserName, Token, ReportID, ExpenseDate, PONumber, \
    InvoiceNumber, Amount, Description, ProjectID, ExpenseType, ExchangeRate, PaymentType, \
    Establishment, City, Route, Distance, Rate, TaxCodeID) \
  /* --- The live timer and approval --------------------------------------- */ \
  /* The caller's first running slip (tsActive), or nullptr.                */ \
  M(ANY, std::shared_ptr<IProjectTransaction>, GetActiveTransaction, Account, UserName, Token) \
  /* Stops the caller's running slips and starts one on the task at the     */ \
  /* current minute with the caller's staff rates, all in one unit of work. */ \
  /* Refuses with eInvalidTask when the task does not exist or the caller   */ \
  /* is not on its project's staff; then nothing changes.                   */ \
  M(ANY, void, StartTransaction, Account, UserName, Token, TaskID, Description) \
  /* Stops the caller's running slips, completes the slip and starts a      */ \
  /* running copy of it on its own staff row, in one unit of work.          */ \
  M(EDIT(TransID), void, RestartTransaction, Account, UserName, Token, TransID) \
  /* Completes every running slip of the caller with the current minute as  */ \
  /* its stop.                                                              */ \
  M(ANY, void, StopActiveTransaction, Account, UserName, Token) \
  /* Pauses every running slip of the caller, or none: tsPaused, the stop   */ \
  /* rounded up to the project's time chunk after the current minute, on    */ \
  /* the following day when the rounding passes midnight.                   */ \
  M(ANY, void, PauseActiveTransaction, Account, UserName, Token) \
  /* Sets a slip's status and stamps its approval as UpdateTransaction      */ \
  /* does, in one unit of work. Raises 3021 for an unknown slip.            */ \
  M(EDIT(TransID), void, UpdateTransactionStatus, Account, UserName, Token, TransID, Status) \
  /* --- A week submitted, a slip sent back, an expense approved ----------- */ \
  /* Submits ForUserName's week of seven days from WeekDate: each slip of   */ \
  /* it that is paused, or running with a stop after its start (entered     */ \
  /* after the fact), becomes tsComplete; a slip the timer still runs       */ \
  /* (stopping where it starts) stays running. One unit of work. Returns    */ \
  /* the number of slips submitted.                                         */ \
  M(OWN(ForUserName), std::int32_t, SubmitWeek, Account, UserName, Token, WeekDate, ForUserName) \
  /* Sends an approved slip back to its owner: tsComplete, the approval     */ \
  /* cleared, and Reason (1 to 255 characters after trimming, 5 otherwise)  */ \
  /* kept with the sender and the time, in one unit of work. Refuses a slip */ \
  /* that is not approved, a billed one included, with                      */ \
  /* eTransactionNotApproved; 3021 for an unknown slip.                     */ \
  M(ADMIN_EDIT(TransID), void, ReturnTransaction, Account, UserName, Token, TransID, Reason) \
  /* Why ForUserName's slips of the seven days from WeekDate that are still */ \
  /* below tsApproved were last sent back: a Recordset of TransID, Reason,  */ \
  /* ReturnedBy and ReturnedOn, by day and start.                           */ \
  M(OWN(ForUserName), std::shared_ptr<Recordset>, GetReturnedTransactions, Account, UserName, Token, \
    WeekDate, ForUserName) \
  /* Approves an expense, billing it at Markup percent over its amount (0   */ \
  /* to 1000; 5 otherwise, 6 beyond Currency), stamped with the caller and  */ \
  /* the time. Raises 9 for an unknown expense.                             */ \
  M(ADMIN_EDIT(ExpenseID), void, ApproveExpense, Account, UserName, Token, ExpenseID, Markup) \
  /* --- Project slips ------------------------------------------------------ */ \
  /* The project's slips in TransStatus (tsActive lists tsPaused ones       */ \
  /* too), by day; without error slips unless IncludeErrors.                */ \
  M(ADMIN, std::shared_ptr<Collection>, GetProjTransactionsByStatus, Account, UserName, Token, \
    ProjectID, TransStatus, IncludeErrors) \
  /* The project's slips whose Error is neither Null nor empty, by day.     */ \
  M(ADMIN, std::shared_ptr<Collection>, GetProjErrorTransactions, Account, UserName, Token, ProjectID) \
  /* An array: the earliest day of the task's slips (0 when none), their    */ \
  /* hours, and Empty. ActualStart and ActualDuration are not written.      */ \
  M(ADMIN, Variant, GetProjectTaskActuals, Account, UserName, Token, ProjectID, TaskID, ActualStart, \
    ActualDuration)
// clang-format on

// Projects, their staff and tasks, and the time slips recorded against them.
// Methods call one another through their public forms, so each such call
// keeps its own error convention.
class CProjectMgr final : public Dispatch<CProjectMgr> {
  BRIVOS_MANAGER(CProjectMgr, BRIVOS_CPROJECTMGR_METHODS)

 private:
  // The approver name and approval time a slip gets when its status becomes
  // `NewStatus` (each possibly Null). Raises 9 for an unknown slip.
  std::pair<Variant, Variant> GetApprovalFields(const Variant& Account, const Variant& TransID,
                                                const Variant& NewStatus, const Variant& UserName);
};

}  // namespace brivos
