#include "brivos/records/SysSessions.hpp"

namespace brivos {

BRIVOS_RECORD_DEFINITION(SysSessions, BRIVOS_SYSSESSIONS_COLUMNS, BRIVOS_NO_RELATIONS);

}  // namespace brivos
