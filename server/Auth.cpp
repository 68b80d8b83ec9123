#include "server/Auth.hpp"

namespace brivos::server {

namespace {

const Headers kInvalidToken = {
    {"WWW-Authenticate", "Bearer realm=\"brivos\", error=\"invalid_token\""}};

}  // namespace

long MemoryThrottle::RetryAfter(const std::string& key) {
  const auto now = std::chrono::steady_clock::now();
  std::lock_guard lock(mutex_);
  auto found = refusals_.find(key);
  if (found == refusals_.end()) return 0;
  auto& times = found->second;
  while (!times.empty() && now - times.front() >= kWindow) times.pop_front();
  if (times.empty()) {
    refusals_.erase(found);
    return 0;
  }
  if (static_cast<int>(times.size()) < kLimit) return 0;
  const auto left = std::chrono::ceil<std::chrono::seconds>(times.front() + kWindow - now);
  return std::max<long>(1, static_cast<long>(left.count()));
}

void MemoryThrottle::NoteRefusal(const std::string& key) {
  std::lock_guard lock(mutex_);
  auto& times = refusals_[key];
  times.push_back(std::chrono::steady_clock::now());
  while (static_cast<int>(times.size()) > kLimit) times.pop_front();
}

void MemoryThrottle::Clear(const std::string& key) {
  std::lock_guard lock(mutex_);
  refusals_.erase(key);
}

app::Principal Auth::Authenticate(const app::Tenant& firm,
                                  const std::string& authorization) const {
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
    return app::Authenticate(firm, token, static_cast<double>(max_age_.count()));
  } catch (const app::Refused& e) {
    if (e.Kind() != app::Refusal::kUnauthorized) throw;
    throw HttpError(401, e.what(), kInvalidToken);
  }
}

std::string Auth::SignIn(const app::Tenant& firm, const std::string& user,
                         const std::string& password) {
  const std::string key = firm.account_no + "\n" + AsciiLowered(user);
  if (const long wait = throttle_->RetryAfter(key); wait > 0) {
    throw HttpError(429, "too many refused sign-ins; try again later",
                    {{"Retry-After", std::to_string(wait)}});
  }
  try {
    std::string token = app::SignIn(firm, user, password);
    throttle_->Clear(key);
    return token;
  } catch (const Error& e) {
    if (e.Number() == errCSecurityMgr::eInvalidUserInfo) throttle_->NoteRefusal(key);
    throw;
  }
}

}  // namespace brivos::server
