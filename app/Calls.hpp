#pragma once

// The one call path from a front end into the library. A front end names a
// class and a method and gives the arguments by name or by position; the path
// fills the arguments the caller's session stands for, binds the rest, checks
// the access the method declares (ADMIN, ANY, OWN(...)) and that what an OWN
// argument names is the caller's own, runs the call under the front end's
// observer (the service's metrics), and reports refusals in one set of terms
// each front end maps to its own (an HTTP status, a Python exception).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/Tenants.hpp"
#include "brivos/brivos.hpp"
#include "brivos/security/SignInThrottle.hpp"

namespace brivos::app {

// What a refusal means, whatever the front end says it with.
enum class Refusal {
  kBadRequest,     // input the call cannot take (an unknown or missing argument)
  kUnauthorized,   // no valid session
  kForbidden,      // the caller may not do this
  kNotFound,       // no such class, member, row or firm
  kConflict,       // the row exists already, or its state forbids the change
  kUnprocessable,  // a value the method cannot convert or is out of its range
  kUnavailable,    // the firm's database cannot be reached now; worth a retry
  kFailed,         // anything else the library raised
};

// A refusal of the gate itself, before any library call: its kind, and the
// automation error number that says the same to a late-bound caller (448 for
// an argument name the member does not take, 449 for a missing argument, 450
// for too many, 429 for an unknown class, 438 for an unknown member; 0 when
// none applies).
class Refused : public std::runtime_error {
 public:
  Refused(Refusal kind, const std::string& detail, std::int32_t number = 0)
      : std::runtime_error(detail), kind_(kind), number_(number) {}
  Refusal Kind() const { return kind_; }
  std::int32_t Number() const { return number_; }

 private:
  Refusal kind_;
  std::int32_t number_;
};

// A password check turned away after too many refused ones (kForbidden to
// a front end that cannot say more): try again after RetryAfter() seconds.
class TooManyAttempts : public Refused {
 public:
  explicit TooManyAttempts(long retry_after)
      : Refused(Refusal::kForbidden, "too many refused password checks; try again later"),
        retry_after_(retry_after) {}
  long RetryAfter() const { return retry_after_; }

 private:
  long retry_after_;
};

// What an error the library raised means: kNotFound for no such row (9,
// 3021), kUnprocessable for conversion and range (5, 6, 13, 94) and a
// manager's validation refusals, kConflict for a manager's refusal by the
// row's state (exists, approved, has invoices, referenced, not active),
// kFailed for the rest.
Refusal RefusalOf(const Error& error);

// The arguments every front end fills from the caller's session, never from
// its input: Account, UserName and Token.
bool FilledFromSession(std::string_view arg);
// Arguments other than Account that name a firm (ProfileAccount, ForAccount):
// a signed-in user names their own firm's account number there.
bool NamesAccount(std::string_view arg);

// A slip's four rates: the argument of AddTransaction and UpdateTransaction,
// and the staff row's column they come from.
struct SlipRate {
  const char* arg;
  const char* column;
};
inline constexpr SlipRate kSlipRates[] = {
    {"StaffRate", "Rate"}, {"StaffCost", "Cost"}, {"OTRate", "OTRate"}, {"OTCost", "OTCost"}};

// A member of a creatable class, found by name (case-insensitive).
struct Target {
  const ClassInfo* info = nullptr;
  const MemberInfo* member = nullptr;
  std::string Name() const { return info->Name() + "." + member->name; }
};
// Refuses kNotFound with 429 for a class that does not exist or may not be
// created, 438 for a member it does not have.
Target FindTarget(std::string_view class_name, std::string_view member);

// Arguments by name, in the order given.
using NamedArgs = std::vector<std::pair<std::string, Variant>>;

// The member's arguments from `positional` (first) and `named`: 450 when
// there are more positional arguments than the member takes, 448 for a name
// it does not take or one given twice, 449 for one neither gives, unless
// `missing_is_empty` (then it is Empty).
std::vector<Variant> Bind(const Target& target, std::vector<Variant> positional,
                          const NamedArgs& named, bool missing_is_empty);

// A signed-in user of a firm, once their session token has been checked.
struct Principal {
  Tenant tenant;
  Variant user;   // the session's UserName
  Variant token;  // the session's Token
  std::int32_t user_id = 0;
  bool admin = false;
  // The user's own record (IUser), read when the session was checked.
  Variant record;
  // The client's network address ("" for a local caller) and the limits its
  // password checks (a password change) are held to.
  std::string address;
  SignInLimits sign_in_limits;
};

// Runs around every call the path makes for a front end (the service's
// metrics count and time it); calls `call` and returns its result.
using CallObserver = std::function<Variant(const Target&, const std::function<Variant()>& call)>;

class CallPath {
 public:
  explicit CallPath(CallObserver observer = {}) : observer_(std::move(observer)) {}

