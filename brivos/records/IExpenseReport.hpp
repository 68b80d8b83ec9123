#pragma once

#include "brivos/records/Record.hpp"

namespace brivos {

class IUser;

// An employee's expense report; its owner is the user. Unlike the slips and
// expenses, the approver columns come ApprovedOn before ApprovedBy, the
// approver name is 50 wide and Description is a plain 255-character text.
#define BRIVOS_IEXPENSEREPORT_COLUMNS(COL)                  \
  COL(IExpenseReportID, IExpenseReportID, Key, 0, kNoFlags) \
  COL(UserID, Parent, Long, 0, kIndexed)                    \
  COL(ReportNo, ReportNo, Text, 30, kWidthMember)           \
  COL(Name, Name, Text, 50, kWidthMember)                   \
  COL(Description, Description, Text, 255, kWidthMember)    \
  COL(CreateDate, CreateDate, Date, 0, kWidthMember)        \
  COL(CashAdvance, CashAdvance, Currency, 0, kWidthMember)  \
  COL(Total, Total, Currency, 0, kWidthMember)              \
  COL(AmountPaid, AmountPaid, Currency, 0, kWidthMember)    \
  COL(Approved, Approved, Boolean, 0, kWidthMember)         \
  COL(ApprovedOn, ApprovedOn, Date, 0, kWidthMember)        \
  COL(ApprovedBy, ApprovedBy, Text, 50, kWidthMember)

#define BRIVOS_IEXPENSEREPORT_RELATIONS(ONE, MANY) ONE(User, IUser, UserID)

class IExpenseReport final : public Record {
  BRIVOS_RECORD(IExpenseReport, BRIVOS_IEXPENSEREPORT_COLUMNS, BRIVOS_IEXPENSEREPORT_RELATIONS)
};

}  // namespace brivos
