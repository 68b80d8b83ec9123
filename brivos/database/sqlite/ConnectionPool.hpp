#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <string>
#include <unordered_map>
#include <vector>

#include "brivos/database/PoolStatistics.hpp"
#include "brivos/database/sqlite/SqliteSession.hpp"

namespace brivos::internal {

// Connections to subscriber files, kept idle when their callers are done and
// handed out again: a new connection parses the schema. One process serves
// many subscribers, so the pool is bounded across all files together, in
// open connections (idle and in use) by the process's descriptor limit and by
// a memory budget, and closes the least recently used idle connection to stay
// within them; a connection in use is never closed. Thread-safe.
//
// An operator may set, through the environment, read once at first use:
//   BRIVOS_POOL_MAX_CONNECTIONS  open connections at most (default: what the
//                                descriptor limit allows, kept below it)
//   BRIVOS_POOL_MEMORY_MB        memory budget of the pool (default 256)
// At first use the soft descriptor limit is raised to the hard one.
class ConnectionPool {
 public:
  static ConnectionPool& Instance();

  // A connection to the file of `id`: an idle one, or newly opened (closing
  // the least recently used idle connection when the pool is at its bound).
  // Idle connections to an earlier file of that name are closed. Raises what
  // opening the file raises.
  std::unique_ptr<SqliteSession> Take(const DatabaseId& id);
  // Keeps a connection taken from the pool that the caller is done with, or
  // closes it. An open transaction is rolled back first. Never throws.
  void Give(std::unique_ptr<SqliteSession> conn) noexcept;
  // Closes every idle connection.
  void ReleaseAll() noexcept;

  // Open connections at most, as the descriptor limit now allows and the
  // operator's settings give.
  std::size_t MaxConnections() const;
  // The descriptors MaxConnections connections may hold.
  std::size_t DescriptorsAtMost() const;
  // What the pool holds now.
  PoolStatistics Statistics();

 private:
  ConnectionPool();

  using Idle = std::list<std::unique_ptr<SqliteSession>>;
  // Closes idle connections, least recently used first, until `open` open
  // connections fit under `bound`; the caller closes `closing` outside the lock.
  void EvictLocked(std::size_t open, std::size_t bound, std::vector<Idle::value_type>& closing);
  // Removes `it` from idle_ and from its file's list.
  Idle::value_type TakeLocked(Idle::iterator it);
  // Lets go of the entries of files that have no idle connection.
  void ForgetEmptyFilesLocked();

  static constexpr std::size_t kMaxIdlePerFile = 4;
  static constexpr std::size_t kKeptEmptyFiles = 64;
  // Idle connections that keep their page cache: with few subscribers active
  // their next call finds its pages still in memory.
  static constexpr std::size_t kWarmIdle = 16;

  std::size_t operator_max_ = 0;  // 0: not set
  std::size_t memory_max_ = 0;    // connections the memory budget allows

  // Held for a few hundred nanoseconds at a time, twice a call: a waiter
  // spins a little before it sleeps, as a sleep and a wake cost far more.
  class SpinThenSleep {
   public:
    SpinThenSleep() {
      pthread_mutexattr_t attr;
      pthread_mutexattr_init(&attr);
      pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_ADAPTIVE_NP);
      pthread_mutex_init(&m_, &attr);
      pthread_mutexattr_destroy(&attr);
    }
    SpinThenSleep(const SpinThenSleep&) = delete;
    SpinThenSleep& operator=(const SpinThenSleep&) = delete;
    ~SpinThenSleep() { pthread_mutex_destroy(&m_); }
    void lock() { pthread_mutex_lock(&m_); }
    void unlock() { pthread_mutex_unlock(&m_); }

   private:
    pthread_mutex_t m_;
  };
  SpinThenSleep mutex_;
  // Least recently used first.
  Idle idle_;
  // Nodes of idle_ not in use (their connections are null), for the next Give.
  Idle spare_;
  std::unordered_map<std::string, std::vector<Idle::iterator>> by_file_;
  std::atomic<std::size_t> idle_count_{0};
  std::size_t in_use_ = 0;
  std::uint64_t evictions_ = 0;
  // MaxConnections() as of the latest opening.
  std::size_t bound_ = 1;
};

}  // namespace brivos::internal
