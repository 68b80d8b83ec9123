#include "brivos/reports/CReportMgr.hpp"

#include "brivos/database/Database.hpp"

namespace brivos {

BRIVOS_REGISTER_CLASS(kManager, CReportMgr);

BRIVOS_METHOD(CReportMgr, ExecReportQuery) { return OpenReportRecordset(a.Account, CStr(a.sSQL)); }

}  // namespace brivos
