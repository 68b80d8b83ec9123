// Any method by name, and the value sets the browser app reads.

#include "server/Routes.hpp"

namespace brivos::server::resources {

Response Call(Context& c) {
  const std::string& class_name = c.Params()[1];
  // Signing in here would pass the sign-in throttle by.
  if (EqualsIgnoreCase(class_name, "CSecurityMgr") &&
      EqualsIgnoreCase(c.Params()[2], "BeginUserSession")) {
    throw HttpError(403, "sign in with POST /v1/accounts/" + c.Firm().account_no +
                             "/sessions, not through call/");
  }
  const Variant result = c.CallNamed(class_name, c.Params()[2], c.Body());
  Response r;
  r.body = "{\"result\":";
  json::AppendJson(r.body, result, "Password", EqualsIgnoreCase(class_name, "CReportMgr"));
  r.body += '}';
  return r;
}

// Every published enumeration (slip statuses, expense and payment types,
// error numbers) by name.
Response ValueSets(Context&) {
  static const std::string text = [] {
    Json out = Json::object();
    Json sets = Json::object();
    for (const EnumInfo& e : PublishedEnums()) {
      Json members = Json::object();
      for (const auto& [name, value] : e.members) members[name] = value;
      sets[e.name] = members;
    }
    out["enums"] = sets;
    return json::Dump(out, true);
  }();
  Response r;
  r.body = text;
  return r;
}

}  // namespace brivos::server::resources
