// brivos call [--raw] [--show-args] [--get NAME] CLASS METHOD [ARG...]

#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/Values.hpp"
#include "brivos/brivos.hpp"
#include "tools/Command.hpp"

namespace brivos::cli {
namespace {

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

struct CallArgs {
  std::string class_name;
  std::string method;
  std::string get;
  bool raw = false;
  bool show_args = false;
};

std::vector<Variant> ParseCallArguments(const Extras& tokens) {
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
  if (!object) {
    PrintPlain(result);
    return 0;
  }
  std::vector<Variant> none;
  app::VisitObject(*object, app::Overloaded{
                                [&](const Recordset& rows) {
                                  const int field = rows.FindField(name);
                                  if (field < 0) {
                                    throw BadInput("the result set has no field '" + name + "'");
                                  }
                                  for (const auto& row : rows.Rows()) {
                                    PrintPlain(row[static_cast<std::size_t>(field)]);
                                  }
                                },
                                [&](const Collection& items) {
                                  for (const Variant& item : items.Items()) {
                                    const std::shared_ptr<Object> each = item.AsObject();
                                    PrintPlain(each ? each->Invoke(name, none) : item);
                                  }
                                },
                                // A record, or any other object: its own property.
                                [&](const Object&) { PrintPlain(object->Invoke(name, none)); },
                            });
  return 0;
}

int RunCall(const CallArgs& in, const Extras& tokens, const Options& options) {
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

}  // namespace

// The ARGs are read by RunCall, in order, not by CLI11: they may look like
// options (-5, --date).
Command AddCallCommand(CLI::App& program, const Options& options) {
  auto in = std::make_shared<CallArgs>();
  CLI::App* call = program.add_subcommand(
      "call", "CLASS METHOD [ARG...]: create BRIVOS.CLASS and invoke METHOD with the ARGs");
  call->add_option("CLASS", in->class_name, "Class name, e.g. CSecurityMgr")->required();
  call->add_option("METHOD", in->method, "Method or property name")->required();
  call->add_flag("--raw", in->raw, "Show the variant type of every value");
  call->add_flag("--show-args", in->show_args, "Also print the arguments as the call left them");
  call->add_option("--get", in->get,
                   "Print only this property of the result, or of each item or row");
  call->footer(std::string(kCallRules) + "\n" + kAccountRule);
  return {call, [in, &options](const Extras& extras) { return RunCall(*in, extras, options); },
          true};
}

}  // namespace brivos::cli
