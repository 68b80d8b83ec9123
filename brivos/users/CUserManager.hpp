#pragma once

#include <cstdint>
#include <memory>

#include "brivos/automation/Collection.hpp"
#include "brivos/automation/Manager.hpp"
#include "brivos/records/IExpenseReport.hpp"
#include "brivos/records/IUser.hpp"
#include "brivos/users/errCUserManager.hpp"

namespace brivos {

// clang-format off
#define BRIVOS_CUSERMANAGER_METHODS(M) \
  /* The user named `ProfileUserName` of the subscriber whose account       */ \
  /* number ends `ProfileAccount`, read from the database of `Account`;     */ \
  /* nullptr (an empty object reference) when there is none.                */ \
  M(OWN(ProfileUserName), std::shared_ptr<IUser>, GetUserProfile, Account, UserName, Token, ProfileAccount, \
    ProfileUserName) \
  /* Rewrites a user's profile; name, password, subscriber and MainUser     */ \
  /* stay. An unknown UserID changes nothing. ReportsToID as in             */ \
  /* AddUserProfile.                                                        */ \
  M(OWN(UserID), void, UpdateUserProfile, Account, UserName, Token, UserID, FirstName, LastName, Initial, \
    Admin, ReportsToID, vmProjectsAccess, MinWeekHours, EMail, Rate, Cost, OTRate, OTCost, \
    AllowLogon) \
  /* Deletes a user that no project staff row, project or other user refers */ \
  /* to. Otherwise raises eUserIsReferenced listing every reference, and    */ \
  /* deletes nothing. Raises 13 for a UserID that is not a number.          */ \
  M(ADMIN, void, DeleteUserProfile, Account, UserName, Token, UserID) \
  /* The caller's subscriber's users allowed to sign in, ordered by last    */ \
  /* name. Raises 91 when the caller is not a user of the subscriber.       */ \
  M(ADMIN, std::shared_ptr<Collection>, GetSubscriberUserProfiles, Account, UserName, Token) \
  /* Adds a user (MainUser false) to the caller's subscriber. Raises        */ \
  /* eUserNameExists when the subscriber has a user of that name, 91 when   */ \
  /* the caller is unknown. ReportsToID: Empty, Null, "" and 0 store Null,  */ \
  /* any other value is stored as a 32-bit integer (6 beyond that range, 13 */ \
  /* for a non-number); a refused value writes nothing.                     */ \
  M(ADMIN, void, AddUserProfile, Account, UserName, Token, ProfileUserName, Password, FirstName, \
    LastName, Initial, ReportsToID, Admin, vmProjectsAccess, MinWeekHours, EMail, Rate, Cost, \
    OTRate, OTCost, AllowLogon) \
  /* The report with this key. Raises 9 when there is none, 13 when         */ \
  /* ReportID is not a number (Empty included), 94 when it is Null.         */ \
  M(OWN(ReportID), std::shared_ptr<IExpenseReport>, GetExpenseReport, Account, UserName, Token, ReportID) \
  /* Adds a report owned by the caller, numbered from the subscriber's      */ \
  /* expense report sequence (`ReportNo` is ignored), and returns its key.  */ \
  /* The draw and the insert are one unit of work: a failure (91 for an     */ \
  /* unknown caller) inserts nothing and leaves the counter where it was.   */ \
  M(OWN(), std::int32_t, AddExpenseReport, Account, UserName, Token, ReportNo, Name, Description, \
    CreateDate, CashAdvance, Total, AmountPaid, Approved, ApprovedOn, ApprovedBy) \
  /* Rewrites a report as given, ReportNo included; the owner stays.        */ \
  /* Nothing is checked: an unknown ReportID changes nothing.               */ \
  M(OWN(ReportID), void, UpdateExpenseReport, Account, UserName, Token, ReportID, ReportNo, Name, Description, \
    CreateDate, CashAdvance, Total, AmountPaid, Approved, ApprovedOn, ApprovedBy) \
  /* Deletes the report and its expenses, all or nothing, whatever their    */ \
  /* approval or billing. Raises 13 for a ReportID that is not a number.    */ \
  M(OWN(ReportID), void, DeleteExpenseReport, Account, UserName, Token, ReportID) \
  /* The report's expenses, earliest expense date first.                    */ \
  M(OWN(ReportID), std::shared_ptr<Collection>, GetReportExpenses, Account, UserName, Token, ReportID)
// clang-format on

// The users of a subscriber and their expense reports. `Token` is accepted
// and not checked.
class CUserManager final : public Dispatch<CUserManager> {
  BRIVOS_MANAGER(CUserManager, BRIVOS_CUSERMANAGER_METHODS)
};

}  // namespace brivos
