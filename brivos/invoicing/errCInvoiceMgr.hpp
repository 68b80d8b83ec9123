#pragma once

#include "brivos/automation/TypeLibrary.hpp"

namespace brivos {

// The published error numbers of CInvoiceMgr: E(member, offset from the object-error base).
// clang-format off
#define BRIVOS_CINVOICEMGR_ERRORS(E) \
  E(eValidationError, 0) \
  E(eSevereError, 1000)
// clang-format on

BRIVOS_ERROR_ENUM(errCInvoiceMgr, BRIVOS_CINVOICEMGR_ERRORS);

}  // namespace brivos
