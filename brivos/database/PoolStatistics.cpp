#include "brivos/database/PoolStatistics.hpp"

#include "brivos/database/Backend.hpp"

namespace brivos {

PoolStatistics ConnectionPoolStatistics() { return ActiveBackend().Statistics(); }

}  // namespace brivos
