#include "app/Values.hpp"

#include <limits>

namespace brivos::app {

namespace {
constexpr std::int64_t kExactDouble = std::int64_t{1} << 53;
}  // namespace

Variant Property(const Variant& value, std::string_view name) {
  const std::shared_ptr<Object> object = value.AsObject();
  if (!object) return Variant::Null();
  std::vector<Variant> none;
  return object->Invoke(name, none);
}

std::vector<Variant> Items(const Variant& value) {
  const auto collection = std::dynamic_pointer_cast<Collection>(value.AsObject());
  return collection ? collection->Items() : std::vector<Variant>{};
}

Variant WholeNumber(std::int64_t value) {
  if (value >= std::numeric_limits<std::int32_t>::min() &&
      value <= std::numeric_limits<std::int32_t>::max()) {
    return Variant(static_cast<std::int32_t>(value));
  }
  if (value >= -kExactDouble && value <= kExactDouble) return Variant(static_cast<double>(value));
  RaiseTooWide("BRIVOS");
}

void RaiseTooWide(const char* source) {
  throw Error(errnum::kOverflow, source,
              "Overflow: a whole number beyond 2^53 has no exact value here.");
}

}  // namespace brivos::app
