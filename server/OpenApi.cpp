#include "server/OpenApi.hpp"

#include <cctype>

#include "brivos/brivos.hpp"
#include "json/VariantJson.hpp"
#include "server/Roles.hpp"

namespace brivos::server {
namespace {

using json::Json;

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

Json Responses(int success, const std::string& description) {
  Json out = Json::object();
  Json ok = {{"description", description}};
  if (success != 204) ok["content"] = {{"application/json", {{"schema", Json::object()}}}};
  out[std::to_string(success)] = ok;
  out["4XX"] = Ref("#/components/responses/Problem");
  out["5XX"] = Ref("#/components/responses/Problem");
  return out;
}

std::string AccessText(const char* class_name, const char* member) {
  const ClassInfo* info = FindClass(class_name);
  const MemberInfo* m = info ? info->Find(member) : nullptr;
  return m ? AccessName(AccessOf(*info, *m)) : "any user";
}

// POST .../call/Class/Method for every method of every creatable class,
// with its arguments by name, those the session fills left out.
void AddCalls(Json& paths, Json& roles) {
  for (const ClassInfo* info : RegisteredClasses()) {
    if (!info->Creatable()) continue;
    for (const MemberInfo& m : info->Members()) {
      Json props = Json::object();
      Json required = Json::array();
      for (const std::string& arg : m.arg_names) {
        if (EqualsIgnoreCase(arg, "Account") || EqualsIgnoreCase(arg, "UserName") ||
            EqualsIgnoreCase(arg, "Token")) {
          continue;
        }
        props[arg] = Json::object();
        required.push_back(arg);
      }
      const std::string access = AccessName(AccessOf(*info, m));
      roles.push_back({{"class", info->Name()}, {"method", m.name}, {"access", access}});
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
          {"responses", Responses(200, "{\"result\": value}")}};
      paths["/v1/accounts/{account}/call/" + info->Name() + "/" + m.name] = {
          {"parameters", {Ref("#/components/parameters/account")}}, {"post", op}};
    }
  }
}

}  // namespace

std::string OpenApiDocument(const std::vector<RouteDoc>& routes) {
  Json paths = Json::object();
  paths["/v1/health"] = {{"get",
                          {{"operationId", "health"},
                           {"summary", "Whether the service runs"},
                           {"security", Json::array()},
                           {"responses", Responses(200, "{\"status\": \"ok\"}")}}}};
  paths["/v1/openapi.json"] = {{"get",
                                {{"operationId", "openapi"},
                                 {"summary", "This document"},
                                 {"security", Json::array()},
                                 {"responses", Responses(200, "OpenAPI 3.1")}}}};
  for (const RouteDoc& r : routes) {
    const std::string path = std::string("/v1/accounts/{account}") + r.path;
    if (path.find("{Class}") != std::string::npos) continue;  // listed per method below
    Json& item = paths[path];
    Json parameters = {Ref("#/components/parameters/account")};
    if (path.find("{id}") != std::string::npos) {
      parameters.push_back(
          {{"name", "id"}, {"in", "path"}, {"required", true}, {"schema", {{"type", "integer"}}}});
    }
    item["parameters"] = parameters;
    std::string id;
    for (const char* c = r.path; *c; ++c) {
      if (std::isalnum(static_cast<unsigned char>(*c))) id += *c;
    }
    const std::string access = AccessText(r.class_name, r.member);
    Json op = {{"operationId", std::string(r.method) + id},
               {"summary", r.summary},
               {"description",
                std::string("Access: ") + access + " (as " + r.class_name + "." + r.member + ")."},
               {"x-access", access},
               {"responses", Responses(r.success, r.summary)}};
    if (!r.authenticated) op["security"] = Json::array();
    if (r.paged) {
      op["parameters"] = {Ref("#/components/parameters/page"),
                          Ref("#/components/parameters/per_page")};
      op["responses"][std::to_string(r.success)]["headers"] = {
          {"X-Total-Count", {{"schema", {{"type", "integer"}}}}},
          {"Link", {{"schema", {{"type", "string"}}}}}};
    }
    if (std::string_view(r.method) == "post" || std::string_view(r.method) == "patch" ||
        std::string_view(r.method) == "put") {
      op["requestBody"] = {{"content", {{"application/json", {{"schema", {{"type", "object"}}}}}}}};
    }
    item[r.method] = op;
  }
  Json roles = Json::array();
  AddCalls(paths, roles);

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
        {"schema", {{"type", "string"}, {"pattern", "^[A-Za-z0-9_-]+$"}}}}},
      {"page",
       {{"name", "page"}, {"in", "query"}, {"schema", {{"type", "integer"}, {"minimum", 1}}}}},
      {"per_page",
       {{"name", "per_page"},
        {"in", "query"},
        {"schema", {{"type", "integer"}, {"minimum", 1}, {"maximum", 1000}}}}}};

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
