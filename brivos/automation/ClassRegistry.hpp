#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "brivos/automation/Dispatch.hpp"

namespace brivos {

// Every class the library publishes, in a fixed order: managers, enumeration
// classes, record classes, then the helper classes (Collection, Recordset).
const std::vector<const ClassInfo*>& RegisteredClasses();

// The class named `name` ("CProjectMgr"), case-insensitive; nullptr if none.
const ClassInfo* FindClass(std::string_view name);

// Creates "BRIVOS.<Class>". Raises 429 for an unknown id or a class callers
// may not create (the record classes).
std::shared_ptr<Object> CreateObject(std::string_view prog_id);

}  // namespace brivos
