#pragma once

#include "brivos/records/Record.hpp"

namespace brivos {

class ISubScriber;
class IUser;
class SFAProspect;

// A project of the subscriber for one client; the owner of its staff, tasks,
// time slips, expenses and invoices.
#define BRIVOS_IPROJECT_COLUMNS(COL)                      \
  COL(IProjectID, IProjectID, Key, 0, kNoFlags)           \
  COL(SubscriberID, Parent, Long, 0, kIndexed)            \
  COL(Name, Name, Text, 255, kWidthMember)                \
  COL(Description, Description, Memo, 2000, kWidthMember) \
  COL(CreateDate, CreateDate, Date, 0, kWidthMember)      \
  COL(Status, Status, Long, 0, kWidthMember | kIndexed)   \
  COL(StartDate, StartDate, Date, 0, kWidthMember)        \
  COL(EndDate, EndDate, Date, 0, kWidthMember)            \
  COL(Billable, Billable, Boolean, 0, kWidthMember)       \
  COL(EstCost, EstCost, Currency, 0, kWidthMember)        \
  COL(EstRevenue, EstRevenue, Currency, 0, kWidthMember)  \
  COL(OTAllowed, OTAllowed, Boolean, 0, kWidthMember)     \
  COL(TimeChunk, TimeChunk, Long, 0, kWidthMember)        \
  COL(CreatorID, CreatorID, Long, 0, kNoFlags)            \
  COL(ManagerID, ManagerID, Long, 0, kIndexed)            \
  COL(ClientID, ClientID, Long, 0, kIndexed)

class IProject final : public Record {
  BRIVOS_RECORD(IProject, BRIVOS_IPROJECT_COLUMNS)

  std::shared_ptr<ISubScriber> Subscriber(const Variant& Account);
  std::shared_ptr<IUser> Creator(const Variant& Account);
  std::shared_ptr<IUser> Manager(const Variant& Account);
  std::shared_ptr<SFAProspect> Client(const Variant& Account);
  // Each collection is read again on every call.
  std::shared_ptr<Collection> Staff(const Variant& Account) { return RelatedMany(4, Account); }
  // Slips by day, then start time, then staff assignment.
  std::shared_ptr<Collection> Transactions(const Variant& Account) {
    return RelatedMany(5, Account);
  }
  // Tasks by planned start, then planned duration.
  std::shared_ptr<Collection> Tasks(const Variant& Account) { return RelatedMany(6, Account); }
  std::shared_ptr<Collection> Invoices(const Variant& Account) { return RelatedMany(7, Account); }
  std::shared_ptr<Collection> Expenses(const Variant& Account) { return RelatedMany(8, Account); }
};

}  // namespace brivos
