#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "brivos/automation/ClassRegistry.hpp"
#include "brivos/foundation/Error.hpp"

namespace brivos {

// A published enumeration: its name and its members in declaration order.
struct EnumInfo {
  std::string name;
  std::vector<std::pair<std::string, std::int32_t>> members;
};

// The groups the published enumerations are listed in, in this order.
enum class EnumGroup { kErrors, kWidths, kValueSets };

// Every enumeration the library publishes: the error numbers of the managers,
// the widths of every table and the value sets; by name within each group.
const std::vector<EnumInfo>& PublishedEnums();

// Adds the enumerations `make` returns; see BRIVOS_REGISTER_ENUMS. Returns true.
bool RegisterEnums(EnumGroup group, std::vector<EnumInfo> (*make)());

// The error numbers of the managers: the object-error base plus an offset.
inline constexpr std::int32_t ErrorNumber(std::int32_t offset) {
  return errnum::kObjectErrorBase + offset;
}

}  // namespace brivos

// Registers enumerations where they are defined, as BRIVOS_REGISTER_CLASS does.
#define BRIVOS_REGISTER_ENUMS(group, make)                                       \
  [[maybe_unused]] static const bool BRIVOS_CONCAT(brivos_enums_, __COUNTER__) = \
      ::brivos::RegisterEnums(::brivos::EnumGroup::group, make)

#define BRIVOS_ERROR_CONSTANT_(member, offset) \
  static constexpr std::int32_t member = ::brivos::ErrorNumber(offset);
#define BRIVOS_ERROR_PAIR_(member, offset) {#member, ::brivos::ErrorNumber(offset)},

// A manager's error enumeration from its list of E(member, offset): a struct
// of constants (errCUserManager::eUserNameExists) and its published form.
#define BRIVOS_ERROR_ENUM(Name, LIST)                                 \
  struct Name {                                                       \
    LIST(BRIVOS_ERROR_CONSTANT_)                                      \
    static std::vector<::brivos::EnumInfo> Published() {              \
      return {::brivos::EnumInfo{#Name, {LIST(BRIVOS_ERROR_PAIR_)}}}; \
    }                                                                 \
  }
