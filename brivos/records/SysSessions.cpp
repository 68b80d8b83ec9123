#include "brivos/records/SysSessions.hpp"

namespace brivos {

// A sign-in replaces the session of one user on one Account path.
BRIVOS_RECORD_DEFINITION(SysSessions, BRIVOS_SYSSESSIONS_COLUMNS, BRIVOS_NO_RELATIONS,
                         {kUserName, kAccount});

}  // namespace brivos
