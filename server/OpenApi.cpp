#include "server/OpenApi.hpp"

#include <cctype>

#include "app/Calls.hpp"
#include "app/Tenants.hpp"
#include "server/Routes.hpp"

namespace brivos::server {
namespace {

Json Ref(const std::string& to) { return Json{{"$ref", to}}; }

Json ProblemSchema() {
  Json props = Json::object();
  for (const char* name : {"type", "title", "detail", "source", "description"}) {
    props[name] = {{"type", "string"}};
  }
  props["status"] = {{"type", "integer"}};
  props["number"] = {{"type", "integer"}, {"description", "the library's error number"}};
  return {{"type", "object"}, {"properties", props}, {"required", {"type", "title", "status"}}};
}

Json Responses(const Route* route, int success, const std::string& description) {
  Json out = Json::object();
  Json ok = {{"description", description}};
  if (success != 204) {
    const bool text = route != nullptr && route->io_thread;
    ok["content"] = Json::object();
    ok["content"][text ? "text/plain" : "application/json"] = {{"schema", Json::object()}};
    if (route != nullptr && route->html) {
      ok["content"]["text/html"] = {{"schema", {{"type", "string"}}}};
    }
    if (route != nullptr && route->csv) {
      ok["content"]["text/csv"] = {{"schema", {{"type", "string"}}}};
    }
    if (route != nullptr && route->documents) {
      ok["content"]["application/pdf"] = {{"schema", {{"type", "string"}, {"format", "binary"}}}};
      for (const char* xml : {"application/vnd.oasis.ubl+xml", "application/xml"}) {
        ok["content"][xml] = {{"schema", {{"type", "string"}}}};
      }
    }
  }
  if (route != nullptr && route->paged) {
    ok["headers"] = {{"X-Total-Count", {{"schema", {{"type", "integer"}}}}},
                     {"Link", {{"schema", {{"type", "string"}}}}}};
  }
  out[std::to_string(success)] = ok;
  if (route != nullptr && route->may_be_empty) {
    out["204"] = {{"description", "nothing to show"}};
  }
  if (route != nullptr && route->documents) {
    out["406"] = {{"description", "an Accept the invoice has no form for"},
                  {"content", {{"application/problem+json", {{"schema", Json::object()}}}}}};
  }
  out["4XX"] = Ref("#/components/responses/Problem");
  out["5XX"] = Ref("#/components/responses/Problem");
  return out;
}

// POST .../call/Class/Method for every method of every creatable class,
// with its arguments by name, those the session fills left out.
void AddCalls(const Route& route, Json& paths, Json& roles) {
  for (const ClassInfo* info : RegisteredClasses()) {
    if (!info->Creatable()) continue;
    for (const MemberInfo& m : info->Members()) {
      Json props = Json::object();
      Json required = Json::array();
      for (const std::string& arg : m.arg_names) {
        if (app::FilledFromSession(arg)) continue;
        props[arg] = Json::object();
        required.push_back(arg);
      }
      const std::string access = AccessName(m.access);
      Json role = {{"class", info->Name()}, {"method", m.name}, {"access", access}};
      if (!m.owned.empty()) role["owned"] = m.owned;
      if (!m.changed.empty()) role["changes"] = m.changed;
      roles.push_back(role);
      Json body_schema = {
          {"type", "object"}, {"properties", props}, {"additionalProperties", false}};
      if (!required.empty()) body_schema["required"] = required;
      Json op = {
          {"operationId", "call" + info->Name() + m.name},
          {"tags", {info->Name()}},
          {"summary", info->Name() + "." + m.name},
          {"description", "Access: " + access + "."},
          {"x-access", access},
          {"requestBody",
           {{"required", false}, {"content", {{"application/json", {{"schema", body_schema}}}}}}},
          {"responses", Responses(&route, 200, "{\"result\": value}")}};
      std::string path = route.Template();
      path.replace(path.find("{Class}"), 7, info->Name());
      path.replace(path.find("{Method}"), 8, m.name);
      paths[path] = {{"parameters", {Ref("#/components/parameters/account")}}, {route.method, op}};
    }
  }
}

}  // namespace

std::string OpenApiDocument() {
  Json paths = Json::object();
  Json roles = Json::array();
  for (const Route& r : Routes()) {
    const std::string path = r.Template();
    if (path.find("{Class}") != std::string::npos) {
      AddCalls(r, paths, roles);
      continue;
    }
    Json& item = paths[path];
    Json parameters = Json::array();
    if (r.scope == Scope::kFirm) parameters.push_back(Ref("#/components/parameters/account"));
    if (path.find("{id}") != std::string::npos) {
      parameters.push_back(
          {{"name", "id"}, {"in", "path"}, {"required", true}, {"schema", {{"type", "integer"}}}});
    }
    if (!parameters.empty()) item["parameters"] = parameters;
    std::string id;
    for (const char* c = r.path; *c; ++c) {
      if (std::isalnum(static_cast<unsigned char>(*c))) id += *c;
    }
    Json op = {{"operationId", std::string(r.method) + id},
               {"summary", r.summary},
               {"responses", Responses(&r, r.success, r.summary)}};
    if (r.authenticated) {
      const std::string access = AccessName(AccessOf(r));
      std::string calls;
      for (const char* call : r.calls) calls += std::string(calls.empty() ? "" : ", ") + call;
      op["description"] =
          "Access: " + access + (calls.empty() ? std::string() : " (calls " + calls + ")") + ".";
      op["x-access"] = access;
      op["x-calls"] = Json::array();
      for (const char* call : r.calls) op["x-calls"].push_back(call);
    } else {
      op["security"] = Json::array();
    }
    if (r.paged) {
      op["parameters"] = {Ref("#/components/parameters/page"),
                          Ref("#/components/parameters/per_page")};
    }
    if (r.body) {
      op["requestBody"] = {{"content", {{"application/json", {{"schema", {{"type", "object"}}}}}}}};
    }
    item[r.method] = op;
  }

  Json components = Json::object();
  components["securitySchemes"] = {{"bearer", {{"type", "http"}, {"scheme", "bearer"}}}};
  components["schemas"] = {{"Problem", ProblemSchema()}};
  components["responses"] = {
      {"Problem",
       {{"description", "An error (RFC 9457)"},
        {"content",
         {{"application/problem+json", {{"schema", Ref("#/components/schemas/Problem")}}}}}}}};
  components["parameters"] = {
      {"account",
       {{"name", "account"},
        {"in", "path"},
        {"required", true},
        {"description", "The subscriber's account number"},
        {"schema", {{"type", "string"}, {"pattern", app::kAccountNumberPattern}}}}},
      {"page",
       {{"name", "page"}, {"in", "query"}, {"schema", {{"type", "integer"}, {"minimum", 1}}}}},
      {"per_page",
       {{"name", "per_page"},
        {"in", "query"},
        {"schema", {{"type", "integer"}, {"minimum", 1}, {"maximum", kMaxPerPage}}}}}};

  Json doc = Json::object();
  doc["openapi"] = "3.1.0";
  doc["info"] = {
      {"title", "BRIVOS"},
      {"version", "1"},
      {"summary", "Time, expenses and invoicing of professional-services firms"},
      {"description",
       "Every route under /v1/accounts/{account} but sign-in needs a bearer token from "
       "POST /v1/accounts/{account}/sessions. Administrators may call everything; the table "
       "x-roles lists each method's access, and each operation's x-access says it."},
      {"license", {{"name", "Proprietary"}, {"identifier", "LicenseRef-Proprietary"}}}};
  doc["servers"] = {{{"url", "/"}}};
  doc["security"] = {{{"bearer", Json::array()}}};
  doc["paths"] = paths;
  doc["components"] = components;
  doc["x-roles"] = roles;
  return json::Dump(doc, true);
}

}  // namespace brivos::server
