#pragma once

#include <cstdint>
#include <memory>

#include "brivos/automation/Dispatch.hpp"
#include "brivos/foundation/Collection.hpp"
#include "brivos/records/IExpenseReport.hpp"
#include "brivos/records/IUser.hpp"

namespace brivos {

// The users of a subscriber and their expense reports. GetUserProfile is also
// how every manager identifies its caller. `Token` is accepted and not checked.
class CUserManager final : public Dispatch<CUserManager> {
 public:
  static const ClassInfo& Info();

  // The user named `ProfileUserName` of the subscriber whose account number
  // ends `ProfileAccount`, read from the database of `Account`; nullptr (an
  // empty object reference) when there is none.
  std::shared_ptr<IUser> GetUserProfile(Variant& Account, Variant& UserName, Variant& Token,
                                        Variant& ProfileAccount, Variant& ProfileUserName);
  // Rewrites a user's profile; name, password, subscriber and MainUser stay.
  // An unknown UserID changes nothing. ReportsToID as in AddUserProfile.
  void UpdateUserProfile(Variant& Account, Variant& UserName, Variant& Token, Variant& UserID,
                         Variant& FirstName, Variant& LastName, Variant& Initial, Variant& Admin,
                         Variant& ReportsToID, Variant& vmProjectsAccess, Variant& MinWeekHours,
                         Variant& EMail, Variant& Rate, Variant& Cost, Variant& OTRate,
                         Variant& OTCost, Variant& AllowLogon);
  // Deletes a user that no project staff row, project or other user refers
  // to. Otherwise raises eUserIsReferenced listing every reference, and
  // deletes nothing. Raises 13 for a UserID that is not a number.
  void DeleteUserProfile(Variant& Account, Variant& UserName, Variant& Token, Variant& UserID);
  // The caller's subscriber's users allowed to sign in, ordered by last name.
  // Raises 91 when the caller is not a user of the subscriber.
  std::shared_ptr<Collection> GetSubscriberUserProfiles(Variant& Account, Variant& UserName,
                                                        Variant& Token);
  // Adds a user (MainUser false) to the caller's subscriber. Raises
  // eUserNameExists when the subscriber has a user of that name, 91 when the
  // caller is unknown. ReportsToID: Empty, Null, "" and 0 store Null, any
  // other value is stored as a 32-bit integer (6 beyond that range, 13 for
  // a non-number); a refused value writes nothing.
  void AddUserProfile(Variant& Account, Variant& UserName, Variant& Token, Variant& ProfileUserName,
                      Variant& Password, Variant& FirstName, Variant& LastName, Variant& Initial,
                      Variant& ReportsToID, Variant& Admin, Variant& vmProjectsAccess,
                      Variant& MinWeekHours, Variant& EMail, Variant& Rate, Variant& Cost,
                      Variant& OTRate, Variant& OTCost, Variant& AllowLogon);

  // The report with this key. Raises 9 when there is none, 13 when ReportID is
  // not a number (Empty included), 94 when it is Null.
  std::shared_ptr<IExpenseReport> GetExpenseReport(Variant& Account, Variant& UserName,
                                                   Variant& Token, Variant& ReportID);
  // Adds a report owned by the caller, numbered from the subscriber's expense
  // report sequence (`ReportNo` is ignored), and returns its key. The draw and
  // the insert are one unit of work: a failure (91 for an unknown caller)
  // inserts nothing and leaves the counter where it was.
  std::int32_t AddExpenseReport(Variant& Account, Variant& UserName, Variant& Token,
                                Variant& ReportNo, Variant& Name, Variant& Description,
                                Variant& CreateDate, Variant& CashAdvance, Variant& Total,
                                Variant& AmountPaid, Variant& Approved, Variant& ApprovedOn,
                                Variant& ApprovedBy);
  // Rewrites a report as given, ReportNo included; the owner stays. Nothing
  // is checked: an unknown ReportID changes nothing.
  void UpdateExpenseReport(Variant& Account, Variant& UserName, Variant& Token, Variant& ReportID,
                           Variant& ReportNo, Variant& Name, Variant& Description,
                           Variant& CreateDate, Variant& CashAdvance, Variant& Total,
                           Variant& AmountPaid, Variant& Approved, Variant& ApprovedOn,
                           Variant& ApprovedBy);
  // Deletes the report and its expenses, all or nothing, whatever their
  // approval or billing. Raises 13 for a ReportID that is not a number.
  void DeleteExpenseReport(Variant& Account, Variant& UserName, Variant& Token, Variant& ReportID);
  // The report's expenses, earliest expense date first.
  std::shared_ptr<Collection> GetReportExpenses(Variant& Account, Variant& UserName, Variant& Token,
                                                Variant& ReportID);

 private:
  // The caller's user record; raises 91 when the caller is unknown.
  std::shared_ptr<IUser> Caller(Variant& Account, Variant& UserName, Variant& Token);
};

}  // namespace brivos
