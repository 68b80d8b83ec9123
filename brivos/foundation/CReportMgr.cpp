#include "brivos/foundation/CReportMgr.hpp"

#include "brivos/foundation/Database.hpp"

namespace brivos {

const ClassInfo& CReportMgr::Info() {
  static const ClassInfo info(
      "CReportMgr", true, [] { return std::make_shared<CReportMgr>(); },
      {BindMethod("ExecReportQuery", {"Account", "sSQL"}, &CReportMgr::ExecReportQuery)});
  return info;
}

std::shared_ptr<Recordset> CReportMgr::ExecReportQuery(Variant& Account, Variant& sSQL) {
  return Guard([&] { return OpenRecordset(Account, CStr(sSQL)); });
}

}  // namespace brivos
