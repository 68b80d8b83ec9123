#pragma once

#include <memory>
#include <string>

#include "brivos/automation/Manager.hpp"
#include "brivos/records/SysSessions.hpp"
#include "brivos/security/errCSecurityMgr.hpp"

namespace brivos {

// clang-format off
#define BRIVOS_CSECURITYMGR_METHODS(M) \
  /* Checks the name and password against the users allowed to sign in,    */ \
  /* replaces the user's session on this Account path with a new one and    */ \
  /* returns its token. Raises eInvalidUserInfo when no user matches; then  */ \
  /* no session is touched.                                                 */ \
  M(OWN(), std::string, BeginUserSession, Account, UserName, Password) \
  /* Removes the user's session on this Account path, if there is one.      */ \
  M(OWN(), void, EndUserSession, Account, UserName) \
  /* The session whose token is `Token`. Raises 9 when there is none.       */ \
  M(ANY, std::shared_ptr<SysSessions>, GetSysSession, Account, Token) \
  /* Sets the password of the users with this name and old password; a      */ \
  /* mismatch changes nothing and is not reported.                          */ \
  M(OWN(theUserName), void, ChangeUserPassword, Account, theUserName, OldPassword, NewPassword)
// clang-format on

// Signs users of a subscriber in and out with session tokens.
class CSecurityMgr final : public Dispatch<CSecurityMgr> {
  BRIVOS_MANAGER(CSecurityMgr, BRIVOS_CSECURITYMGR_METHODS)
};

}  // namespace brivos
