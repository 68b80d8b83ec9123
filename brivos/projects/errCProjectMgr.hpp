#pragma once

#include "brivos/automation/TypeLibrary.hpp"

namespace brivos {

// The published error numbers of CProjectMgr: E(member, offset from the object-error base).
// clang-format off
#define BRIVOS_CPROJECTMGR_ERRORS(E) \
  E(eValidationError, 0) \
  E(eStaffExists, 1) \
  E(eInvalidTask, 2) \
  E(eExpenseApproved, 3) \
  E(eExpenseReportApproved, 4) \
  E(eProjectNotActive, 5) \
  E(eProjectHasInvoices, 6) \
  E(eProjectHasTransactions, 7) \
  E(eProjectHasExpenses, 8) \
  E(eTransactionNotApproved, 9) \
  E(eSevereError, 1000)
// clang-format on

BRIVOS_ERROR_ENUM(errCProjectMgr, BRIVOS_CPROJECTMGR_ERRORS);

}  // namespace brivos
