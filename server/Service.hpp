#pragma once

// The HTTP JSON service: BRIVOS over HTTP with the security the managers
// leave to their caller (bearer sessions, roles, limits, confinement of
// accounts to the data directory).

#include <chrono>
#include <cstdint>
#include <string>

namespace brivos::server {

struct Config {
  // The directory of the subscriber databases: account A100 is DIR/A100.mdb.
  std::string data_dir;
  std::string host = "127.0.0.1";
  std::uint16_t port = 8080;  // 0 picks a free port
  // Workers that run library calls; the I/O never waits on them.
  int threads = 4;
  // A session ends this long after its sign-in, or after going unused for
  // session_idle, whichever comes first.
  std::chrono::seconds session_max_age{12 * 3600};
  std::chrono::seconds session_idle{30 * 60};
  // Refused sign-ins (and password changes) allowed within 5 minutes per
  // user name and client address, and per user name from all addresses.
  int sign_ins_per_address = 5;
  int sign_ins_per_user = 50;
  // How long a kept-alive connection may wait for its next request before
  // the service closes it.
  std::chrono::seconds idle_timeout{60};
  // The browser app's files, served at "/"; empty serves none.
  std::string web_root;
};

// Serves until SIGTERM or SIGINT, then finishes the requests in flight
// (for at most 10 s) and returns 0. Prints "listening on http://HOST:PORT"
// on stderr once it accepts, and one access-log line per request.
int Serve(const Config& config);

}  // namespace brivos::server
