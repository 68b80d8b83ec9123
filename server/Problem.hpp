#pragma once

// Errors as application/problem+json (RFC 9457).

#include <string>

#include "app/Calls.hpp"
#include "server/Http.hpp"

namespace brivos::server {

// The seconds a 503 asks the client to wait before it tries again.
inline constexpr int kRetryAfterSeconds = 5;

// The HTTP status of a refusal: 400, 401, 403, 404, 409, 422, 503 (with
// Retry-After), or 500 for anything else the library raised.
int StatusOf(app::Refusal refusal);

// The problem document of a refusal or a raised error.
Response Problem(const HttpError& error);
Response Problem(const app::Refused& refused);
Response Problem(const Error& error, int status);
Response Problem(int status, const std::string& detail);

}  // namespace brivos::server
