#pragma once

// Who is calling: bearer session tokens checked through the gate, and
// sign-ins held to the limits the firm's database counts (see
// ThrottledAttempt), whichever process of the service they reach.

#include <string>

#include "app/Calls.hpp"
#include "server/Http.hpp"

namespace brivos::server {

// The challenge of a 401 for a missing or refused sign-in.
inline const Headers kBearerChallenge = {{"WWW-Authenticate", "Bearer realm=\"brivos\""}};

// The seconds a client is asked to wait before trying again when the
// database could not be reached.
inline constexpr int kUnavailableRetrySeconds = 5;

// A 429 for a password check turned away, with its Retry-After.
HttpError TooManyAttempts(const app::TooManyAttempts& e);

class Auth {
 public:
  explicit Auth(app::SessionPolicy policy) : policy_(std::move(policy)) {}

  // The caller an Authorization header's bearer token stands for, read once,
  // calling from `address`; 401 with a Bearer challenge otherwise, 503 with
  // Retry-After when the database cannot be read.
  app::Principal Authenticate(const app::Tenant& firm, const std::string& authorization,
                              const std::string& address) const;
  // A session token for `user` signing in from `address`; the library's
  // error for a refused sign-in, 429 after too many of them.
  std::string SignIn(const app::Tenant& firm, const std::string& user, const std::string& password,
                     const std::string& address);

 private:
  app::SessionPolicy policy_;
};

}  // namespace brivos::server
