#include "brivos/projects/errCProjectMgr.hpp"

namespace brivos {

BRIVOS_REGISTER_ENUMS(kErrors, &errCProjectMgr::Published);

}  // namespace brivos
