#include "tools/Command.hpp"

#include <iostream>
#include <string_view>

#include "app/Tenants.hpp"

namespace brivos::cli {

const char* const kAccountRule = R"(Accounts:
  An Account is the path of a subscriber database without its ".mdb"; the
  account number is the text after its last backslash.
  - A bare account number (no slash or backslash), with --db-dir DIR or the
    environment variable BRIVOS_DATA set, means DIR\NUMBER. Without either it
    names NUMBER.mdb in the current directory.
  - A path with forward slashes only (/srv/brivos/A100) reads its last slash as
    that backslash (/srv/brivos\A100), so that the account number is A100.
  - A path holding a backslash is used exactly as given.
  The rule applies to ACCOUNT of `init`, `invoice` and `preview`, and to the
  first argument of `call` when the method names that argument Account.
)";

std::string AccountPath(const std::string& text, const Options& options) {
  if (text.empty()) return text;
  // A bare number takes the same rule as the service's accounts, so that both
  // spell an Account alike (a schema's name hashes the directory as spelled).
  if (text.find_first_of("/\\") == std::string::npos) return app::AccountIn(options.db_dir, text);
  if (text.find('\\') != std::string::npos) return text;
  std::string path = text;
  const std::size_t last = path.rfind('/');
  if (last + 1 < path.size()) path[last] = '\\';
  return path;
}

void AddAccountArgument(CLI::App& command, std::string& account) {
  command.add_option("ACCOUNT", account, "Account number or Account path")->required();
  command.footer(kAccountRule);
}

void AddCallerOptions(CLI::App& command, std::string& user, std::string& token) {
  command.add_option("--user", user, "UserName passed to the library");
  command.add_option("--token", token, "Token passed to the library");
}

void Print(const Json& value, const Options& options) {
  std::cout << Dump(value, options.compact) << '\n';
}

}  // namespace brivos::cli
