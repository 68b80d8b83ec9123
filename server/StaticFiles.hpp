#pragma once

#include <string>

#include "server/Api.hpp"

namespace brivos::server {

// The file `path` names under `root` ("/" is index.html), with its content
// type. A path with an encoded byte, a dot segment or a hidden name, or one
// that resolves outside `root`, is not found.
Response ServeStatic(const std::string& root, const std::string& path);

}  // namespace brivos::server
