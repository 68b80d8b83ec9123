#pragma once

#include "brivos/records/Record.hpp"

namespace brivos {

class CITaxCode;
class ISubScriber;

// A client company of the subscriber; projects name it as their ClientID.
#define BRIVOS_SFAPROSPECT_COLUMNS(COL)                                            \
  COL(SFAProspectID, SFAProspectID, Key, 0, kNoFlags)                              \
  COL(SubscriberID, Parent, Long, 0, kNoFlags)                                     \
  COL(CompanyName, CompanyName, Text, 255, kWidthMember)                           \
  COL(Address1, Address1, Text, 255, kWidthMember)                                 \
  COL(Address2, Address2, Text, 255, kWidthMember)                                 \
  COL(City, City, Text, 255, kWidthMember)                                         \
  COL(Province, Province, Text, 16, kWidthMember)                                  \
  COL(PostalCode, PostalCode, Text, 10, kWidthMember)                              \
  COL(Country, Country, Text, 30, kWidthMember)                                    \
  COL(Telephone, Telephone, Text, 28, kWidthMember)                                \
  COL(FAX, FAX, Text, 28, kWidthMember)                                            \
  COL(Description, Description, Memo, 2000, kWidthMember)                          \
  COL(AccountNumber, AccountNumber, Text, 128, kWidthMember)                       \
  COL(BusinessNumber, BusinessNumber, Text, 128, kWidthMember)                     \
  COL(Inactive, Inactive, Boolean, 0, kWidthMember)                                \
  COL(LastUpdateDateTime, LastUpdateDateTime, Date, 0, kWidthMember | kDefaultNow) \
  COL(DefaultTerms, DefaultTerms, Text, 255, kWidthMember)                         \
  COL(TaxCodeID, TaxCodeID, Long, 0, kNoFlags)

#define BRIVOS_SFAPROSPECT_RELATIONS(ONE, MANY)                       \
  ONE(Subscriber, ISubScriber, SubscriberID)                          \
  /* The client's tax code; no object when TaxCodeID names no row. */ \
  ONE(TaxCode, CITaxCode, TaxCodeID)

class SFAProspect final : public Record {
  BRIVOS_RECORD(SFAProspect, BRIVOS_SFAPROSPECT_COLUMNS, BRIVOS_SFAPROSPECT_RELATIONS)
};

}  // namespace brivos
