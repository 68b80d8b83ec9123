#pragma once

// Errors as application/problem+json (RFC 9457).

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "brivos/brivos.hpp"
#include "server/Api.hpp"

namespace brivos::server {

// A refusal of the service itself, before or instead of a library call.
class HttpError : public std::runtime_error {
 public:
  HttpError(int status, std::string detail,
            std::vector<std::pair<std::string, std::string>> headers = {})
      : std::runtime_error(detail), status_(status), headers_(std::move(headers)) {}
  int Status() const { return status_; }
  const std::vector<std::pair<std::string, std::string>>& Headers() const { return headers_; }

 private:
  int status_;
  std::vector<std::pair<std::string, std::string>> headers_;
};

// The HTTP status of an error the library raised: 404 for no such row (9,
// 3021), 422 for conversion and range (5, 6, 13, 94), 409 for a manager's
// "already exists" refusal, 500 for the rest.
int StatusOfError(const Error& error);

// The problem document of a refusal or a raised error.
Response Problem(const HttpError& error);
Response Problem(const Error& error, int status);
Response Problem(int status, const std::string& detail);

const char* ReasonPhrase(int status);

}  // namespace brivos::server
