#pragma once

#include "brivos/records/Record.hpp"

namespace brivos {

class ISubScriber;
class IUser;
class SFAProspect;

// A project of the subscriber for one client; the owner of its staff, tasks,
// time slips, expenses and invoices.
#define BRIVOS_IPROJECT_COLUMNS(COL)                      \
  COL(IProjectID, IProjectID, Key, 0, kNoFlags)           \
  COL(SubscriberID, Parent, Long, 0, kNoFlags)            \
  COL(Name, Name, Text, 255, kWidthMember)                \
  COL(Description, Description, Memo, 2000, kWidthMember) \
  COL(CreateDate, CreateDate, Date, 0, kWidthMember)      \
  COL(Status, Status, Long, 0, kWidthMember)              \
  COL(StartDate, StartDate, Date, 0, kWidthMember)        \
  COL(EndDate, EndDate, Date, 0, kWidthMember)            \
  COL(Billable, Billable, Boolean, 0, kWidthMember)       \
  COL(EstCost, EstCost, Currency, 0, kWidthMember)        \
  COL(EstRevenue, EstRevenue, Currency, 0, kWidthMember)  \
  COL(OTAllowed, OTAllowed, Boolean, 0, kWidthMember)     \
  COL(TimeChunk, TimeChunk, Long, 0, kWidthMember)        \
  COL(CreatorID, CreatorID, Long, 0, kNoFlags)            \
  COL(ManagerID, ManagerID, Long, 0, kIndexed)            \
  COL(ClientID, ClientID, Long, 0, kIndexed)

#define BRIVOS_IPROJECT_RELATIONS(ONE, MANY)                                           \
  ONE(Subscriber, ISubScriber, SubscriberID)                                           \
  ONE(Creator, IUser, CreatorID)                                                       \
  ONE(Manager, IUser, ManagerID)                                                       \
  ONE(Client, SFAProspect, ClientID)                                                   \
  /* Each collection is read again on every call. */                                   \
  MANY(Staff, IProjectStaff, "")                                                       \
  /* Slips by day, then start time, then staff assignment. */                          \
  MANY(Transactions, IProjectTransaction, "TransDate ASC, StartTime ASC, StaffID ASC") \
  /* Tasks by planned start, then planned duration. */                                 \
  /* No space after the comma: callers have always received this text. */              \
  MANY(Tasks, IProjectTask, "PlannedStart ASC,PlannedDuration ASC")                    \
  MANY(Invoices, IProjectInvoice, "")                                                  \
  MANY(Expenses, IProjectExpense, "")

class IProject final : public Record {
  BRIVOS_RECORD(IProject, BRIVOS_IPROJECT_COLUMNS, BRIVOS_IPROJECT_RELATIONS)
};

}  // namespace brivos
