#pragma once

#include "brivos/automation/TypeLibrary.hpp"

namespace brivos {

// The published error numbers of CCIMgr: E(member, offset from the object-error base).
// clang-format off
#define BRIVOS_CCIMGR_ERRORS(E) \
  E(eValidationError, 0) \
  E(eSevereError, 1000)
// clang-format on

BRIVOS_ERROR_ENUM(errCCIMgr, BRIVOS_CCIMGR_ERRORS);

}  // namespace brivos
