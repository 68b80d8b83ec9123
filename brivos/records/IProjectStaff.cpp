#include "brivos/records/IProjectStaff.hpp"

#include "brivos/records/IProject.hpp"
#include "brivos/records/IUser.hpp"

namespace brivos {

BRIVOS_RECORD_DEFINITION(IProjectStaff, BRIVOS_IPROJECTSTAFF_COLUMNS,
                         BRIVOS_IPROJECTSTAFF_RELATIONS);

}  // namespace brivos
