#include "brivos/database/internal/DatabaseError.hpp"

#include "brivos/foundation/Error.hpp"

namespace brivos::internal {

void RaiseDatabase(std::int32_t number, std::string description) {
  throw Error(number, std::string(kDatabaseSource), std::move(description));
}

}  // namespace brivos::internal
