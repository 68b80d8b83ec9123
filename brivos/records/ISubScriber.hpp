#pragma once

#include "brivos/records/Record.hpp"

namespace brivos {

// The subscriber company; its database holds its own row.
#define BRIVOS_ISUBSCRIBER_COLUMNS(COL)                                        \
  COL(ISubScriberID, ISubScriberID, Key, 0, kNoFlags)                          \
  COL(CompanyName, CompanyName, Text, 255, kWidthMember)                       \
  COL(AccountNo, AccountNo, Text, 30, kWidthMember)                            \
  COL(NextInvoiceNumber, NextInvoiceNumber, Long, 0, kWidthMember)             \
  COL(NextExpenseReportNumber, NextExpenseReportNumber, Long, 0, kWidthMember) \
  COL(NextClientAccountNumber, NextClientAccountNumber, Long, 0, kWidthMember) \
  COL(MileageRate, MileageRate, Currency, 0, kWidthMember)                     \
  COL(DefaultTerms, DefaultTerms, Text, 255, kWidthMember)                     \
  COL(DefaultInvoiceNotes, DefaultInvoiceNotes, Memo, 2000, kWidthMember)      \
  COL(DefaultInvoiceFormat, DefaultInvoiceFormat, Long, 0, kWidthMember)

#define BRIVOS_ISUBSCRIBER_RELATIONS(ONE, MANY)      \
  /* Users ordered by last name, then first name. */ \
  MANY(Users, IUser, "LastName ASC, FirstName ASC")  \
  MANY(Projects, IProject, "")                       \
  MANY(Locations, ISubscriberLocation, "")           \
  MANY(TaxCodes, CITaxCode, "")                      \
  /* Clients ordered by company name. */             \
  MANY(Prospects, SFAProspect, "CompanyName ASC")

class ISubScriber final : public Record {
  BRIVOS_RECORD(ISubScriber, BRIVOS_ISUBSCRIBER_COLUMNS, BRIVOS_ISUBSCRIBER_RELATIONS)
};

}  // namespace brivos
