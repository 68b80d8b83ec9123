#pragma once

#include "brivos/automation/TypeLibrary.hpp"

namespace brivos {

// The published error numbers of CSecurityMgr: E(member, offset from the object-error base).
// clang-format off
#define BRIVOS_CSECURITYMGR_ERRORS(E) \
  E(eValidationError, 0) \
  E(eInvalidUserInfo, 1) \
  E(eUserAlreadyLoggedIn, 2) \
  E(eUserNotLoggedIn, 3) \
  E(eSevereError, 1000) \
  E(eSessionExpired, 1001)
// clang-format on

BRIVOS_ERROR_ENUM(errCSecurityMgr, BRIVOS_CSECURITYMGR_ERRORS);

}  // namespace brivos
