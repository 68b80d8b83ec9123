#include "brivos/users/errCUserManager.hpp"

namespace brivos {

BRIVOS_REGISTER_ENUMS(kErrors, &errCUserManager::Published);

}  // namespace brivos
