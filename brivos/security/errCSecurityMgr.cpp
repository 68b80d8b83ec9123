#include "brivos/security/errCSecurityMgr.hpp"

namespace brivos {

BRIVOS_REGISTER_ENUMS(kErrors, &errCSecurityMgr::Published);

}  // namespace brivos
