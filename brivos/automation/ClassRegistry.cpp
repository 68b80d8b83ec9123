#include "brivos/automation/ClassRegistry.hpp"

namespace brivos {

const ClassInfo* FindClass(std::string_view name) {
  for (const ClassInfo* info : RegisteredClasses()) {
    if (EqualsIgnoreCase(info->Name(), name)) return info;
  }
  return nullptr;
}

std::shared_ptr<Object> CreateObject(std::string_view prog_id) {
  return Guarded("BRIVOS", [&] {
    constexpr std::string_view kPrefix = "BRIVOS.";
    const ClassInfo* info = nullptr;
    if (prog_id.size() > kPrefix.size() &&
        EqualsIgnoreCase(prog_id.substr(0, kPrefix.size()), kPrefix)) {
      info = FindClass(prog_id.substr(kPrefix.size()));
    }
    if (info == nullptr || !info->Creatable()) RaiseRuntime(errnum::kCannotCreateObject);
    return info->Create();
  });
}

}  // namespace brivos
