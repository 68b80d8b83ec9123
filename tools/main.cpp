// The `brivos` program: provisions subscriber databases, calls the library's
// classes late-bound from a shell, printing results as JSON, and prints
// invoices and invoicing previews a person can read. Each command lives in
// a file of its own; this file wires them.
//
// Exit status: 0 on success, 1 when the library raised an Error (printed as
// one line of JSON on stderr), 2 for input the program refuses before calling
// the library (usage, unknown class or member, malformed JSON), 3 for anything
// unexpected.

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "brivos/brivos.hpp"
#include "brivos/database/Database.hpp"
#include "tools/Command.hpp"

namespace brivos::cli {
namespace {

constexpr int kExitRaised = 1;
constexpr int kExitBadInput = 2;
constexpr int kExitUnexpected = 3;

constexpr const char* kExitRule = R"(
Exit status:
  0 success; 1 the library raised an error (one line of JSON on stderr);
  2 input refused before any call (one line on stderr); 3 anything else.
)";

constexpr const char* kClockExample = "2024-03-05 09:30";

// "init, call and enums"
std::string NamesOf(const std::vector<Command>& commands) {
  std::string names;
  for (std::size_t i = 0; i < commands.size(); ++i) {
    if (i > 0) names += i + 1 == commands.size() ? " and " : ", ";
    names += commands[i].app->get_name();
  }
  return names;
}

int Run(int argc, char** argv) {
  CLI::App app{
      "Provisions BRIVOS subscriber databases, calls the library's classes late-bound, "
      "printing results as JSON, and prints invoices and invoicing previews.",
      "brivos"};
  app.footer(std::string(kAccountRule) + kExitRule);
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("brivos ") + BRIVOS_VERSION);
  // The arguments of `call` are read by the command, not by CLI11.
  app.allow_extras();
  // The program's options are declared once, here, and read before the
  // command or anywhere after it: every subcommand inherits fallthrough and
  // hands them an option it does not know. Given twice, the last one counts.
  app.fallthrough();
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);

  Options options;
  app.add_option("--db-dir", options.db_dir,
                 "Directory of the subscriber databases, for accounts given by number")
      ->envname("BRIVOS_DATA");
  app.add_flag("--compact", options.compact, "Print JSON on one line");
  std::string database_url;
  CLI::Option* url = app.add_option(
      "--database-url", database_url,
      "A PostgreSQL URI: accounts are then schemas of that database (BRIVOS_DATABASE_URL)");
  std::string now_text;
  CLI::Option* now = app.add_option(
      "--now", now_text,
      std::string("Run the command with the library's clock set to this moment, e.g. \"") +
          kClockExample + "\"");
  // The commands' own options keep the default: given twice is refused.
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::Throw);

  const std::vector<Command> commands = {
      AddInitCommand(app, options),    AddCallCommand(app, options),
      AddInvoiceCommand(app, options), AddPreviewCommand(app, options),
      AddClassesCommand(app, options), AddMembersCommand(app, options),
      AddEnumsCommand(app, options),   AddServeCommand(app, options),
      AddMigrateCommand(app, options), AddSettingsCommand(app, options)};

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    // Extras are allowed for `call`, so a mistyped command lands there.
    const std::vector<std::string> extras = app.remaining();
    if (app.get_subcommands().empty() && !extras.empty()) {
      throw BadInput("unknown command '" + extras.front() + "'; the commands are " +
                     NamesOf(commands));
    }
    throw BadInput(std::string(e.what()) + " (see brivos --help)");
  }

  // The library reads its backend from the environment on first use.
  if (url->count() > 0) ::setenv("BRIVOS_DATABASE_URL", database_url.c_str(), 1);

  // The clock holds still for the whole command, so a script can replay a day.
  if (now->count() > 0) {
    Date moment;
    if (!Date::TryParse(now_text, moment)) {
      throw BadInput("--now needs a date and time such as \"" + std::string(kClockExample) +
                     "\", not '" + now_text + "'");
    }
    SetClock([moment] { return moment; });
  }

  const Extras extras = app.remaining(true);
  for (const Command& command : commands) {
    if (!command.app->parsed()) continue;
    if (!command.takes_extras && !extras.empty()) {
      throw BadInput("unexpected argument '" + extras.front() + "'");
    }
    return command.run(extras);
  }
  throw BadInput("no command given (see brivos --help)");
}

// One line for stderr: line breaks in a message would split it.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

void PrintError(const Error& e) {
  Json out = Json::object();
  out["number"] = e.Number();
  out["source"] = e.Source();
  out["description"] = e.Description();
  std::cerr << Dump(out, true) << std::endl;
}

}  // namespace
}  // namespace brivos::cli

int main(int argc, char** argv) {
  using namespace brivos::cli;
  int status = kExitUnexpected;
  try {
    status = Run(argc, argv);
  } catch (const brivos::Error& e) {
    PrintError(e);
    status = kExitRaised;
  } catch (const BadInput& e) {
    std::cerr << "brivos: " << OneLine(e.what()) << std::endl;
    status = kExitBadInput;
  } catch (const std::exception& e) {
    std::cerr << "brivos: unexpected failure: " << OneLine(e.what()) << std::endl;
    status = kExitUnexpected;
  } catch (...) {
    std::cerr << "brivos: unexpected failure" << std::endl;
    status = kExitUnexpected;
  }
  try {
    brivos::ReleaseIdleConnections();
  } catch (...) {
    // Nothing is left to report: the result is already printed.
  }
  std::cout.flush();
  return status;
}
