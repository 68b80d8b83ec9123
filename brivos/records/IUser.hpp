#pragma once

#include "brivos/records/Record.hpp"

namespace brivos {

class ISubScriber;

// A user of the subscriber.
#define BRIVOS_IUSER_COLUMNS(COL)                                \
  COL(IUserID, IUserID, Key, 0, kNoFlags)                        \
  COL(SubscriberID, Parent, Long, 0, kIndexed)                   \
  COL(UserName, UserName, Text, 30, kWidthMember | kIndexed)     \
  COL(Password, Password, Text, 30, kWidthMember)                \
  COL(FirstName, FirstName, Text, 20, kWidthMember)              \
  COL(LastName, LastName, Text, 30, kWidthMember)                \
  COL(MiddleInitial, MiddleInitial, Text, 2, kWidthMember)       \
  COL(Admin, Admin, Boolean, 0, kWidthMember)                    \
  COL(MainUser, MainUser, Boolean, 0, kWidthMember)              \
  COL(AllowLogon, AllowLogon, Boolean, 0, kWidthMember)          \
  COL(vmProjectsAccess, vmProjectsAccess, Long, 0, kWidthMember) \
  COL(MinWeekHours, MinWeekHours, Double, 0, kWidthMember)       \
  COL(EMail, EMail, Text, 255, kWidthMember)                     \
  COL(Rate, Rate, Currency, 0, kWidthMember)                     \
  COL(Cost, Cost, Currency, 0, kWidthMember)                     \
  COL(OTRate, OTRate, Currency, 0, kWidthMember)                 \
  COL(OTCost, OTCost, Currency, 0, kWidthMember)                 \
  COL(ReportsToID, ReportsToID, Long, 0, kNoFlags)

class IUser final : public Record {
  BRIVOS_RECORD(IUser, BRIVOS_IUSER_COLUMNS)

  std::shared_ptr<ISubScriber> Subscriber(const Variant& Account);
  std::shared_ptr<IUser> ReportsTo(const Variant& Account) {
    return RelatedOneAs<IUser>(*this, 1, Account);
  }
  std::shared_ptr<Collection> ExpenseReports(const Variant& Account) {
    return RelatedMany(2, Account);
  }
};

}  // namespace brivos
