#include "brivos/records/IProjectTask.hpp"

#include "brivos/records/IProject.hpp"

namespace brivos {

BRIVOS_RECORD_DEFINITION(IProjectTask, BRIVOS_IPROJECTTASK_COLUMNS, BRIVOS_IPROJECTTASK_RELATIONS);

}  // namespace brivos
