// brivos members CLASS

#include <memory>
#include <string>

#include "brivos/brivos.hpp"
#include "tools/Command.hpp"

namespace brivos::cli {
namespace {

int RunMembers(const std::string& class_name, const Options& options) {
  const ClassInfo* info = FindClass(class_name);
  if (info == nullptr) {
    throw BadInput("no class named '" + class_name + "'; `brivos classes` lists them");
  }
  Json members = Json::array();
  for (const MemberInfo& member : info->Members()) {
    Json entry = Json::object();
    entry["name"] = member.name;
    entry["args"] = member.arg_names;
    // Who a front end serving several users lets call it.
    entry["access"] = AccessName(member.access);
    if (!member.owned.empty()) entry["owned"] = member.owned;
    if (!member.changed.empty()) entry["changes"] = member.changed;
    members.push_back(std::move(entry));
  }
  Json out = Json::object();
  out["class"] = info->Name();
  out["progId"] = info->ProgId();
  out["creatable"] = info->Creatable();
  out["members"] = std::move(members);
  Print(out, options);
  return 0;
}

}  // namespace

Command AddMembersCommand(CLI::App& program, const Options& options) {
  auto class_name = std::make_shared<std::string>();
  CLI::App* members = program.add_subcommand(
      "members", "List a class's members, their arguments and who may call them");
  members->add_option("CLASS", *class_name, "Class name")->required();
  return {members,
          [class_name, &options](const Extras&) { return RunMembers(*class_name, options); }};
}

}  // namespace brivos::cli
