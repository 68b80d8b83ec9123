#pragma once

#include <memory>

#include "brivos/automation/Dispatch.hpp"
#include "brivos/foundation/Recordset.hpp"

namespace brivos {

// Runs a caller's own statement against a subscriber database.
class CReportMgr final : public Dispatch<CReportMgr> {
 public:
  static const ClassInfo& Info();

  // The rows of `sSQL`, sent to the database unchanged, as a disconnected
  // result set. A Null text raises 94.
  std::shared_ptr<Recordset> ExecReportQuery(Variant& Account, Variant& sSQL);
};

}  // namespace brivos
