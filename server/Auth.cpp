#include "server/Auth.hpp"

namespace brivos::server {

namespace {

const Headers kInvalidToken = {
    {"WWW-Authenticate", "Bearer realm=\"brivos\", error=\"invalid_token\""}};

}  // namespace

HttpError TooManyAttempts(const app::TooManyAttempts& e) {
  return HttpError(429, e.what(), {{"Retry-After", std::to_string(e.RetryAfter())}});
}

app::Principal Auth::Authenticate(const app::Tenant& firm, const std::string& authorization,
                                  const std::string& address) const {
  constexpr std::string_view kScheme = "Bearer ";
  if (authorization.size() <= kScheme.size() ||
      !EqualsIgnoreCase(std::string_view(authorization).substr(0, kScheme.size()), kScheme)) {
    throw HttpError(401, "this route needs Authorization: Bearer TOKEN", kBearerChallenge);
  }
  const std::string token = authorization.substr(kScheme.size());
  if (token.size() > 255 ||
      token.find_first_not_of("0123456789ABCDEFabcdef-{}") != std::string::npos) {
    throw HttpError(401, "unknown token", kInvalidToken);
  }
  try {
    app::Principal caller = app::Authenticate(firm, token, policy_);
    caller.address = address;
    return caller;
  } catch (const app::Refused& e) {
    if (e.Kind() != app::Refusal::kUnauthorized) throw;
    throw HttpError(401, e.what(), kInvalidToken);
  } catch (const Error& e) {
    if (e.Number() != errnum::kDbFailure && e.Number() != errnum::kDbTimeout) throw;
    // Whether the session holds cannot be told: not a refusal of it.
    throw HttpError(503, "the firm's database cannot be read now; try again later",
                    {{"Retry-After", std::to_string(kUnavailableRetrySeconds)}});
  }
}

std::string Auth::SignIn(const app::Tenant& firm, const std::string& user,
                         const std::string& password, const std::string& address) {
  try {
    return app::SignIn(firm, user, password, address, policy_);
  } catch (const app::TooManyAttempts& e) {
    throw TooManyAttempts(e);
  }
}

}  // namespace brivos::server
