#include "brivos/database/sqlite/ConnectionPool.hpp"

#include <algorithm>
#include <utility>

namespace brivos::internal {

namespace {

// Closes the idle connections of the pool when the program ends, so that the
// last connection to each file checkpoints its log. The pool itself is never
// destroyed: handles may still be returned during shutdown.
struct PoolShutdown {
  ~PoolShutdown() { ConnectionPool::Instance().ReleaseAll(); }
};
PoolShutdown pool_shutdown;

}  // namespace

ConnectionPool& ConnectionPool::Instance() {
  static ConnectionPool* const pool = new ConnectionPool();
  return *pool;
}

std::unique_ptr<SqliteSession> ConnectionPool::Take(const DatabaseId& id) {
  std::vector<std::unique_ptr<SqliteSession>> stale;
  std::unique_ptr<SqliteSession> found;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto file = std::find_if(files_.begin(), files_.end(),
                             [&](const File& f) { return f.path == id.name; });
    if (file == files_.end()) return nullptr;
    file->last_use = ++use_clock_;
    while (!file->idle.empty() && !found) {
      std::unique_ptr<SqliteSession> c = std::move(file->idle.back());
      file->idle.pop_back();
      if (c->Id() == id) {
        found = std::move(c);
      } else {
        stale.push_back(std::move(c));
      }
    }
  }
  return found;  // `stale` closes outside the lock
}

void ConnectionPool::Give(std::unique_ptr<SqliteSession> conn) noexcept {
  if (!conn) return;
  conn->RollbackQuietly();
  if (conn->InTransaction()) return;  // cannot be trusted to a later caller: close it
  std::vector<std::unique_ptr<SqliteSession>> evicted;
  try {
    std::lock_guard<std::mutex> lock(mutex_);
    auto file = std::find_if(files_.begin(), files_.end(),
                             [&](const File& f) { return f.path == conn->Id().name; });
    if (file == files_.end()) {
      if (files_.size() >= kMaxFiles) {
        auto oldest =
            std::min_element(files_.begin(), files_.end(),
                             [](const File& a, const File& b) { return a.last_use < b.last_use; });
        for (auto& c : oldest->idle) evicted.push_back(std::move(c));
        files_.erase(oldest);
      }
      files_.push_back(File{conn->Id().name, {}, 0});
      file = files_.end() - 1;
    }
    file->last_use = ++use_clock_;
    if (file->idle.size() < kMaxIdlePerFile) file->idle.push_back(std::move(conn));
  } catch (...) {
    // Out of memory while keeping it: the connection simply closes.
  }
}

void ConnectionPool::ReleaseAll() noexcept {
  std::vector<File> files;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    files.swap(files_);
  }
}

}  // namespace brivos::internal
