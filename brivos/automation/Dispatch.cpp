#include "brivos/automation/Dispatch.hpp"

#include <algorithm>
#include <cctype>

namespace brivos {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

}  // namespace

ClassInfo::ClassInfo(std::string name, bool creatable,
                     std::function<std::shared_ptr<Object>()> create,
                     std::vector<MemberInfo> members)
    : name_(std::move(name)),
      prog_id_("BRIVOS." + name_),
      creatable_(creatable),
      create_(std::move(create)),
      members_(std::move(members)) {
  for (std::size_t i = 0; i < members_.size(); ++i) index_.emplace(Lower(members_[i].name), i);
}

const MemberInfo* ClassInfo::Find(std::string_view member) const {
  auto it = index_.find(Lower(member));
  return it == index_.end() ? nullptr : &members_[it->second];
}

Variant InvokeMember(const ClassInfo& info, Object& self, std::string_view member,
                     std::vector<Variant>& args) {
  return Guarded(info.ProgId(), [&] {
    const MemberInfo* m = info.Find(member);
    if (m == nullptr) RaiseRuntime(errnum::kUnknownMember);
    if (args.size() != m->arg_names.size()) RaiseRuntime(errnum::kWrongArgumentCount);
    return m->invoke(self, args);
  });
}

}  // namespace brivos
