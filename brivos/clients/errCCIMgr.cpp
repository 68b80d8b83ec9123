#include "brivos/clients/errCCIMgr.hpp"

namespace brivos {

BRIVOS_REGISTER_ENUMS(kErrors, &errCCIMgr::Published);

}  // namespace brivos
