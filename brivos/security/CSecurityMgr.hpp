#pragma once

#include <memory>
#include <string>

#include "brivos/automation/Dispatch.hpp"
#include "brivos/records/SysSessions.hpp"

namespace brivos {

// Signs users of a subscriber in and out with session tokens.
class CSecurityMgr final : public Dispatch<CSecurityMgr> {
 public:
  static const ClassInfo& Info();

  // Checks the name and password against the users allowed to sign in,
  // replaces the user's session on this Account path with a new one and
  // returns its token. Raises eInvalidUserInfo when no user matches; then no
  // session is touched.
  std::string BeginUserSession(Variant& Account, Variant& UserName, Variant& Password);
  // Removes the user's session on this Account path, if there is one.
  void EndUserSession(Variant& Account, Variant& UserName);
  // The session whose token is `Token`. Raises 9 when there is none.
  std::shared_ptr<SysSessions> GetSysSession(Variant& Account, Variant& Token);
  // Sets the password of the users with this name and old password; a
  // mismatch changes nothing and is not reported.
  void ChangeUserPassword(Variant& Account, Variant& theUserName, Variant& OldPassword,
                          Variant& NewPassword);
};

}  // namespace brivos
