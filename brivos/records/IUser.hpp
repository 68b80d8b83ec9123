#pragma once

#include "brivos/records/Record.hpp"

namespace brivos {

class ISubScriber;

// A user of the subscriber.
#define BRIVOS_IUSER_COLUMNS(COL)                                \
  COL(IUserID, IUserID, Key, 0, kNoFlags)                        \
  COL(SubscriberID, Parent, Long, 0, kNoFlags)                   \
  COL(UserName, UserName, Text, 30, kWidthMember)                \
  COL(Password, Password, Text, 30, kWidthMember | kSecret)      \
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
  COL(ReportsToID, ReportsToID, Long, 0, kIndexed)

#define BRIVOS_IUSER_RELATIONS(ONE, MANY)    \
  ONE(Subscriber, ISubScriber, SubscriberID) \
  ONE(ReportsTo, IUser, ReportsToID)         \
  MANY(ExpenseReports, IExpenseReport, "")

class IUser final : public Record {
  BRIVOS_RECORD(IUser, BRIVOS_IUSER_COLUMNS, BRIVOS_IUSER_RELATIONS)

 public:
  // The user named `UserName` of the subscriber whose account number ends
  // the path `ProfileAccount`, read from the database of `Account`; nullptr
  // when there is none.
  static std::shared_ptr<IUser> FindByName(const Variant& Account, const Variant& ProfileAccount,
                                           const Variant& UserName);
  // How every manager identifies its caller: the user named `UserName` of the
  // Account's own subscriber. Raises 91 when there is none.
  static std::shared_ptr<IUser> Caller(const Variant& Account, const Variant& UserName);
};

}  // namespace brivos
