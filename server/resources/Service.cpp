// The service's own routes: health, the OpenAPI document, the metrics.

#include "server/Metrics.hpp"
#include "server/OpenApi.hpp"
#include "server/Routes.hpp"

namespace brivos::server::resources {

Response Health(Context&) {
  Json out = Json::object();
  out["status"] = "ok";
  out["service"] = "brivos";
  out["classes"] = RegisteredClasses().size();
  return JsonResponse(200, out);
}

Response OpenApi(Context&) {
  // The registry and the routes are fixed once the program runs.
  static const std::string document = OpenApiDocument();
  Response r;
  r.body = document;
  return r;
}

Response MetricsText(Context&) { return MetricsResponse(); }

}  // namespace brivos::server::resources
