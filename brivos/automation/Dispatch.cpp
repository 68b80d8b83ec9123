#include "brivos/automation/Dispatch.hpp"

namespace brivos {

ClassInfo::ClassInfo(std::string name, bool creatable,
                     std::function<std::shared_ptr<Object>()> create,
                     std::vector<MemberInfo> members)
    : name_(std::move(name)),
      prog_id_("BRIVOS." + name_),
      creatable_(creatable),
      create_(std::move(create)),
      members_(std::move(members)) {
  for (std::size_t i = 0; i < members_.size(); ++i) index_.emplace(members_[i].name, i);
}

const MemberInfo* ClassInfo::Find(std::string_view member) const {
  auto it = index_.find(member);
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
