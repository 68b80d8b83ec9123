#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "brivos/automation/Dispatch.hpp"

namespace brivos {

// The groups the registry lists classes in, in this order.
enum class ClassGroup { kManager, kValueSet, kRecord, kHelper };

// Every class the library publishes: managers, enumeration classes, record
// classes, then the helper classes (Collection, Recordset); by name within
// each group.
const std::vector<const ClassInfo*>& RegisteredClasses();

// The class named `name` ("CProjectMgr"), case-insensitive; nullptr if none.
const ClassInfo* FindClass(std::string_view name);

// Creates "BRIVOS.<Class>". Raises 429 for an unknown id or a class callers
// may not create (the record classes).
std::shared_ptr<Object> CreateObject(std::string_view prog_id);

// Adds a class to the registry; see BRIVOS_REGISTER_CLASS. Returns true.
bool RegisterClass(ClassGroup group, const ClassInfo& (*info)());

}  // namespace brivos

#define BRIVOS_CONCAT_(a, b) a##b
#define BRIVOS_CONCAT(a, b) BRIVOS_CONCAT_(a, b)

// Registers a class where it is defined: BRIVOS_REGISTER_CLASS(kManager, CUserManager);
// at namespace scope of the class's source file. Its Info() is read on the
// first use of the registry, never during static initialisation.
#define BRIVOS_REGISTER_CLASS(group, ...)                                             \
  [[maybe_unused]] static const bool BRIVOS_CONCAT(brivos_registered_, __COUNTER__) = \
      ::brivos::RegisterClass(::brivos::ClassGroup::group, &__VA_ARGS__::Info)
