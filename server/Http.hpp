#pragma once

// A request and its answer apart from the network, and what every route
// reads and writes them with: the query, a JSON body, paged lists.

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "brivos/brivos.hpp"
#include "json/VariantJson.hpp"

namespace brivos::server {

using json::Json;

using Headers = std::vector<std::pair<std::string, std::string>>;

struct Request {
  std::string method;  // "GET"
  std::string target;  // "/v1/accounts/A100/me?x=1"
  std::string body;
  Headers fields;      // every header field, as sent
  std::string peer;    // the client's address as the socket has it ("127.0.0.1")
  // The value of the header field `name` (case-insensitive), "" when absent.
  std::string_view Header(std::string_view name) const;
};

struct Response {
  int status = 200;
  std::string content_type = "application/json";
  std::string body;
  Headers headers;
  // A body too long to hold whole (an export): when set, `body` is its first
  // part and each call of `more` appends the next to its argument, returning
  // false once none follows. The parts go out in chunked transfer coding as
  // the client takes them: `more` runs on a worker, and only once the part
  // before is written, so one part at a time is held; a client that leaves
  // stops the calls. A failure it throws ends the answer unfinished.
  std::function<bool(std::string&)> more;
  // The template of the route that answered ("/v1/accounts/{account}/me"),
  // "" when none did: what the metrics count it under.
  std::string route;
};

// A refusal of the service itself, before or instead of a library call.
class HttpError : public std::runtime_error {
 public:
  HttpError(int status, std::string detail, Headers headers = {})
      : std::runtime_error(detail), status_(status), headers_(std::move(headers)) {}
  int Status() const { return status_; }
  const Headers& HeaderFields() const { return headers_; }

 private:
  int status_;
  Headers headers_;
};

// Lists are paged: `page` from 1, `per_page` from 1 to kMaxPerPage.
inline constexpr int kDefaultPerPage = 100;
inline constexpr int kMaxPerPage = 1000;
// JSON bodies nest no deeper than this.
inline constexpr int kMaxDepth = 32;

// "a/b/c" split at `sep`, empty parts kept.
std::vector<std::string> Split(std::string_view text, char sep);
// Percent-decoding of a query part ('+' is a space).
std::string Decoded(std::string_view text);
// The query of a target as name to value.
std::map<std::string, std::string> QueryOf(std::string_view target);

// A body that must be a JSON object; an empty body is an empty object.
Json BodyObject(const std::string& body);

// A value without its Password properties; rows of a report keep the field,
// as null.
Json Public(const Variant& value, bool rows = false);
// A value as the answer, without its passwords, written straight to text.
Response PublicResponse(int status, const Variant& value, bool rows = false);
Response JsonResponse(int status, const Json& body);
Response NoContent();

// One page of `items` as the answer, with X-Total-Count and a Link header
// of the pages; `path` and `query` are the request's.
Response Paged(const Json& items, const std::string& path,
               const std::map<std::string, std::string>& query);

// A date such as 2024-03-05 from the query, or 400 naming `what`.
Date ParseDate(const std::string& text, const char* what);
// A row key from the path, or 404.
std::int32_t ParseId(const std::string& text);

}  // namespace brivos::server
