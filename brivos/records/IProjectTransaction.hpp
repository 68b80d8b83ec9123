#pragma once

#include "brivos/records/Record.hpp"

namespace brivos {

class IProject;
class IProjectInvoice;
class IProjectStaff;
class IProjectTask;

// A time slip: one stretch of work by one staff member on one task. Its
// overtime columns come OTCost before OTRate, the reverse of IProjectStaff.
// Status is indexed only after Parent: every filter on it is joined to
// Parent, StaffID or InvoiceID. StaffID is indexed together with TransDate
// (see the source file).
#define BRIVOS_IPROJECTTRANSACTION_COLUMNS(COL)                       \
  COL(IProjectTransactionID, IProjectTransactionID, Key, 0, kNoFlags) \
  COL(ProjectID, Parent, Long, 0, kNoFlags)                           \
  COL(TransDate, TransDate, Date, 0, kWidthMember)                    \
  COL(StartTime, StartTime, Date, 0, kWidthMember)                    \
  COL(StopTime, StopTime, Date, 0, kWidthMember)                      \
  COL(Description, Description, Memo, 2000, kWidthMember)             \
  COL(StaffRate, StaffRate, Currency, 0, kWidthMember)                \
  COL(StaffCost, StaffCost, Currency, 0, kWidthMember)                \
  COL(OTCost, OTCost, Currency, 0, kWidthMember)                      \
  COL(OTRate, OTRate, Currency, 0, kWidthMember)                      \
  COL(Error, Error, Text, 255, kWidthMember)                          \
  COL(Status, Status, Long, 0, kWidthMember)                          \
  COL(ApprovedBy, ApprovedBy, Text, 30, kWidthMember)                 \
  COL(ApprovedOn, ApprovedOn, Date, 0, kWidthMember)                  \
  COL(OverTime, OverTime, Boolean, 0, kWidthMember)                   \
  COL(TaskID, TaskID, Long, 0, kIndexed)                              \
  COL(StaffID, StaffID, Long, 0, kNoFlags)                            \
  COL(InvoiceID, InvoiceID, Long, 0, kIndexed)

#define BRIVOS_IPROJECTTRANSACTION_RELATIONS(ONE, MANY)        \
  ONE(Project, IProject, ProjectID)                            \
  ONE(Task, IProjectTask, TaskID)                              \
  ONE(Staff, IProjectStaff, StaffID)                           \
  /* No object while the slip is unbilled (InvoiceID Null). */ \
  ONE(Invoice, IProjectInvoice, InvoiceID)

class IProjectTransaction final : public Record {
  BRIVOS_RECORD(IProjectTransaction, BRIVOS_IPROJECTTRANSACTION_COLUMNS,
                BRIVOS_IPROJECTTRANSACTION_RELATIONS)
};

}  // namespace brivos
