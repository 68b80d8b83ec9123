#include "brivos/database/Parameter.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace brivos {

Parameter Parameter::Number(const Variant& v) {
  const std::string text = SqlNumber(v);
  double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  if (value == std::trunc(value) && value >= std::numeric_limits<std::int32_t>::min() &&
      value <= std::numeric_limits<std::int32_t>::max()) {
    return {Kind::Long, Variant(static_cast<std::int32_t>(value))};
  }
  return {Kind::Double, Variant(value)};
}

}  // namespace brivos
