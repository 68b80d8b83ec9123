#pragma once

// What the resources read of the library's values.

#include <memory>
#include <string_view>
#include <vector>

#include "brivos/brivos.hpp"

namespace brivos::server::resources {

// The property `name` of a record, Null for no object.
inline Variant Property(const Variant& record, std::string_view name) {
  const std::shared_ptr<Object> object = record.AsObject();
  if (!object) return Variant::Null();
  std::vector<Variant> none;
  return object->Invoke(name, none);
}

// The items of a collection; none for any other value.
inline std::vector<Variant> Items(const Variant& value) {
  const auto collection = std::dynamic_pointer_cast<Collection>(value.AsObject());
  return collection ? collection->Items() : std::vector<Variant>{};
}

}  // namespace brivos::server::resources
