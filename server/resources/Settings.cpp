// The firm's settings for the documents it sends.

#include "server/Routes.hpp"

namespace brivos::server::resources {
namespace {

// {"name": "value", ...} of GetSettings' Name and Value rows.
Json SettingsJson(const Context& c) {
  const Variant result = c.Call("CSettingsMgr", "GetSettings", {});
  Json out = Json::object();
  if (const auto rows = std::dynamic_pointer_cast<Recordset>(result.AsObject())) {
    for (const auto& row : rows->Rows()) out[CStr(row[0])] = CStr(row[1]);
  }
  return out;
}

}  // namespace

Response Settings(Context& c) { return JsonResponse(200, SettingsJson(c)); }

Response PutSettings(Context& c) {
  const Json body = c.Body();
  // Every value is checked before the first is written.
  for (auto it = body.begin(); it != body.end(); ++it) {
    if (!it.value().is_string()) throw HttpError(422, it.key() + " is a string");
    NormalSetting(it.key(), it.value().get<std::string>());
  }
  for (auto it = body.begin(); it != body.end(); ++it) {
    c.Call("CSettingsMgr", "SetSetting",
           {Variant(it.key()), Variant(it.value().get<std::string>())});
  }
  return JsonResponse(200, SettingsJson(c));
}

}  // namespace brivos::server::resources
