#pragma once

#include "brivos/automation/TypeLibrary.hpp"

namespace brivos {

// The published error numbers of CUserManager: E(member, offset from the object-error base).
// clang-format off
#define BRIVOS_CUSERMANAGER_ERRORS(E) \
  E(eValidationError, 0) \
  E(eUserNameExists, 2) \
  E(eUserIsReferenced, 3) \
  E(eSevereError, 1000)
// clang-format on

BRIVOS_ERROR_ENUM(errCUserManager, BRIVOS_CUSERMANAGER_ERRORS);

}  // namespace brivos
