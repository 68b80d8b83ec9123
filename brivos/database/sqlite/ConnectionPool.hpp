#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "brivos/database/sqlite/SqliteSession.hpp"

namespace brivos::internal {

// Idle connections per database file, handed out again instead of opening
// the file anew: a new connection parses the schema, and the last connection
// to a WAL file closing checkpoints it. Bounded in idle connections per file
// and in files; thread-safe.
class ConnectionPool {
 public:
  static ConnectionPool& Instance();

  // An idle connection to the file of `id`, or nullptr. Idle connections to
  // an earlier file of that name are closed.
  std::unique_ptr<SqliteSession> Take(const DatabaseId& id);
  // Keeps a connection the caller is done with (or closes it when the pool is
  // full). An open transaction is rolled back first. Never throws.
  void Give(std::unique_ptr<SqliteSession> conn) noexcept;
  // Closes every idle connection.
  void ReleaseAll() noexcept;

 private:
  static constexpr std::size_t kMaxIdlePerFile = 4;
  static constexpr std::size_t kMaxFiles = 32;

  struct File {
    std::string path;
    std::vector<std::unique_ptr<SqliteSession>> idle;
    std::uint64_t last_use = 0;
  };

  std::mutex mutex_;
  std::vector<File> files_;
  std::uint64_t use_clock_ = 0;
};

}  // namespace brivos::internal
