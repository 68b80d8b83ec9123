#pragma once

#include "brivos/records/Record.hpp"

namespace brivos {

class CITaxCode;
class IExpenseReport;
class IProject;
class IProjectInvoice;
class IProjectStaff;

// An expense charged to a project by a staff member, optionally on an
// employee expense report and, once billed, on an invoice.
#define BRIVOS_IPROJECTEXPENSE_COLUMNS(COL)                   \
  COL(IProjectExpenseID, IProjectExpenseID, Key, 0, kNoFlags) \
  COL(ProjectID, Parent, Long, 0, kIndexed)                   \
  COL(ExpenseDate, ExpenseDate, Date, 0, kWidthMember)        \
  COL(PONumber, PONumber, Text, 50, kWidthMember)             \
  COL(InvoiceNumber, InvoiceNumber, Text, 50, kWidthMember)   \
  COL(Amount, Amount, Currency, 0, kWidthMember)              \
  COL(Markup, Markup, Currency, 0, kWidthMember)              \
  COL(Description, Description, Memo, 2000, kWidthMember)     \
  COL(Billed, Billed, Boolean, 0, kWidthMember)               \
  COL(Approved, Approved, Boolean, 0, kWidthMember)           \
  COL(ApprovedBy, ApprovedBy, Text, 30, kWidthMember)         \
  COL(ApprovedOn, ApprovedOn, Date, 0, kWidthMember)          \
  COL(ExpenseType, ExpenseType, Long, 0, kWidthMember)        \
  COL(ExchangeRate, ExchangeRate, Double, 0, kWidthMember)    \
  COL(PaymentType, PaymentType, Long, 0, kWidthMember)        \
  COL(Establishment, Establishment, Text, 255, kWidthMember)  \
  COL(City, City, Text, 255, kWidthMember)                    \
  COL(Route, Route, Text, 255, kWidthMember)                  \
  COL(Distance, Distance, Double, 0, kWidthMember)            \
  COL(Rate, Rate, Currency, 0, kWidthMember)                  \
  COL(StaffID, StaffID, Long, 0, kIndexed)                    \
  COL(InvoiceID, InvoiceID, Long, 0, kIndexed)                \
  COL(ExpenseReportID, ExpenseReportID, Long, 0, kIndexed)    \
  COL(TaxCodeID, TaxCodeID, Long, 0, kNoFlags)

#define BRIVOS_IPROJECTEXPENSE_RELATIONS(ONE, MANY)                   \
  ONE(Project, IProject, ProjectID)                                   \
  ONE(Staff, IProjectStaff, StaffID)                                  \
  /* No object while the expense is unbilled (InvoiceID Null). */     \
  ONE(Invoice, IProjectInvoice, InvoiceID)                            \
  /* No object for an expense on no report (ExpenseReportID Null). */ \
  ONE(ExpenseReport, IExpenseReport, ExpenseReportID)                 \
  ONE(TaxCode, CITaxCode, TaxCodeID)

class IProjectExpense final : public Record {
  BRIVOS_RECORD(IProjectExpense, BRIVOS_IPROJECTEXPENSE_COLUMNS, BRIVOS_IPROJECTEXPENSE_RELATIONS)
};

}  // namespace brivos
