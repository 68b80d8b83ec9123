#pragma once

// The OpenAPI 3.1 document of the service, built from the route table and
// the access each library method declares, never kept by hand.

#include <string>

namespace brivos::server {

std::string OpenApiDocument();

}  // namespace brivos::server
