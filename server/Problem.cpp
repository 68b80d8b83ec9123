#include "server/Problem.hpp"

#include <algorithm>
#include <set>

#include "json/VariantJson.hpp"

namespace brivos::server {
namespace {

using json::Json;

// The error numbers of the managers' "already exists" refusals, read from
// the published error enumerations.
const std::set<std::int32_t>& ExistsErrors() {
  static const std::set<std::int32_t> numbers = [] {
    std::set<std::int32_t> found;
    for (const EnumInfo& e : PublishedEnums()) {
      if (!e.name.starts_with("err")) continue;
      for (const auto& [name, number] : e.members) {
        if (name.find("Exists") != std::string::npos) found.insert(number);
      }
    }
    return found;
  }();
  return numbers;
}

// The description without the tag the error convention adds.
std::string Untagged(const std::string& description) {
  const std::size_t tag = description.find("\r\n >VelmarERR@");
  return tag == std::string::npos ? description : description.substr(0, tag);
}

Response Document(int status, Json body) {
  Response r;
  r.status = status;
  r.content_type = "application/problem+json";
  r.body = json::Dump(body, true);
  return r;
}

Json Base(int status, const std::string& detail) {
  Json out = Json::object();
  out["type"] = "about:blank";
  out["title"] = ReasonPhrase(status);
  out["status"] = status;
  out["detail"] = detail;
  return out;
}

}  // namespace

int StatusOfError(const Error& error) {
  switch (error.Number()) {
    case errnum::kSubscriptOutOfRange:
    case 3021:
      return 404;
    case 5:
    case 6:
    case 13:
    case 94:
      return 422;
    default:
      return ExistsErrors().contains(error.Number()) ? 409 : 500;
  }
}

Response Problem(const HttpError& error) {
  Response r = Document(error.Status(), Base(error.Status(), error.what()));
  r.headers = error.Headers();
  return r;
}

Response Problem(const Error& error, int status) {
  Json out = Base(status, Untagged(error.Description()));
  out["type"] = "urn:brivos:error:" + std::to_string(error.Number());
  out["number"] = error.Number();
  out["source"] = error.Source();
  out["description"] = error.Description();
  return Document(status, std::move(out));
}

Response Problem(int status, const std::string& detail) {
  return Document(status, Base(status, detail));
}

const char* ReasonPhrase(int status) {
  switch (status) {
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 406:
      return "Not Acceptable";
    case 409:
      return "Conflict";
    case 413:
      return "Content Too Large";
    case 415:
      return "Unsupported Media Type";
    case 422:
      return "Unprocessable Content";
    case 429:
      return "Too Many Requests";
    case 431:
      return "Request Header Fields Too Large";
    case 503:
      return "Service Unavailable";
    default:
      return "Internal Server Error";
  }
}

}  // namespace brivos::server
