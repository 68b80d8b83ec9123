#pragma once

#include "brivos/records/Record.hpp"

namespace brivos {

class ISubScriber;

// An address of the subscriber; the primary one is its business address.
#define BRIVOS_ISUBSCRIBERLOCATION_COLUMNS(COL)                       \
  COL(ISubscriberLocationID, ISubscriberLocationID, Key, 0, kNoFlags) \
  COL(SubscriberID, Parent, Long, 0, kNoFlags)                        \
  COL(Name, Name, Text, 255, kWidthMember)                            \
  COL(Address1, Address1, Text, 255, kWidthMember)                    \
  COL(Address2, Address2, Text, 255, kWidthMember)                    \
  COL(Address3, Address3, Text, 255, kWidthMember)                    \
  COL(City, City, Text, 50, kWidthMember)                             \
  COL(Province, Province, Text, 50, kWidthMember)                     \
  COL(PostalCode, PostalCode, Text, 10, kWidthMember)                 \
  COL(Country, Country, Text, 30, kWidthMember)                       \
  COL(Telephone, Telephone, Text, 28, kWidthMember)                   \
  COL(FAX, Fax, Text, 28, kWidthMember)                               \
  COL(Notes, Notes, Memo, 2000, kWidthMember)                         \
  COL(IsPrimary, IsPrimary, Boolean, 0, kWidthMember)

#define BRIVOS_ISUBSCRIBERLOCATION_RELATIONS(ONE, MANY) ONE(Subscriber, ISubScriber, SubscriberID)

class ISubscriberLocation final : public Record {
  BRIVOS_RECORD(ISubscriberLocation, BRIVOS_ISUBSCRIBERLOCATION_COLUMNS,
                BRIVOS_ISUBSCRIBERLOCATION_RELATIONS)
};

}  // namespace brivos
