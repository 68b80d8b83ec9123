#pragma once

#include <string>

#include "server/Api.hpp"

namespace brivos::server {

// The file `path` names under `root` ("/" is index.html), with its content
// type. A path with an encoded byte, a dot segment or a hidden name, or one
// that resolves outside `root`, is not found. The answer carries an ETag of
// the file's size and time and asks caches to check it before each use; a
// request whose If-None-Match names it is answered 304 without the body.
// Text (HTML, scripts, styles, JSON, SVG) goes gzipped when
// `accept_encoding` takes gzip, compressed once per version of the file,
// under an ETag of its own ("...-gzip"), and says Vary: Accept-Encoding.
Response ServeStatic(const std::string& root, const std::string& path,
                     std::string_view if_none_match = {}, std::string_view accept_encoding = {});

}  // namespace brivos::server
