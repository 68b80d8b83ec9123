#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "brivos/foundation/Error.hpp"

namespace brivos {

// A published enumeration: its name and its members in declaration order.
struct EnumInfo {
  std::string name;
  std::vector<std::pair<std::string, std::int32_t>> members;
};

// Every enumeration the library publishes: the error numbers of the managers,
// the widths of every table and the five value sets.
const std::vector<EnumInfo>& PublishedEnums();

// The error numbers of the managers: the object-error base plus an offset.
inline constexpr std::int32_t ErrorNumber(std::int32_t offset) {
  return errnum::kObjectErrorBase + offset;
}

// Each error enumeration as a list of E(member, offset).
// clang-format off
#define BRIVOS_ERR_CPROJECTMGR(E) \
  E(eValidationError, 0) \
  E(eStaffExists, 1) \
  E(eInvalidTask, 2) \
  E(eExpenseApproved, 3) \
  E(eExpenseReportApproved, 4) \
  E(eProjectNotActive, 5) \
  E(eProjectHasInvoices, 6) \
  E(eProjectHasTransactions, 7) \
  E(eProjectHasExpenses, 8) \
  E(eSevereError, 1000)
#define BRIVOS_ERR_CSECURITYMGR(E) \
  E(eValidationError, 0) \
  E(eInvalidUserInfo, 1) \
  E(eUserAlreadyLoggedIn, 2) \
  E(eUserNotLoggedIn, 3) \
  E(eSevereError, 1000) \
  E(eSessionExpired, 1001)
#define BRIVOS_ERR_CUSERMANAGER(E) \
  E(eValidationError, 0) \
  E(eUserNameExists, 2) \
  E(eUserIsReferenced, 3) \
  E(eSevereError, 1000)
#define BRIVOS_ERR_CCIMGR(E) \
  E(eValidationError, 0) \
  E(eSevereError, 1000)
#define BRIVOS_ERR_CINVOICEMGR(E) \
  E(eValidationError, 0) \
  E(eSevereError, 1000)
// clang-format on

#define BRIVOS_ERR_CONSTANT_(member, offset) \
  static constexpr std::int32_t member = ErrorNumber(offset);

struct errCProjectMgr {
  BRIVOS_ERR_CPROJECTMGR(BRIVOS_ERR_CONSTANT_)
};
struct errCSecurityMgr {
  BRIVOS_ERR_CSECURITYMGR(BRIVOS_ERR_CONSTANT_)
};
struct errCUserManager {
  BRIVOS_ERR_CUSERMANAGER(BRIVOS_ERR_CONSTANT_)
};
struct errCCIMgr {
  BRIVOS_ERR_CCIMGR(BRIVOS_ERR_CONSTANT_)
};
struct errCInvoiceMgr {
  BRIVOS_ERR_CINVOICEMGR(BRIVOS_ERR_CONSTANT_)
};

}  // namespace brivos
