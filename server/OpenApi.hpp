#pragma once

// The OpenAPI 3.1 document of the service, built from the class registry
// and the route table, never kept by hand.

#include <string>
#include <vector>

namespace brivos::server {

// One route of the working day: its method and path under
// /v1/accounts/{account}, the library method it stands for (whose access it
// has), a summary, whether it pages its list, its success status and
// whether it needs a bearer token.
struct RouteDoc {
  const char* method;
  const char* path;
  const char* class_name;
  const char* member;
  const char* summary;
  bool paged;
  int success;
  bool authenticated;
};

std::vector<RouteDoc> RouteDocs();

std::string OpenApiDocument(const std::vector<RouteDoc>& routes);

}  // namespace brivos::server
