#include "brivos/database/internal/ResultMeter.hpp"

#include <string>

#include "brivos/database/internal/DatabaseError.hpp"
#include "brivos/foundation/Error.hpp"

namespace brivos::internal {

void ResultMeter::Add(const std::vector<Variant>& row) {
  if (++rows_ > ceilings_.rows) {
    RaiseDatabase(errnum::kDbLimitReached,
                  "The result passed its ceiling of " + std::to_string(ceilings_.rows) + " rows.");
  }
  bytes_ += static_cast<std::int64_t>(sizeof(Variant) * row.size());
  for (const Variant& value : row) {
    if (value.Type() == VarType::String) {
      bytes_ += static_cast<std::int64_t>(value.AsString().size());
    }
  }
  if (bytes_ > ceilings_.bytes) {
    RaiseDatabase(errnum::kDbLimitReached, "The result passed its ceiling of " +
                                               std::to_string(ceilings_.bytes) + " bytes.");
  }
}

}  // namespace brivos::internal
