#include "brivos/database/sqlite/ConnectionPool.hpp"

#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace brivos::internal {

namespace {

// Descriptors a connection may hold: the database file, its log and the
// log's shared index.
constexpr std::size_t kDescriptorsPerConnection = 3;
// What an idle connection costs, its page cache released: the parsed schema,
// the cached statements and the connection's own allocations (measured with
// the subscriber schema at about 100 KiB).
constexpr std::size_t kConnectionBytes = 128 * 1024;
constexpr std::size_t kDefaultMemoryMb = 256;

// Closes the idle connections of the pool when the program ends. The pool
// itself is never destroyed: handles may still be returned during shutdown.
struct PoolShutdown {
  ~PoolShutdown() { ConnectionPool::Instance().ReleaseAll(); }
};
PoolShutdown pool_shutdown;

// The positive whole number in environment variable `name`, or 0.
std::size_t Setting(const char* name) {
  const char* text = std::getenv(name);
  if (text == nullptr) return 0;
  char* end = nullptr;
  const unsigned long long n = std::strtoull(text, &end, 10);
  return end != text && *end == '\0' ? static_cast<std::size_t>(n) : 0;
}

// Servers raise their soft descriptor limit to the hard one; a process that
// may not keeps the limit it has.
void RaiseDescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
  limit.rlim_cur = limit.rlim_max;
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace

ConnectionPool& ConnectionPool::Instance() {
  static ConnectionPool* const pool = new ConnectionPool();
  return *pool;
}

ConnectionPool::ConnectionPool() {
  RaiseDescriptorLimit();
  operator_max_ = Setting("BRIVOS_POOL_MAX_CONNECTIONS");
  std::size_t memory_mb = Setting("BRIVOS_POOL_MEMORY_MB");
  if (memory_mb == 0) memory_mb = kDefaultMemoryMb;
  memory_max_ = std::max<std::size_t>(1, memory_mb * 1024 * 1024 / kConnectionBytes);
}

std::size_t ConnectionPool::MaxConnections() const {
  // Read again at each opening (which costs far more): the limit may have
  // been lowered since. A quarter of it, and a few more, stay for the rest of
  // the process.
  std::size_t by_descriptors = 1;
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    const std::size_t soft = limit.rlim_cur;
    const std::size_t headroom = soft / 4 + 32;
    if (soft > headroom) by_descriptors = (soft - headroom) / kDescriptorsPerConnection;
  } else {
    by_descriptors = memory_max_;
  }
  std::size_t bound = std::min(by_descriptors, memory_max_);
  if (operator_max_ != 0) bound = std::min(bound, operator_max_);
  return std::max<std::size_t>(1, bound);
}

std::size_t ConnectionPool::DescriptorsAtMost() const {
  return MaxConnections() * kDescriptorsPerConnection;
}

ConnectionPool::Idle::value_type ConnectionPool::TakeLocked(Idle::iterator it) {
  // A file's entry stays when its last idle connection is taken, and the
  // list's node is kept aside: a call that gives its connection back does
  // not allocate either again.
  auto file = by_file_.find((*it)->Id().name);
  if (file != by_file_.end()) std::erase(file->second, it);
  Idle::value_type conn = std::move(*it);
  if (spare_.size() < kKeptEmptyFiles) {
    spare_.splice(spare_.end(), idle_, it);
  } else {
    idle_.erase(it);
  }
  idle_count_.store(idle_.size(), std::memory_order_relaxed);
  return conn;
}

void ConnectionPool::ForgetEmptyFilesLocked() {
  // Entries of files with no idle connection, kept for their next call, are
  // let go once they outnumber the connections.
  if (by_file_.size() <= idle_.size() + in_use_ + kKeptEmptyFiles) return;
  std::erase_if(by_file_, [](const auto& file) { return file.second.empty(); });
}

void ConnectionPool::EvictLocked(std::size_t open, std::size_t bound,
                                 std::vector<Idle::value_type>& closing) {
  while (open > bound && !idle_.empty()) {
    closing.push_back(TakeLocked(idle_.begin()));
    --open;
    ++evictions_;
  }
}

std::unique_ptr<SqliteSession> ConnectionPool::Take(const DatabaseId& id) {
  std::vector<Idle::value_type> closing;  // closed outside the lock, on every path
  {
    std::lock_guard lock(mutex_);
    for (auto file = by_file_.find(id.name); file != by_file_.end() && !file->second.empty();
         file = by_file_.find(id.name)) {
      Idle::value_type conn = TakeLocked(file->second.back());
      if (conn->Id() == id) {
        ++in_use_;
        return conn;
      }
      closing.push_back(std::move(conn));
    }
    // One more connection opens: make room for it.
    ForgetEmptyFilesLocked();
    bound_ = MaxConnections();
    EvictLocked(idle_.size() + in_use_ + 1, bound_, closing);
    ++in_use_;
  }
  closing.clear();
  try {
    return std::make_unique<SqliteSession>(id);
  } catch (...) {
    std::lock_guard lock(mutex_);
    --in_use_;
    throw;
  }
}

void ConnectionPool::Give(std::unique_ptr<SqliteSession> conn) noexcept {
  if (!conn) return;
  conn->RollbackQuietly();
  // One left inside a transaction cannot be trusted to a later caller: it closes.
  const bool keep = !conn->InTransaction();
  // With many subscribers active an idle connection may wait long for its
  // next call: its page cache goes back to the heap meanwhile, and the pages
  // of its file's log index back to the operating system.
  if (keep && idle_count_.load(std::memory_order_relaxed) >= kWarmIdle) conn->ReleaseIdleMemory();
  std::vector<Idle::value_type> closing;
  {
    std::lock_guard lock(mutex_);
    --in_use_;
    if (!keep) return;
    const std::string& name = conn->Id().name;
    auto file = by_file_.find(name);
    if (file != by_file_.end() && file->second.size() >= kMaxIdlePerFile) return;
    try {
      if (file == by_file_.end())
        file = by_file_.emplace(name, std::vector<Idle::iterator>{}).first;
      file->second.reserve(kMaxIdlePerFile);
      if (spare_.empty()) {
        idle_.push_back(std::move(conn));
      } else {
        spare_.front() = std::move(conn);
        idle_.splice(idle_.end(), spare_, spare_.begin());
      }
      file->second.push_back(std::prev(idle_.end()));
      idle_count_.store(idle_.size(), std::memory_order_relaxed);
    } catch (...) {
      // Out of memory while keeping it: the connection simply closes.
      if (file != by_file_.end() && file->second.empty()) by_file_.erase(file);
      return;
    }
    EvictLocked(idle_.size() + in_use_, bound_, closing);
  }
}

PoolStatistics ConnectionPool::Statistics() {
  PoolStatistics figures;
  figures.max_connections = MaxConnections();
  std::lock_guard lock(mutex_);
  figures.files = static_cast<std::size_t>(std::count_if(
      by_file_.begin(), by_file_.end(), [](const auto& file) { return !file.second.empty(); }));
  figures.idle_connections = idle_.size();
  figures.open_connections = idle_.size() + in_use_;
  figures.evictions = evictions_;
  return figures;
}

void ConnectionPool::ReleaseAll() noexcept {
  Idle idle;
  {
    std::lock_guard lock(mutex_);
    idle.swap(idle_);
    by_file_.clear();
    spare_.clear();
    idle_count_.store(0, std::memory_order_relaxed);
  }
}

}  // namespace brivos::internal
