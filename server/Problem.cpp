#include "server/Problem.hpp"

#include <boost/beast/http/status.hpp>

namespace brivos::server {
namespace {

// The description without the tag the error convention adds.
std::string Untagged(const std::string& description) {
  const std::size_t tag = description.find(std::string("\r\n") + std::string(kErrorMarker));
  return tag == std::string::npos ? description : description.substr(0, tag);
}

Response Document(int status, const Json& body) {
  Response r;
  r.status = status;
  r.content_type = "application/problem+json";
  r.body = json::Dump(body, true);
  return r;
}

Json Base(int status, const std::string& detail) {
  namespace http = boost::beast::http;
  Json out = Json::object();
  out["type"] = "about:blank";
  out["title"] = std::string(http::obsolete_reason(http::int_to_status(static_cast<unsigned>(status))));
  out["status"] = status;
  out["detail"] = detail;
  return out;
}

}  // namespace

int StatusOf(app::Refusal refusal) {
  switch (refusal) {
    case app::Refusal::kBadRequest:
      return 400;
    case app::Refusal::kUnauthorized:
      return 401;
    case app::Refusal::kForbidden:
      return 403;
    case app::Refusal::kNotFound:
      return 404;
    case app::Refusal::kConflict:
      return 409;
    case app::Refusal::kUnprocessable:
      return 422;
    case app::Refusal::kUnavailable:
      return 503;
    case app::Refusal::kFailed:
      return 500;
  }
  return 500;
}

Response Problem(const HttpError& error) {
  Response r = Document(error.Status(), Base(error.Status(), error.what()));
  r.headers = error.HeaderFields();
  return r;
}

Response Problem(const app::Refused& refused) {
  const int status = StatusOf(refused.Kind());
  Json out = Base(status, refused.what());
  if (refused.Number() != 0) out["number"] = refused.Number();
  Response r = Document(status, out);
  if (status == 503) r.headers.emplace_back("Retry-After", std::to_string(kRetryAfterSeconds));
  return r;
}

Response Problem(const Error& error, int status) {
  Json out = Base(status, Untagged(error.Description()));
  out["type"] = "urn:brivos:error:" + std::to_string(error.Number());
  out["number"] = error.Number();
  out["source"] = error.Source();
  out["description"] = error.Description();
  Response r = Document(status, out);
  if (status == 503) r.headers.emplace_back("Retry-After", std::to_string(kRetryAfterSeconds));
  return r;
}

Response Problem(int status, const std::string& detail) {
  return Document(status, Base(status, detail));
}

}  // namespace brivos::server
