#include "brivos/automation/TypeLibrary.hpp"

#include <algorithm>

namespace brivos {
namespace {

struct Registration {
  EnumGroup group;
  std::vector<EnumInfo> (*make)();
};

std::vector<Registration>& Registrations() {
  static std::vector<Registration> registrations;
  return registrations;
}

}  // namespace

bool RegisterEnums(EnumGroup group, std::vector<EnumInfo> (*make)()) {
  Registrations().push_back({group, make});
  return true;
}

const std::vector<EnumInfo>& PublishedEnums() {
  static const std::vector<EnumInfo> enums = [] {
    std::vector<std::pair<EnumGroup, EnumInfo>> sorted;
    for (const Registration& r : Registrations()) {
      for (EnumInfo& e : r.make()) sorted.emplace_back(r.group, std::move(e));
    }
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
      if (a.first != b.first) return a.first < b.first;
      return a.second.name < b.second.name;
    });
    std::vector<EnumInfo> list;
    for (auto& [group, e] : sorted) list.push_back(std::move(e));
    return list;
  }();
  return enums;
}

}  // namespace brivos
