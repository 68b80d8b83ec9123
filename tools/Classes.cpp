// brivos classes

#include "brivos/brivos.hpp"
#include "tools/Command.hpp"

namespace brivos::cli {

Command AddClassesCommand(CLI::App& program, const Options& options) {
  CLI::App* classes = program.add_subcommand("classes", "List the registered classes");
  return {classes, [&options](const Extras&) {
            Json out = Json::array();
            for (const ClassInfo* info : RegisteredClasses()) {
              Json entry = Json::object();
              entry["name"] = info->Name();
              entry["creatable"] = info->Creatable();
              out.push_back(std::move(entry));
            }
            Print(out, options);
            return 0;
          }};
}

}  // namespace brivos::cli
