// brivos init ACCOUNT --company NAME --user NAME --password PW

#include <filesystem>
#include <memory>
#include <system_error>

#include "brivos/brivos.hpp"
#include "brivos/database/Database.hpp"
#include "tools/Command.hpp"

namespace brivos::cli {
namespace {

struct InitArgs {
  std::string account;
  std::string company;
  std::string user;
  std::string password;
};

// Provisions the database, creating its directory (and the directories above
// it) when missing; never replaces a file that exists.
int RunInit(const InitArgs& in, const Options& options) {
  const std::string account = AccountPath(in.account, options);
  const std::string file = DatabaseFileOf(Variant(account));
  std::error_code ec;
  if (std::filesystem::exists(file, ec)) {
    throw BadInput(file + " already exists; init never replaces a subscriber database");
  }
  const std::filesystem::path dir = std::filesystem::path(file).parent_path();
  if (!dir.empty() && !std::filesystem::is_directory(dir, ec)) {
    std::filesystem::create_directories(dir, ec);
    if (ec) throw BadInput("cannot create directory " + dir.string() + ": " + ec.message());
  }
  CreateSubscriberDatabase(account, in.company, in.user, in.password);
  Json out = Json::object();
  out["account"] = account;
  out["accountNo"] = AccountNumberOf(Variant(account));
  out["database"] = file;
  out["company"] = in.company;
  out["mainUser"] = in.user;
  Print(out, options);
  return 0;
}

}  // namespace

Command AddInitCommand(CLI::App& program, const Options& options) {
  auto in = std::make_shared<InitArgs>();
  CLI::App* init = program.add_subcommand(
      "init", "Provision a new subscriber database, and its directory if missing");
  AddAccountArgument(*init, in->account);
  init->add_option("--company", in->company, "Company name")->required();
  init->add_option("--user", in->user, "Name of the main user")->required();
  init->add_option("--password", in->password, "Password of the main user")->required();
  return {init, [in, &options](const Extras&) { return RunInit(*in, options); }};
}

}  // namespace brivos::cli
