// brivos settings ACCOUNT [NAME=VALUE ...]

#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "brivos/brivos.hpp"
#include "tools/Command.hpp"

namespace brivos::cli {
namespace {

struct SettingsArgs {
  std::string account;
  std::vector<std::string> assignments;
  std::string user;
  std::string token;
};

int RunSettings(const SettingsArgs& in, const Options& options) {
  Variant account(AccountPath(in.account, options)), user(in.user), token(in.token);
  CSettingsMgr settings;
  // Every assignment is checked before the first is written.
  std::vector<std::pair<std::string, std::string>> changes;
  for (const std::string& assignment : in.assignments) {
    const std::size_t eq = assignment.find('=');
    if (eq == std::string::npos) throw BadInput("'" + assignment + "' is not NAME=VALUE");
    changes.emplace_back(assignment.substr(0, eq), assignment.substr(eq + 1));
    NormalSetting(changes.back().first, changes.back().second);
  }
  for (const auto& [name, value] : changes) settings.SetSetting(account, user, token, name, value);
  Json out = Json::object();
  const auto rows = settings.GetSettings(account, user, token);
  for (const auto& row : rows->Rows()) out[CStr(row[0])] = CStr(row[1]);
  Print(out, options);
  return 0;
}

}  // namespace

Command AddSettingsCommand(CLI::App& program, const Options& options) {
  auto in = std::make_shared<SettingsArgs>();
  CLI::App* command = program.add_subcommand(
      "settings",
      "ACCOUNT [NAME=VALUE ...]: set the firm's settings, then print them all (an empty VALUE "
      "returns a setting to its default)");
  AddAccountArgument(*command, in->account);
  command
      ->add_option("ASSIGNMENTS", in->assignments,
                   "seller.vat_id, seller.registration_id, seller.country (ISO 3166), "
                   "currency (ISO 4217), payment.iban, payment.bic, paper.size (A4 or Letter)")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  AddCallerOptions(*command, in->user, in->token);
  return {command, [in, &options](const Extras&) { return RunSettings(*in, options); }};
}

}  // namespace brivos::cli
