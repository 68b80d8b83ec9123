#include "server/StaticFiles.hpp"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "server/Problem.hpp"

namespace brivos::server {
namespace {

const char* ContentType(const std::string& path) {
  static const std::pair<const char*, const char*> kTypes[] = {
      {".html", "text/html; charset=utf-8"},
      {".js", "text/javascript; charset=utf-8"},
      {".mjs", "text/javascript; charset=utf-8"},
      {".css", "text/css; charset=utf-8"},
      {".json", "application/json"},
      {".svg", "image/svg+xml"},
      {".png", "image/png"},
      {".ico", "image/x-icon"},
      {".webmanifest", "application/manifest+json"},
      {".txt", "text/plain; charset=utf-8"},
      {".woff2", "font/woff2"}};
  for (const auto& [ext, type] : kTypes) {
    if (path.ends_with(ext)) return type;
  }
  return "application/octet-stream";
}

}  // namespace

Response ServeStatic(const std::string& root, const std::string& path,
                     std::string_view if_none_match) {
  if (root.empty()) throw HttpError(404, "no route " + path);
  std::string relative = path == "/" ? "/index.html" : path;
  if (relative.find('%') != std::string::npos || relative.find('\\') != std::string::npos ||
      relative.find("/.") != std::string::npos) {
    throw HttpError(404, "no file " + path);
  }
  char root_real[PATH_MAX], file_real[PATH_MAX];
  const std::string file = root + relative;
  if (realpath(root.c_str(), root_real) == nullptr ||
      realpath(file.c_str(), file_real) == nullptr ||
      !std::string(file_real).starts_with(std::string(root_real) + "/")) {
    throw HttpError(404, "no file " + path);
  }
  struct stat info {};
  if (stat(file_real, &info) != 0 || !S_ISREG(info.st_mode))
    throw HttpError(404, "no file " + path);
  const std::string etag = "\"" + std::to_string(info.st_size) + "-" +
                           std::to_string(info.st_mtim.tv_sec) + "." +
                           std::to_string(info.st_mtim.tv_nsec) + "\"";
  Response r;
  r.headers.emplace_back("ETag", etag);
  r.headers.emplace_back("Cache-Control", "no-cache");
  if (!if_none_match.empty() && if_none_match.find(etag) != std::string_view::npos) {
    r.status = 304;
    r.content_type.clear();
    return r;
  }
  std::ifstream in(file_real, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  r.content_type = ContentType(relative);
  r.body = content.str();
  return r;
}

}  // namespace brivos::server
