#include "brivos/records/IExpenseReport.hpp"

#include "brivos/records/IUser.hpp"

namespace brivos {

BRIVOS_RECORD_DEFINITION(IExpenseReport, BRIVOS_IEXPENSEREPORT_COLUMNS,
                         BRIVOS_IEXPENSEREPORT_RELATIONS);

}  // namespace brivos
