#pragma once

// The service's requests and answers, apart from the network: routes,
// authentication, roles, problem+json. One Api serves every connection; its
// Handle runs on the worker pool and may block on the database.

#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "server/Service.hpp"

namespace brivos::server {

struct Request {
  std::string method;  // "GET"
  std::string target;  // "/v1/accounts/A100/me?x=1"
  std::string body;
  std::string authorization;
  std::string accept;
};

struct Response {
  int status = 200;
  std::string content_type = "application/json";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  // The template of the route that answered ("/v1/accounts/{account}/me"),
  // "" when none did: what the metrics count it under.
  std::string route;
};

// Refused sign-ins per account and user: after kLimit within kWindow the
// pair is refused with 429 until the oldest of them leaves the window.
class SignInThrottle {
 public:
  static constexpr int kLimit = 5;
  static constexpr std::chrono::seconds kWindow{300};
  // Seconds until the pair may try again; 0 when it may now.
  long RetryAfter(const std::string& key);
  void NoteRefusal(const std::string& key);
  void Clear(const std::string& key);

 private:
  std::mutex mutex_;
  std::map<std::string, std::deque<std::chrono::steady_clock::time_point>> refusals_;
};

class Api {
 public:
  explicit Api(Config config);
  Response Handle(const Request& request);
  const Config& Settings() const { return config_; }

 private:
  Config config_;
  std::string real_data_dir_;
  SignInThrottle throttle_;
  friend class Handler;
};

}  // namespace brivos::server
