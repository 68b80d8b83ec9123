#pragma once

#include <cstdint>
#include <vector>

#include "brivos/database/ReportCeilings.hpp"
#include "brivos/foundation/Variant.hpp"

namespace brivos::internal {

// Counts the rows of a caller's result as they are read, against its
// ceilings.
class ResultMeter {
 public:
  explicit ResultMeter(const ReportCeilings& ceilings) : ceilings_(ceilings) {}

  // Counts `row`; raises -2147217871 naming the ceiling it passes.
  void Add(const std::vector<Variant>& row);

 private:
  ReportCeilings ceilings_;
  std::int64_t rows_ = 0;
  std::int64_t bytes_ = 0;
};

}  // namespace brivos::internal
