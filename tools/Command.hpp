#pragma once

// What the commands of the `brivos` program share: the program's options
// (given before the command or after it), the rule that turns an account
// number into an Account path, and printing JSON. Each command lives in a file of its own and adds its
// subcommand through one Add...Command function; main.cpp wires them.

#include <CLI/CLI.hpp>
#include <functional>
#include <string>
#include <vector>

#include "json/VariantJson.hpp"

namespace brivos::cli {

using json::ArgumentFromText;
using json::BadInput;
using json::DateArgumentFromText;
using json::Dump;
using json::Json;
using json::ToJson;

// The program's options, read before the command or after it.
struct Options {
  std::string db_dir;
  bool compact = false;
};

// The arguments CLI11 leaves over, in order.
using Extras = std::vector<std::string>;

// One command: its subcommand and what runs it once the command line is
// parsed. `run` returns the exit status; it is given the extras, which only
// a command that takes_extras accepts.
struct Command {
  CLI::App* app = nullptr;
  std::function<int(const Extras& extras)> run;
  bool takes_extras = false;
};

// Each adds its subcommand to `program`; `options` is read when it runs.
Command AddInitCommand(CLI::App& program, const Options& options);
Command AddCallCommand(CLI::App& program, const Options& options);
Command AddInvoiceCommand(CLI::App& program, const Options& options);
Command AddPreviewCommand(CLI::App& program, const Options& options);
Command AddClassesCommand(CLI::App& program, const Options& options);
Command AddMembersCommand(CLI::App& program, const Options& options);
Command AddEnumsCommand(CLI::App& program, const Options& options);
Command AddServeCommand(CLI::App& program, const Options& options);
Command AddMigrateCommand(CLI::App& program, const Options& options);
Command AddSettingsCommand(CLI::App& program, const Options& options);

// The account rule, as --help prints it.
extern const char* const kAccountRule;

// Adds the ACCOUNT argument (required) to `command`, with the account rule
// as its footer.
void AddAccountArgument(CLI::App& command, std::string& account);
// Adds --user and --token, the UserName and Token a command passes to the
// library.
void AddCallerOptions(CLI::App& command, std::string& user, std::string& token);

// The Account path for an ACCOUNT the caller gave; see kAccountRule.
std::string AccountPath(const std::string& text, const Options& options);

// Prints `value` and a line break on stdout, indented unless --compact.
void Print(const Json& value, const Options& options);

}  // namespace brivos::cli
