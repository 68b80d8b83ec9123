#pragma once

// The HTTP JSON service: BRIVOS over HTTP with the security the managers
// leave to their caller (bearer sessions, roles, limits, confinement of
// accounts to the data directory).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "brivos/database/ReportCeilings.hpp"

namespace brivos::server {

struct Config {
  // The directory of the subscriber databases: account A100 is DIR/A100.mdb.
  std::string data_dir;
  std::string host = "127.0.0.1";
  std::uint16_t port = 8080;  // 0 picks a free port
  // Workers that run library calls; the I/O never waits on them. A worker
  // waiting on a PostgreSQL server's answer holds no core: there, several
  // per core keep the cores busy (bench/README.md).
  int threads = 4;
  // Threads that run clients' report statements, apart from the workers,
  // one statement per firm at a time; and the most one may return (the
  // library's ReportCeilings, set for the process).
  int report_threads = 2;
  std::int64_t report_max_rows = ReportCeilings{}.rows;
  std::int64_t report_max_bytes = ReportCeilings{}.bytes;
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
  // Client connections open at once; past it a new one is answered 503 and
  // closed. 0: DefaultMaxConnections().
  std::size_t max_connections = 0;
  // How long the requests in flight may take to finish once asked to stop.
  std::chrono::seconds shutdown_grace{10};
};

// Raises the soft descriptor limit to the hard one, then gives the
// connections the rest of the process's descriptors leave: what the database
// connections may hold (DatabaseDescriptorsAtMost), those the service keeps
// for itself, within [1, 16384].
std::size_t DefaultMaxConnections();

// Serves until SIGTERM or SIGINT, then finishes the requests in flight and
// returns 0. A call still running after the shutdown grace is interrupted
// (its statement raises); when the workers have not ended a second later
// the process exits at once, status 0. Prints "listening on
// http://HOST:PORT" on stderr once it accepts, one access-log line per
// request, and one line per failed accept pause or unexpected failure.
int Serve(const Config& config);

}  // namespace brivos::server
