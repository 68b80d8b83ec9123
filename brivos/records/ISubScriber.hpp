#pragma once

#include "brivos/records/Record.hpp"

namespace brivos {

// The subscriber company; its database holds its own row.
#define BRIVOS_ISUBSCRIBER_COLUMNS(COL)                                        \
  COL(ISubScriberID, ISubScriberID, Key, 0, kNoFlags)                          \
  COL(CompanyName, CompanyName, Text, 255, kWidthMember)                       \
  COL(AccountNo, AccountNo, Text, 30, kWidthMember | kIndexed)                 \
  COL(NextInvoiceNumber, NextInvoiceNumber, Long, 0, kWidthMember)             \
  COL(NextExpenseReportNumber, NextExpenseReportNumber, Long, 0, kWidthMember) \
  COL(NextClientAccountNumber, NextClientAccountNumber, Long, 0, kWidthMember) \
  COL(MileageRate, MileageRate, Currency, 0, kWidthMember)                     \
  COL(DefaultTerms, DefaultTerms, Text, 255, kWidthMember)                     \
  COL(DefaultInvoiceNotes, DefaultInvoiceNotes, Memo, 2000, kWidthMember)      \
  COL(DefaultInvoiceFormat, DefaultInvoiceFormat, Long, 0, kWidthMember)

class ISubScriber final : public Record {
  BRIVOS_RECORD(ISubScriber, BRIVOS_ISUBSCRIBER_COLUMNS)

  // Users ordered by last name, then first name.
  std::shared_ptr<Collection> Users(const Variant& Account) { return RelatedMany(0, Account); }
  std::shared_ptr<Collection> Projects(const Variant& Account) { return RelatedMany(1, Account); }
  std::shared_ptr<Collection> Locations(const Variant& Account) { return RelatedMany(2, Account); }
  std::shared_ptr<Collection> TaxCodes(const Variant& Account) { return RelatedMany(3, Account); }
  // Clients ordered by company name.
  std::shared_ptr<Collection> Prospects(const Variant& Account) { return RelatedMany(4, Account); }
};

}  // namespace brivos
