#pragma once

// Who is calling: bearer session tokens checked through the gate, and the
// throttling of refused sign-ins behind a store a deployment may replace.

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "app/Calls.hpp"
#include "server/Http.hpp"

namespace brivos::server {

// The challenge of a 401 for a missing or refused sign-in.
inline const Headers kBearerChallenge = {{"WWW-Authenticate", "Bearer realm=\"brivos\""}};

// Refused sign-ins per key (firm and user): after kLimit within kWindow the
// key is refused with 429 until the oldest of them leaves the window.
class ThrottleStore {
 public:
  static constexpr int kLimit = 5;
  static constexpr std::chrono::seconds kWindow{300};
  virtual ~ThrottleStore() = default;
  // Seconds until the key may try again; 0 when it may now.
  virtual long RetryAfter(const std::string& key) = 0;
  virtual void NoteRefusal(const std::string& key) = 0;
  virtual void Clear(const std::string& key) = 0;
};

// The store of one process.
class MemoryThrottle final : public ThrottleStore {
 public:
  long RetryAfter(const std::string& key) override;
  void NoteRefusal(const std::string& key) override;
  void Clear(const std::string& key) override;

 private:
  std::mutex mutex_;
  std::map<std::string, std::deque<std::chrono::steady_clock::time_point>> refusals_;
};

class Auth {
 public:
  Auth(std::unique_ptr<ThrottleStore> throttle, std::chrono::seconds session_max_age)
      : throttle_(std::move(throttle)), max_age_(session_max_age) {}

  // The caller an Authorization header's bearer token stands for, read once;
  // 401 with a Bearer challenge otherwise.
  app::Principal Authenticate(const app::Tenant& firm, const std::string& authorization) const;
  // A session token for `user`; 401 for a refused sign-in, 429 after too
  // many of them.
  std::string SignIn(const app::Tenant& firm, const std::string& user,
                     const std::string& password);

 private:
  std::unique_ptr<ThrottleStore> throttle_;
  std::chrono::seconds max_age_;
};

}  // namespace brivos::server
