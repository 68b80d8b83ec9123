#pragma once

#include "brivos/records/Record.hpp"

namespace brivos {

class IProject;

// An invoice of one project; billed slips and expenses name it as their
// InvoiceID. Its lines are listed by that column, not through the record.
#define BRIVOS_IPROJECTINVOICE_COLUMNS(COL)                   \
  COL(IProjectInvoiceID, IProjectInvoiceID, Key, 0, kNoFlags) \
  COL(ProjectID, Parent, Long, 0, kIndexed)                   \
  COL(InvoiceDate, InvoiceDate, Date, 0, kWidthMember)        \
  COL(InvoiceNumber, InvoiceNumber, Text, 64, kWidthMember)   \
  COL(Status, Status, Long, 0, kWidthMember)                  \
  COL(CreateDate, CreateDate, Date, 0, kWidthMember)          \
  COL(CreatedBy, CreatedBy, Text, 50, kWidthMember)           \
  COL(LastPrinted, LastPrinted, Date, 0, kWidthMember)        \
  COL(LastPrintedBy, LastPrintedBy, Text, 50, kWidthMember)   \
  COL(LastModified, LastModified, Date, 0, kWidthMember)      \
  COL(LastModifiedBy, LastModifiedBy, Text, 50, kWidthMember) \
  COL(Terms, Terms, Text, 255, kWidthMember)                  \
  COL(Notes, Notes, Memo, 2000, kWidthMember)                 \
  COL(Format, Format, Long, 0, kWidthMember)

#define BRIVOS_IPROJECTINVOICE_RELATIONS(ONE, MANY) ONE(Project, IProject, ProjectID)

class IProjectInvoice final : public Record {
  BRIVOS_RECORD(IProjectInvoice, BRIVOS_IPROJECTINVOICE_COLUMNS, BRIVOS_IPROJECTINVOICE_RELATIONS)
};

}  // namespace brivos
