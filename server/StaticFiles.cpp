#include "server/StaticFiles.hpp"

#include <sys/stat.h>
#include <zlib.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
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

// Text compresses; images and fonts already are.
bool Compressible(const char* type) {
  const std::string_view t(type);
  return t.starts_with("text/") || t.starts_with("application/json") ||
         t.starts_with("application/manifest") || t.starts_with("image/svg");
}

// Whether Accept-Encoding takes gzip: named, or "*", without q=0.
bool AcceptsGzip(std::string_view header) {
  bool gzip = false, star = false, gzip_refused = false;
  while (!header.empty()) {
    const std::size_t comma = header.find(',');
    std::string_view item = header.substr(0, comma);
    header = comma == std::string_view::npos ? std::string_view() : header.substr(comma + 1);
    const std::size_t semi = item.find(';');
    std::string_view name = item.substr(0, semi);
    while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
    bool refused = false;
    if (semi != std::string_view::npos) {
      std::string q(item.substr(semi + 1));
      std::erase(q, ' ');
      refused = q.starts_with("q=0") && q.find_first_not_of("0.", 2) == std::string::npos;
    }
    if (EqualsIgnoreCase(name, "gzip") || EqualsIgnoreCase(name, "x-gzip")) {
      (refused ? gzip_refused : gzip) = true;
    } else if (name == "*" && !refused) {
      star = true;
    }
  }
  return !gzip_refused && (gzip || star);
}

// `data` gzipped at the best compression; "" when zlib fails.
std::string Gzip(const std::string& data) {
  z_stream z{};
  if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
    return {};
  }
  std::string out(deflateBound(&z, data.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int done = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return done == Z_STREAM_END ? out : std::string();
}

// The gzipped copy of each file, made once per version of it (its ETag).
struct GzipCopy {
  std::string etag;
  std::string body;
};
std::mutex gzip_mutex;
std::map<std::string, GzipCopy> gzip_copies;

std::string ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace

Response ServeStatic(const std::string& root, const std::string& path,
                     std::string_view if_none_match, std::string_view accept_encoding) {
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
  const char* type = ContentType(relative);
  const bool compressible = Compressible(type);
  const bool gzip = compressible && AcceptsGzip(accept_encoding);
  const std::string version = std::to_string(info.st_size) + "-" +
                              std::to_string(info.st_mtim.tv_sec) + "." +
                              std::to_string(info.st_mtim.tv_nsec);
  // Each encoding is a representation of its own, with a tag of its own.
  const std::string etag = "\"" + version + (gzip ? "-gzip" : "") + "\"";
  Response r;
  r.headers.emplace_back("ETag", etag);
  r.headers.emplace_back("Cache-Control", "no-cache");
  if (compressible) r.headers.emplace_back("Vary", "Accept-Encoding");
  if (!if_none_match.empty() && (if_none_match.find(etag) != std::string_view::npos ||
                                 if_none_match.find('*') != std::string_view::npos)) {
    r.status = 304;
    r.content_type.clear();
    return r;
  }
  r.content_type = type;
  if (!gzip) {
    r.body = ReadFile(file_real);
    return r;
  }
  {
    std::lock_guard<std::mutex> lock(gzip_mutex);
    const auto found = gzip_copies.find(file_real);
    if (found != gzip_copies.end() && found->second.etag == etag) r.body = found->second.body;
  }
  if (r.body.empty()) {
    std::string copy = Gzip(ReadFile(file_real));
    if (copy.empty()) {
      // zlib refused: the file as it is, under its own tag.
      r.headers[0].second = "\"" + version + "\"";
      r.body = ReadFile(file_real);
      return r;
    }
    std::lock_guard<std::mutex> lock(gzip_mutex);
    gzip_copies[file_real] = GzipCopy{etag, copy};
    r.body = std::move(copy);
  }
  r.headers.emplace_back("Content-Encoding", "gzip");
  return r;
}

}  // namespace brivos::server
