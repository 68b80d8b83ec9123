#pragma once

#include <memory>

#include "brivos/automation/Manager.hpp"
#include "brivos/automation/Recordset.hpp"

namespace brivos {

// clang-format off
#define BRIVOS_CREPORTMGR_METHODS(M) \
  /* The rows of `sSQL`, sent to the database unchanged, as a disconnected  */ \
  /* result set. A Null text raises 94. The text reads and writes the       */ \
  /* account's own tables only: anything reaching another file or changing  */ \
  /* the connection (attaching files, changing settings, temporary tables) */ \
  /* raises -2147217900 (see Connection::QueryConfined). A statement past   */ \
  /* its time budget or a ceiling of its result (ReportResultCeilings)      */ \
  /* stops and raises -2147217871, returning nothing.                       */ \
  M(ADMIN, std::shared_ptr<Recordset>, ExecReportQuery, Account, sSQL)
// clang-format on

// Runs a caller's own statement against a subscriber database.
class CReportMgr final : public Dispatch<CReportMgr> {
  BRIVOS_MANAGER(CReportMgr, BRIVOS_CREPORTMGR_METHODS)
};

}  // namespace brivos
