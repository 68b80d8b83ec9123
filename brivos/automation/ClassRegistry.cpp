#include "brivos/automation/ClassRegistry.hpp"

#include <algorithm>
#include <utility>

namespace brivos {
namespace {

struct Registration {
  ClassGroup group;
  const ClassInfo& (*info)();
};

// Filled during static initialisation; read only after it.
std::vector<Registration>& Registrations() {
  static std::vector<Registration> registrations;
  return registrations;
}

}  // namespace

bool RegisterClass(ClassGroup group, const ClassInfo& (*info)()) {
  Registrations().push_back({group, info});
  return true;
}

const std::vector<const ClassInfo*>& RegisteredClasses() {
  static const std::vector<const ClassInfo*> classes = [] {
    std::vector<std::pair<ClassGroup, const ClassInfo*>> sorted;
    for (const Registration& r : Registrations()) sorted.emplace_back(r.group, &r.info());
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
      if (a.first != b.first) return a.first < b.first;
      return a.second->Name() < b.second->Name();
    });
    std::vector<const ClassInfo*> list;
    for (const auto& [group, info] : sorted) list.push_back(info);
    return list;
  }();
  return classes;
}

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
    if (StartsWithIgnoreCase(prog_id, kPrefix) && prog_id.size() > kPrefix.size()) {
      info = FindClass(prog_id.substr(kPrefix.size()));
    }
    if (info == nullptr || !info->Creatable()) RaiseRuntime(errnum::kCannotCreateObject);
    return info->Create();
  });
}

}  // namespace brivos
