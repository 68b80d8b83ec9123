// The `brivos` program: provisions subscriber databases, calls the library's
// classes late-bound from a shell, printing results as JSON, and prints
// invoices and invoicing previews a person can read.
//
// Exit status: 0 on success, 1 when the library raised an Error (printed as
// one line of JSON on stderr), 2 for input the program refuses before calling
// the library (usage, unknown class or member, malformed JSON), 3 for anything
// unexpected.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "brivos/brivos.hpp"
#include "brivos/database/Database.hpp"
#include "tools/Documents.hpp"
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
  The rule applies to ACCOUNT of `init`, `invoice` and `preview`, and to the
  first argument of `call` when the method names that argument Account.
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
  --get NAME prints only the property NAME of a record result, or of each
  item of a collection and each row of a result set, one value per line,
  texts without quotes (for shell scripts: id=$(brivos call --get ...)).
  A raised error prints {"number":...,"source":...,"description":...} on
  stderr and exits with status 1.
)";

struct Options {
  std::string db_dir;
  bool compact = false;
};

constexpr const char* kClockExample = "2024-03-05 09:30";

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
  std::string get;
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

// One value on its own line: texts (Currency and Dates included) without
// quotes, anything else as JSON, Null and Empty as an empty line.
void PrintPlain(const Variant& value) {
  const Json json = ToJson(value);
  std::cout << (json.is_string() ? json.get<std::string>()
                : json.is_null() ? ""
                                 : Dump(json, true))
            << '\n';
}

