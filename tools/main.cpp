// The `brivos` program: provisions subscriber databases and calls the
// library's classes late-bound from a shell, printing results as JSON.
//
// Exit status: 0 on success, 1 when the library raised an Error (printed as
// one line of JSON on stderr), 2 for input the program refuses before calling
// the library (usage, unknown class or member, malformed JSON), 3 for anything
// unexpected.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "brivos/brivos.hpp"
#include "brivos/database/Database.hpp"
#include "tools/VariantJson.hpp"

namespace brivos::cli {
namespace {

constexpr int kExitRaised = 1;
constexpr int kExitBadInput = 2;
constexpr int kExitUnexpected = 3;

constexpr const char* kAccountRule = R"(Accounts:
  An Account is the path of a subscriber database without its ".mdb"; the
  account number is the text after its last backslash.
  - A bare account number (no slash or backslash), with --db-dir DIR or the
    environment variable BRIVOS_DATA set, means DIR\NUMBER. Without either it
    names NUMBER.mdb in the current directory.
  - A path with forward slashes only (/srv/brivos/A100) reads its last slash as
    that backslash (/srv/brivos\A100), so that the account number is A100.
  - A path holding a backslash is used exactly as given.
  The rule applies to ACCOUNT of `init` and to the first argument of `call`
  when the method names that argument Account.
)";

constexpr const char* kExitRule = R"(
Exit status:
  0 success; 1 the library raised an error (one line of JSON on stderr);
  2 input refused before any call (one line on stderr); 3 anything else.
)";

