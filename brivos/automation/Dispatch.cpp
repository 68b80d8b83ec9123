#include "brivos/automation/Dispatch.hpp"

#include <algorithm>
#include <exception>

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

const char* AccessName(Access access) {
  switch (access) {
    case Access::kAdmin:
      return "administrator";
    case Access::kAny:
      return "any user";
    case Access::kOwn:
      return "any user, on their own";
  }
  return "administrator";
}

namespace {

// The argument names of a declaration's text ("TransID, StaffID").
std::vector<std::string> DeclaredArgs(const MemberInfo& member, std::string_view rest) {
  std::vector<std::string> args;
  while (!rest.empty()) {
    const std::size_t comma = std::min(rest.find(','), rest.size());
    std::string_view arg = rest.substr(0, comma);
    while (!arg.empty() && arg.front() == ' ') arg.remove_prefix(1);
    while (!arg.empty() && arg.back() == ' ') arg.remove_suffix(1);
    // An argument the method does not take is a list that disagrees with
    // itself.
    bool known = false;
    for (const std::string& name : member.arg_names) known = known || name == arg;
    if (!known) std::terminate();
    args.emplace_back(arg);
    rest.remove_prefix(std::min(comma + 1, rest.size()));
  }
  return args;
}

}  // namespace

MemberInfo Declare(MemberInfo member, const DeclaredAccess& declared) {
  member.access = declared.access;
  member.owned = DeclaredArgs(member, declared.owned);
  member.changed = DeclaredArgs(member, declared.changed);
  return member;
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