  // A signed-in user's call with arguments by name (a request body): the
  // session's arguments may not be given (kBadRequest); an account-naming
  // argument must be the firm's own number; then CheckAccess and the checks
  // of CheckArgument for each argument.
  Variant CallNamed(const Principal& caller, std::string_view class_name, std::string_view member,
                    const NamedArgs& named, bool missing_is_empty = false) const;
  // The same with the arguments after the session's in order.
  Variant Call(const Principal& caller, std::string_view class_name, std::string_view member,
               std::vector<Variant> rest) const;

  // Refuses kForbidden when the member is for administrators and the caller
  // is none.
  static void CheckAccess(const Principal& caller, const Target& target);
  // Refuses kForbidden, for a caller who is no administrator and an OWN
  // argument, what is not theirs: a slip, staff row or expense of another's
  // staff row, another's expense report, another user.
  void CheckArgument(const Principal& caller, const Target& target, std::string_view arg,
                     const Variant& value) const;
  // Refuses the values a front end never passes on: a Status outside the
  // value set of the row (kUnprocessable, 5) or a SortOrder outside the
  // project orders; billing by a change (kForbidden; only an invoice run
  // bills); approving, or making an administrator, by a caller who is none.
  static void CheckValues(const Principal& caller, const Target& target,
                          const std::vector<Variant>& args);
  // Refuses (kConflict) a change to the row an EDIT or ADMIN_EDIT argument
  // names while its state forbids it: a billed slip or expense (naming the
  // invoice to delete first) for anyone, an approved one for a caller who
  // is no administrator, an issued invoice for anyone.
  void CheckChanged(const Principal& caller, const Target& target,
                    const std::vector<Variant>& args) const;
  // A caller who is no administrator enters slips at the rates of their
  // staff row: a rate left out is the row's, one that differs from both the
  // row's and, when the slip is rewritten, the slip's own is kForbidden.
  void TakeStaffRates(const Principal& caller, const Target& target,
                      std::vector<Variant>& args) const;

  // A typed call of a member whose late-bound result is generic rows (an
  // invoice breakdown): the member's access checked as Call checks it, then
  // `call(account, user, token)` under the observer. The member may take no
  // OWN argument (none is checked here).
  template <class F>
  auto Typed(const Principal& caller, std::string_view class_name, std::string_view member,
             F&& call) const {
    const Target target = FindTarget(class_name, member);
    CheckAccess(caller, target);
    using Result = decltype(call(caller.tenant.account, caller.user, caller.token));
    std::optional<Result> result;
    const auto run = [&] {
      result.emplace(call(caller.tenant.account, caller.user, caller.token));
      return Variant();
    };
    if (observer_) {
      observer_(target, run);
    } else {
      run();
    }
    return std::move(*result);
  }

  // A caller of the library itself (the program, a firm's Python): the
  // arguments bound as Bind binds them, nothing checked, the observer run.
  Variant CallLocal(std::string_view class_name, std::string_view member,
                    std::vector<Variant> positional, const NamedArgs& named) const;
  Variant Invoke(const Target& target, std::vector<Variant>& args) const;

 private:
  Variant CheckedCall(const Principal& caller, const Target& target,
                      std::vector<Variant> args) const;
  void CheckStaff(const Principal& caller, const Variant& staff_id, const std::string& what) const;
  // The calls of CSecurityMgr a signed-in caller makes differently from a
  // local one (a password change, a session's account); nothing when
  // `target` is none of them.
  std::optional<Variant> SecurityCall(const Principal& caller, const Target& target,
                                      std::vector<Variant>& args) const;
  Variant Observed(const Target& target, const std::function<Variant()>& call) const;

  CallObserver observer_;
};

// How long sessions last and how often a password may be refused.
struct SessionPolicy {
  double max_age_seconds = 12 * 3600;  // from sign-in
  double idle_seconds = 30 * 60;       // from the last request
  SignInLimits sign_ins;
};

// Signs `user` of `tenant` in from `address`: the new session token. Raises
// the library's error for a refused sign-in (eInvalidUserInfo), at once for
// a user name wider than the database holds; TooManyAttempts when the
// user's refusals from `address`, or from everywhere, are used up (counted
// in the firm's database, see ThrottledAttempt). Removes a batch of sessions
// expired an hour ago or more on the way.
std::string SignIn(const Tenant& tenant, const std::string& user, const std::string& password,
                   const std::string& address = "", const SessionPolicy& policy = {});
// The signed-in user a session token stands for, read once (the session, then
// its user), or kUnauthorized: an unknown token, a session signed in more
// than `max_age_seconds` ago or unused for more than `idle_seconds`, a user
// who no longer exists. A database that cannot be read raises its Error.
// Notes the use of the session, at most once a minute.
Principal Authenticate(const Tenant& tenant, const std::string& token, const SessionPolicy& policy);
// The same with no idle limit besides `max_age_seconds`.
Principal Authenticate(const Tenant& tenant, const std::string& token, double max_age_seconds);

}  // namespace brivos::app