constexpr const char* kCallRules = R"(Arguments:
  Each ARG is JSON: 42 is a Long (integral and within 32 bits), 2.5 or
  3000000000 a Double, "text" a String, true/false a Boolean, null a Null,
  [1,"a"] an Array. A bare word that is not JSON (admin, A100) is a String;
  text starting with {, [ or " must be valid JSON. Write '"--x"' to pass text
  that begins with two dashes.
  --date ARG (or --date=ARG) makes the next argument a Date: ISO text such as
  2024-03-05 or 2024-03-05T09:30:00, or a day serial. ISO text given without
  --date stays a String; a method that needs a date converts it itself.

Output:
  The result as JSON on stdout: records are objects of their properties,
  collections arrays, result sets arrays of row objects, Currency a decimal
  text with four places, Dates ISO text, Empty and Null null. --raw wraps
  every value as {"type":...,"value":...}; --show-args prints
  {"result":...,"args":[...]} with the arguments as the call left them.
  A raised error prints {"number":...,"source":...,"description":...} on
  stderr and exits with status 1.
)";

struct Options {
  std::string db_dir;
  bool compact = false;
};

// One line for stderr: line breaks in a message would split it.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

void Print(const Json& value, const Options& options) {
  std::cout << Dump(value, options.compact) << '\n';
}

bool HasSlash(std::string_view text) { return text.find_first_of("/\\") != std::string_view::npos; }

// The Account path for a text the caller gave; see kAccountRule.
std::string AccountPath(const std::string& text, const Options& options) {
  if (text.empty()) return text;
  if (!HasSlash(text)) {
    if (options.db_dir.empty()) return text;
    std::string dir = options.db_dir;
    while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
    return dir + "\\" + text;
  }
  if (text.find('\\') != std::string::npos) return text;
  std::string path = text;
  const std::size_t last = path.rfind('/');
  if (last + 1 < path.size()) path[last] = '\\';
  return path;
}

std::string DatabaseFileOf(const std::string& account) {
  return DatabasePathOf(BuildConnectionString(Variant(account)));
}

void RequireNoExtras(const std::vector<std::string>& extras) {
  if (!extras.empty()) throw BadInput("unexpected argument '" + extras.front() + "'");
}

// ---- init

struct InitArgs {
  std::string account;
  std::string company;
  std::string user;
  std::string password;
};

int RunInit(const InitArgs& in, const Options& options) {
  const std::string account = AccountPath(in.account, options);
  const std::string file = DatabaseFileOf(account);
  std::error_code ec;
  if (std::filesystem::exists(file, ec)) {
    throw BadInput(file + " already exists; init never replaces a subscriber database");
  }
  const std::filesystem::path dir = std::filesystem::path(file).parent_path();
  if (!dir.empty() && !std::filesystem::is_directory(dir, ec)) {
    throw BadInput("directory " + dir.string() + " does not exist");
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

// ---- call

struct CallArgs {
  std::string class_name;
  std::string method;
  bool raw = false;
  bool show_args = false;
};

std::vector<Variant> ParseCallArguments(const std::vector<std::string>& tokens) {
  constexpr std::string_view kDate = "--date";
  std::vector<Variant> args;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const std::string_view token = tokens[i];
    if (token == kDate) {
      if (i + 1 == tokens.size()) throw BadInput("--date needs an argument after it");
      args.push_back(DateArgumentFromText(tokens[++i]));
    } else if (token.starts_with("--date=")) {
      args.push_back(DateArgumentFromText(token.substr(kDate.size() + 1)));
    } else if (token.starts_with("--") && token.size() > 2) {
      throw BadInput("unknown option '" + std::string(token) + "' (write '\"" + std::string(token) +
                     "\"' to pass it as text)");
    } else {
      args.push_back(ArgumentFromText(token));
    }
  }
  return args;
}

std::string ArgumentList(const MemberInfo& member) {
  std::string names;
  for (const std::string& name : member.arg_names) {
    if (!names.empty()) names += ", ";
    names += name;
  }
  return names;
}

int RunCall(const CallArgs& in, const std::vector<std::string>& tokens, const Options& options) {
  std::vector<Variant> args = ParseCallArguments(tokens);

  // The registry answers the usage questions first, so that a typo reads as
  // one plain sentence rather than as error 429 or 438.
  const ClassInfo* info = FindClass(in.class_name);
  if (info == nullptr) {
    throw BadInput("no class named '" + in.class_name + "'; `brivos classes` lists them");
  }
  if (!info->Creatable()) {
    throw BadInput(info->Name() + " cannot be created; its objects come back from other calls");
  }
  const MemberInfo* member = info->Find(in.method);
  if (member == nullptr) {
    throw BadInput(info->Name() + " has no member '" + in.method + "'; `brivos members " +
                   info->Name() + "` lists them");
  }
  if (args.size() != member->arg_names.size()) {
    throw BadInput(info->Name() + "." + member->name + " takes " +
                   std::to_string(member->arg_names.size()) + " argument(s) (" +
                   ArgumentList(*member) + "), " + std::to_string(args.size()) + " given");
  }
  if (!args.empty() && EqualsIgnoreCase(member->arg_names.front(), "Account") &&
      (args.front().Type() == VarType::String || args.front().Type() == VarType::Long)) {
    args.front() = Variant(AccountPath(CStr(args.front()), options));
  }

  const std::shared_ptr<Object> object = CreateObject(info->ProgId());
  const Variant result = object->Invoke(member->name, args);

  if (!in.show_args) {
    Print(ToJson(result, in.raw), options);
    return 0;
  }
  Json out = Json::object();
  out["result"] = ToJson(result, in.raw);
  Json written = Json::array();
  for (const Variant& arg : args) written.push_back(ToJson(arg, in.raw));
  out["args"] = std::move(written);
  Print(out, options);
  return 0;
}

// ---- classes, members, enums

int RunClasses(const Options& options) {
  Json out = Json::array();
  for (const ClassInfo* info : RegisteredClasses()) {
    Json entry = Json::object();
    entry["name"] = info->Name();
    entry["creatable"] = info->Creatable();
    out.push_back(std::move(entry));
  }
  Print(out, options);
  return 0;
}

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

// ---- command line

int Run(int argc, char** argv) {
  CLI::App app{
      "Provisions BRIVOS subscriber databases and calls the library's classes "
      "late-bound, printing results as JSON.",
      "brivos"};
  app.footer(std::string(kAccountRule) + kExitRule);
  app.require_subcommand(1);
  // The arguments of `call` are read here, in order, not by CLI11: they may
  // look like options (-5, --date).
  app.allow_extras();

  Options options;
  app.add_option("--db-dir", options.db_dir,
                 "Directory of the subscriber databases, for accounts given by number")
      ->envname("BRIVOS_DATA");
  app.add_flag("--compact", options.compact, "Print JSON on one line");

  InitArgs init_args;
  CLI::App* init = app.add_subcommand("init", "Provision a new subscriber database");
  init->fallthrough();
  init->add_option("ACCOUNT", init_args.account, "Account number or Account path")->required();
  init->add_option("--company", init_args.company, "Company name")->required();
  init->add_option("--user", init_args.user, "Name of the main user")->required();
  init->add_option("--password", init_args.password, "Password of the main user")->required();
  init->footer(kAccountRule);

  CallArgs call_args;
  CLI::App* call = app.add_subcommand(
      "call", "CLASS METHOD [ARG...]: create BRIVOS.CLASS and invoke METHOD with the ARGs");
  call->fallthrough();
  call->add_option("CLASS", call_args.class_name, "Class name, e.g. CSecurityMgr")->required();
  call->add_option("METHOD", call_args.method, "Method or property name")->required();
  call->add_flag("--raw", call_args.raw, "Show the variant type of every value");
  call->add_flag("--show-args", call_args.show_args,
                 "Also print the arguments as the call left them");
  call->footer(std::string(kCallRules) + "\n" + kAccountRule);

  CLI::App* classes = app.add_subcommand("classes", "List the registered classes");
  classes->fallthrough();

  std::string members_class;
  CLI::App* members = app.add_subcommand("members", "List a class's members and their arguments");
  members->fallthrough();
  members->add_option("CLASS", members_class, "Class name")->required();

  std::string enum_name;
  CLI::App* enums = app.add_subcommand("enums", "Print the published enumerations");
  enums->fallthrough();
  enums->add_option("NAME", enum_name, "Only this enumeration, e.g. errCSecurityMgr");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    // Extras are allowed for `call`, so a mistyped command lands there.
    const std::vector<std::string> extras = app.remaining();
    if (app.get_subcommands().empty() && !extras.empty()) {
      throw BadInput("unknown command '" + extras.front() +
                     "'; the commands are init, call, classes, members and enums");
    }
    throw BadInput(std::string(e.what()) + " (see brivos --help)");
  }

  const std::vector<std::string> extras = app.remaining(true);
  if (call->parsed()) return RunCall(call_args, extras, options);
  RequireNoExtras(extras);
  if (init->parsed()) return RunInit(init_args, options);
  if (classes->parsed()) return RunClasses(options);
  if (members->parsed()) return RunMembers(members_class, options);
  return RunEnums(enum_name, options);
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