// --get NAME: the property of a record, or of each item or row; a result
// that is no object prints as itself. A record without the property raises
// 438 (exit 1); a result set without the field is refused (exit 2).
int PrintProperty(const Variant& result, const std::string& name) {
  const std::shared_ptr<Object> object = result.AsObject();
  std::vector<Variant> none;
  if (const auto* rows = dynamic_cast<const Recordset*>(object.get())) {
    const int field = rows->FindField(name);
    if (field < 0) throw BadInput("the result set has no field '" + name + "'");
    for (const auto& row : rows->Rows()) PrintPlain(row[static_cast<std::size_t>(field)]);
  } else if (const auto* items = dynamic_cast<const Collection*>(object.get())) {
    for (const Variant& item : items->Items()) {
      const std::shared_ptr<Object> each = item.AsObject();
      PrintPlain(each ? each->Invoke(name, none) : item);
    }
  } else {
    PrintPlain(object ? object->Invoke(name, none) : result);
  }
  return 0;
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

  if (!in.get.empty()) return PrintProperty(result, in.get);
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

// ---- invoice, preview

struct DocumentArgs {
  std::string account;
  std::string invoice_id;
  std::string cutoff;
  std::string projects;
  std::string format = "text";
  std::string user;
  std::string token;
};

// The sections of a breakdown or a preview: a Collection of result sets.
const Collection& SectionsOf(const Variant& result) {
  const auto* sections = dynamic_cast<const Collection*>(result.AsObject().get());
  if (sections == nullptr) throw std::runtime_error("the library returned no collection");
  return *sections;
}

int RunInvoice(const DocumentArgs& in, const Options& options) {
  std::vector<Variant> args{Variant(AccountPath(in.account, options)), Variant(in.user),
                            Variant(in.token), ArgumentFromText(in.invoice_id)};
  const Variant result = CreateObject("BRIVOS.CInvoiceMgr")->Invoke("GetInvoiceBreakdown", args);
  const Collection& breakdown = SectionsOf(result);
  if (in.format == "json") {
    Print(InvoiceJson(breakdown), options);
  } else {
    std::cout << (in.format == "html" ? InvoiceHtml(breakdown) : InvoiceText(breakdown));
  }
  return 0;
}

// The cutoff goes to the library as the text given, so that a text that is
// no date is refused there, as a run would refuse it.
int RunPreview(const DocumentArgs& in, bool listed, const Options& options) {
  std::vector<Variant> args{Variant(AccountPath(in.account, options)), Variant(in.user),
                            Variant(in.token), listed ? Variant(in.projects) : Variant::Null(),
                            Variant(in.cutoff)};
  const Variant result = CreateObject("BRIVOS.CInvoiceMgr")->Invoke("PreviewInvoicing", args);
  const Collection& preview = SectionsOf(result);
  if (in.format == "json") {
    Print(PreviewJson(preview), options);
  } else {
    const std::string scope =
        (listed ? "projects " + in.projects : std::string("all active projects")) + ", cutoff " +
        in.cutoff;
    std::cout << PreviewText(preview, scope);
  }
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
      "Provisions BRIVOS subscriber databases, calls the library's classes late-bound, "
      "printing results as JSON, and prints invoices and invoicing previews.",
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
  std::string now_text;
  CLI::Option* now = app.add_option(
      "--now", now_text,
      std::string("Run the command with the library's clock set to this moment, e.g. \"") +
          kClockExample + "\"");

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
  call->add_option("--get", call_args.get,
                   "Print only this property of the result, or of each item or row");
  call->footer(std::string(kCallRules) + "\n" + kAccountRule);

  DocumentArgs invoice_args;
  CLI::App* invoice = app.add_subcommand(
      "invoice", "ACCOUNT INVOICE_ID: print an invoice line by line, with its totals");
  invoice->fallthrough();
  invoice->add_option("ACCOUNT", invoice_args.account, "Account number or Account path")
      ->required();
  invoice->add_option("INVOICE_ID", invoice_args.invoice_id, "The invoice's key")->required();
  invoice->add_option("--format", invoice_args.format, "text (default), json or html")
      ->check(CLI::IsMember({"text", "json", "html"}));
  invoice->add_option("--user", invoice_args.user, "UserName passed to the library");
  invoice->add_option("--token", invoice_args.token, "Token passed to the library");
  invoice->footer(kAccountRule);

  DocumentArgs preview_args;
  CLI::App* preview = app.add_subcommand(
      "preview", "ACCOUNT --cutoff DATE: what an invoicing run would bill, and what it leaves out");
  preview->fallthrough();
  preview->add_option("ACCOUNT", preview_args.account, "Account number or Account path")
      ->required();
  preview->add_option("--cutoff", preview_args.cutoff, "The run's cutoff date, e.g. 2024-03-05")
      ->required();
  CLI::Option* listed = preview->add_option(
      "--projects", preview_args.projects,
      "Preview InvoiceSelectedProjects for these projects (\"12|40\") instead of "
      "InvoiceAllProjects");
  preview->add_option("--format", preview_args.format, "text (default) or json")
      ->check(CLI::IsMember({"text", "json"}));
  preview->add_option("--user", preview_args.user, "UserName passed to the library");
  preview->add_option("--token", preview_args.token, "Token passed to the library");
  preview->footer(kAccountRule);

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
                     "'; the commands are init, call, invoice, preview, classes, members and "
                     "enums");
    }
    throw BadInput(std::string(e.what()) + " (see brivos --help)");
  }

  // The clock holds still for the whole command, so a script can replay a day.
  if (now->count() > 0) {
    Date moment;
    if (!Date::TryParse(now_text, moment)) {
      throw BadInput("--now needs a date and time such as \"" + std::string(kClockExample) +
                     "\", not '" + now_text + "'");
    }
    SetClock([moment] { return moment; });
  }

  const std::vector<std::string> extras = app.remaining(true);
  if (call->parsed()) return RunCall(call_args, extras, options);
  RequireNoExtras(extras);
  if (init->parsed()) return RunInit(init_args, options);
  if (invoice->parsed()) return RunInvoice(invoice_args, options);
  if (preview->parsed()) return RunPreview(preview_args, listed->count() > 0, options);
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
