#pragma once

// Refused password checks counted in the firm's own database (the table
// SignInAttempts), so that every process and machine serving the firm counts
// them together. Not part of the managers: the service puts it in front of
// them.

#include <chrono>
#include <functional>
#include <string_view>

#include "brivos/foundation/Variant.hpp"

namespace brivos {

// How many refused password checks are allowed within a window before
// further attempts are turned away until the window ends.
struct SignInLimits {
  int per_address = 5;  // one user name from one client address
  int per_user = 50;    // one user name from all addresses together
  std::chrono::seconds window{300};
};

// The widest user name the database holds; a longer one names nobody.
int UserNameWidth();

// Runs `check`, a password check that raises eInvalidUserInfo for a refused
// password, in one unit of work on the database of `account`, unless `user`
// has used up its refusals from `address` or from all addresses within the
// window: then `check` does not run and the seconds until the oldest count
// ends (at least 1) are returned. A refusal is counted for the address and
// for the user in the same unit of work and goes on to the caller; a check
// that passes forgets the address's refusals; any other error rolls the
// whole unit back. Returns 0 when `check` passed. User names compare as the
// database compares them (ignoring letter case). Counts older than the
// window are removed on the way.
long ThrottledAttempt(const Variant& account, std::string_view user, std::string_view address,
                      const SignInLimits& limits, const std::function<void()>& check);

// True when a user of the database `account` names has this name and
// password (whether or not they may sign in).
bool PasswordMatches(const Variant& account, const Variant& user, const Variant& password);

}  // namespace brivos
