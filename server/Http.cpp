#include "server/Http.hpp"

#include <cstdlib>

namespace brivos::server {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// How deep arrays and objects nest in JSON text, strings skipped.
int NestingDepth(std::string_view text) {
  int depth = 0, deepest = 0;
  bool in_string = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return deepest;
}

}  // namespace

std::string_view Request::Header(std::string_view name) const {
  for (const auto& [field, value] : fields) {
    if (EqualsIgnoreCase(field, name)) return value;
  }
  return {};
}

std::vector<std::string> Split(std::string_view text, char sep) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find(sep, start), text.size());
    parts.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::string Decoded(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::map<std::string, std::string> QueryOf(std::string_view target) {
  std::map<std::string, std::string> query;
  const std::size_t question = target.find('?');
  if (question == std::string_view::npos) return query;
  for (const std::string& pair : Split(target.substr(question + 1), '&')) {
    if (pair.empty()) continue;
    const std::size_t eq = pair.find('=');
    query[Decoded(std::string_view(pair).substr(0, eq))] =
        eq == std::string::npos ? std::string() : Decoded(std::string_view(pair).substr(eq + 1));
  }
  return query;
}

Json BodyObject(const std::string& body) {
  if (body.find_first_not_of(" \t\r\n") == std::string::npos) return Json::object();
  if (NestingDepth(body) > kMaxDepth) {
    throw HttpError(400, "JSON nested deeper than " + std::to_string(kMaxDepth) + " levels");
  }
  Json parsed = Json::parse(body, nullptr, false);
  if (parsed.is_discarded()) throw HttpError(400, "the body is not valid JSON");
  if (!parsed.is_object()) throw HttpError(400, "the body must be a JSON object");
  return parsed;
}

Json Public(const Variant& value, bool rows) {
  Json out = json::ToJson(value);
  json::Hide(out, "Password", rows);
  return out;
}

Response PublicResponse(int status, const Variant& value, bool rows) {
  Response r;
  r.status = status;
  json::AppendJson(r.body, value, "Password", rows);
  return r;
}

Response JsonResponse(int status, const Json& body) {
  Response r;
  r.status = status;
  r.body = json::Dump(body, true);
  return r;
}

Response NoContent() {
  Response r;
  r.status = 204;
  r.content_type.clear();
  return r;
}

Response Paged(const Json& items, const std::string& path,
               const std::map<std::string, std::string>& query) {
  const auto number = [&query](const char* name, int fallback) {
    const auto found = query.find(name);
    if (found == query.end() || found->second.empty()) return fallback;
    const std::string& text = found->second;
    if (text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
      throw HttpError(400, std::string(name) + " must be a positive whole number");
    }
    return std::atoi(text.c_str());
  };
  const int page = number("page", 1);
  const int per_page = number("per_page", kDefaultPerPage);
  if (page < 1 || per_page < 1 || per_page > kMaxPerPage) {
    throw HttpError(400, "page starts at 1 and per_page is 1 to " + std::to_string(kMaxPerPage));
  }
  const auto total = static_cast<long>(items.size());
  const long first = static_cast<long>(page - 1) * per_page;
  Json slice = Json::array();
  for (long i = first; i < total && i < first + per_page; ++i) {
    slice.push_back(items[static_cast<std::size_t>(i)]);
  }
  Response r = JsonResponse(200, slice);
  r.headers.emplace_back("X-Total-Count", std::to_string(total));
  const long last = std::max<long>(1, (total + per_page - 1) / per_page);
  std::string others;
  for (const auto& [key, value] : query) {
    if (key != "page" && key != "per_page") others += key + "=" + value + "&";
  }
  const auto link = [&](long p, const char* rel) {
    return "<" + path + "?" + others + "page=" + std::to_string(p) +
           "&per_page=" + std::to_string(per_page) + ">; rel=\"" + rel + "\"";
  };
  std::string links = link(1, "first");
  if (page > 1) links += ", " + link(std::min<long>(page - 1, last), "prev");
  if (page < last) links += ", " + link(page + 1, "next");
  links += ", " + link(last, "last");
  r.headers.emplace_back("Link", links);
  return r;
}

Date ParseDate(const std::string& text, const char* what) {
  Date d;
  if (!Date::TryParse(text, d)) {
    throw HttpError(400,
                    std::string(what) + " needs a date such as 2024-03-05, not '" + text + "'");
  }
  return d;
}

std::int32_t ParseId(const std::string& text) {
  if (text.empty() || text.size() > 9 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    throw HttpError(404, "no such row: '" + text + "'");
  }
  return static_cast<std::int32_t>(std::strtol(text.c_str(), nullptr, 10));
}

}  // namespace brivos::server
