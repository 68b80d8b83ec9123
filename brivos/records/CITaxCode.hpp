#pragma once

#include "brivos/records/Record.hpp"

namespace brivos {

class ISubScriber;

// A tax code of the subscriber: a one-character code with up to two taxes.
#define BRIVOS_CITAXCODE_COLUMNS(COL)                         \
  COL(CITaxCodeID, CITaxCodeID, Key, 0, kNoFlags)             \
  COL(SubscriberID, Parent, Long, 0, kNoFlags)                \
  COL(TaxCode, TaxCode, Text, 1, kWidthMember)                \
  COL(Description, Description, Text, 255, kWidthMember)      \
  COL(Tax1Rate, Tax1Rate, Double, 0, kWidthMember)            \
  COL(Tax1Name, Tax1Name, Text, 255, kWidthMember)            \
  COL(Tax1Exempt, Tax1Exempt, Boolean, 0, kWidthMember)       \
  COL(Tax2Rate, Tax2Rate, Double, 0, kWidthMember)            \
  COL(Tax2Name, Tax2Name, Text, 255, kWidthMember)            \
  COL(Tax2Exempt, Tax2Exempt, Boolean, 0, kWidthMember)       \
  COL(Tax2PiggyBack, Tax2PiggyBack, Boolean, 0, kWidthMember) \
  COL(Inactive, Inactive, Boolean, 0, kWidthMember)

#define BRIVOS_CITAXCODE_RELATIONS(ONE, MANY) ONE(Subscriber, ISubScriber, SubscriberID)

class CITaxCode final : public Record {
  BRIVOS_RECORD(CITaxCode, BRIVOS_CITAXCODE_COLUMNS, BRIVOS_CITAXCODE_RELATIONS)
};

}  // namespace brivos
