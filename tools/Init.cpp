// brivos init ACCOUNT --company NAME --user NAME --password PW

#include <filesystem>
#include <memory>
#include <system_error>

#include "brivos/brivos.hpp"
#include "brivos/database/Backend.hpp"
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

// Provisions the database, never replacing one that exists. On files it is
// the file the Account names, its directory (and those above it) created
// when missing; on PostgreSQL a schema of the database server, and nothing
// of this machine's files is touched.
int RunInit(const InitArgs& in, const Options& options) {
  const std::string account = AccountPath(in.account, options);
  Backend& backend = ActiveBackend();
  Json out = Json::object();
  out["account"] = account;
  out["accountNo"] = AccountNumberOf(Variant(account));
  if (backend.NamesFiles()) {
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
    out["backend"] = "sqlite";
    out["database"] = file;
  } else {
    if (const auto found = backend.Find(Variant(account))) {
      throw BadInput("the schema " + found->name + " of " + account +
                     " already exists; init never replaces a subscriber database");
    }
    CreateSubscriberDatabase(account, in.company, in.user, in.password);
    out["backend"] = "postgresql";
    // A schema is where PostgreSQL keeps the subscriber's tables.
    out["schema"] = backend.Locate(Variant(account)).name;
  }
  out["company"] = in.company;
  out["mainUser"] = in.user;
  Print(out, options);
  return 0;
}

}  // namespace

Command AddInitCommand(CLI::App& program, const Options& options) {
  auto in = std::make_shared<InitArgs>();
  CLI::App* init = program.add_subcommand(
      "init",
      "Provision a new subscriber database: a file, and its directory if missing, or a schema on "
      "PostgreSQL");
  AddAccountArgument(*init, in->account);
  init->add_option("--company", in->company, "Company name")->required();
  init->add_option("--user", in->user, "Name of the main user")->required();
  init->add_option("--password", in->password, "Password of the main user")->required();
  return {init, [in, &options](const Extras&) { return RunInit(*in, options); }};
}

}  // namespace brivos::cli
