// brivos enums [NAME]

#include <memory>
#include <string>

#include "brivos/brivos.hpp"
#include "tools/Command.hpp"

namespace brivos::cli {
namespace {

Json EnumToJson(const EnumInfo& info) {
  Json members = Json::object();
  for (const auto& [name, value] : info.members) members[name] = value;
  return members;
}

int RunEnums(const std::string& name, const Options& options) {
  if (!name.empty()) {
    for (const EnumInfo& info : PublishedEnums()) {
      if (EqualsIgnoreCase(info.name, name)) {
        Print(EnumToJson(info), options);
        return 0;
      }
    }
    throw BadInput("no enumeration named '" + name + "'; `brivos enums` lists them all");
  }
  Json out = Json::object();
  for (const EnumInfo& info : PublishedEnums()) out[info.name] = EnumToJson(info);
  Print(out, options);
  return 0;
}

}  // namespace

Command AddEnumsCommand(CLI::App& program, const Options& options) {
  auto name = std::make_shared<std::string>();
  CLI::App* enums = program.add_subcommand("enums", "Print the published enumerations");
  enums->add_option("NAME", *name, "Only this enumeration, e.g. errCSecurityMgr");
  return {enums, [name, &options](const Extras&) { return RunEnums(*name, options); }};
}

}  // namespace brivos::cli
