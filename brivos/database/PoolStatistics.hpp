#pragma once

#include <cstddef>
#include <cstdint>

namespace brivos {

// What the active backend's pool of connections holds at one moment, for an
// operator's monitoring. A backend that keeps no such pool reports zeros.
struct PoolStatistics {
  // Subscriber databases with at least one idle connection kept.
  std::size_t files = 0;
  // Connections kept idle for a later caller.
  std::size_t idle_connections = 0;
  // Connections open, idle or in use.
  std::size_t open_connections = 0;
  // Open connections at most, as the pool's bounds now allow.
  std::size_t max_connections = 0;
  // Idle connections closed to stay within those bounds, since the start.
  std::uint64_t evictions = 0;
};

// The figures of the active backend's pool. Never opens a connection.
PoolStatistics ConnectionPoolStatistics();

}  // namespace brivos
