#include "brivos/database/sqlite/FileIdentities.hpp"

#include <pthread.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "brivos/database/sqlite/SqliteFile.hpp"

namespace brivos::internal {

namespace {

// A directory's entries appearing, going or moving, and the directory itself
// going or moving.
constexpr std::uint32_t kDirectoryEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                           IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// Filesystems whose every change passes through this machine's kernel, which
// is what reports it: local disks and memory.
bool ChangesAreReported(const char* directory) {
  struct statfs fs {};
  if (::statfs(directory, &fs) != 0) return false;
  constexpr std::array<std::uint64_t, 8> kLocal = {
      0xEF53,      // ext2, ext3, ext4
      0x58465342,  // xfs
      0x9123683E,  // btrfs
      0x01021994,  // tmpfs
      0x858458F6,  // ramfs
      0x794C7630,  // overlay
      0xF2F52010,  // f2fs
      0x2FC12FC1,  // zfs
  };
  const auto type = static_cast<std::uint64_t>(fs.f_type);
  return std::find(kLocal.begin(), kLocal.end(), type) != kLocal.end();
}

struct Counts {
  std::atomic<unsigned long long> looked{0};
};
Counts& TheCounts() {
  static Counts counts;
  return counts;
}

// The answer of the latest look of this thread.
thread_local DatabaseId t_looked;

const DatabaseId& Look(const std::string& path) {
  TheCounts().looked.fetch_add(1, std::memory_order_relaxed);
  t_looked = IdentifyFile(path);
  return t_looked;
}

class Watch {
 public:
  static Watch& Instance() {
    static Watch* const watch = new Watch();  // never destroyed: threads may call at exit
    return *watch;
  }

  const DatabaseId& Identify(const std::string& path) {
    if (fd_ < 0 || disabled_.load(std::memory_order_relaxed) || !path.starts_with('/')) {
      return Look(path);
    }
    int pending = 0;
    if (::ioctl(fd_, FIONREAD, &pending) != 0 || pending > 0) Drain();
    const std::uint64_t epoch = epoch_.load(std::memory_order_acquire);
    for (const Recent& r : t_recent) {
      if (r.epoch == epoch && r.path == path) return r.id;
    }
    return Slow(path);
  }

  // After fork the child shares the parent's queue, whose events either may
  // read first: the child looks at its files on every call instead.
  void StopInChild() noexcept {
    disabled_.store(true);
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  Watch() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    pthread_atfork(nullptr, nullptr, [] { Instance().StopInChild(); });
  }

  // Answers this thread found lately, each valid while no change was read
  // since (the epoch it was found at is still the epoch).
  struct Recent {
    std::string path;
    DatabaseId id;
    std::uint64_t epoch = 1;  // odd: never valid
  };
  static constexpr std::size_t kRecent = 8;
  static thread_local std::vector<Recent> t_recent;
  static thread_local std::size_t t_next_recent;

  const DatabaseId& Remember(const std::string& path, const DatabaseId& id, std::uint64_t epoch) {
    if (t_recent.size() < kRecent) return t_recent.emplace_back(Recent{path, id, epoch}).id;
    Recent& slot = t_recent[t_next_recent++ % kRecent];
    slot = Recent{path, id, epoch};
    return slot.id;
  }

  const DatabaseId& Slow(const std::string& path) {
    std::unique_lock lock(mutex_);
    if (auto kept = kept_.find(path); kept != kept_.end()) {
      return Remember(path, kept->second, epoch_.load(std::memory_order_relaxed));
    }
    if (unwatchable_.contains(path) || !WatchWayTo(path)) {
      if (unwatchable_.size() >= kMostUnwatchable) unwatchable_.clear();
      unwatchable_.insert(path);
      lock.unlock();
      return Look(path);
    }
    // The watches are in place before the file is looked at: a change after
    // this look is in the queue.
    const DatabaseId& id = kept_.emplace(path, Look(path)).first->second;
    return Remember(path, id, epoch_.load(std::memory_order_relaxed));
  }

  // Watches each directory from the root down to the file's for the name
  // that leads on. False when the way cannot be watched.
  bool WatchWayTo(const std::string& path) {
    std::string directory = "/";
    std::size_t at = 1;
    while (at < path.size()) {
      std::size_t end = path.find('/', at);
      const bool last = end == std::string::npos;
      if (last) end = path.size();
      const std::string name = path.substr(at, end - at);
      at = end + 1;
      if (name.empty()) continue;
      if (name == "." || name == "..") return false;
      const int wd = ::inotify_add_watch(fd_, directory.c_str(), kDirectoryEvents);
      if (wd < 0) return false;
      auto [local, first] = local_.try_emplace(wd, false);
      if (first) local->second = ChangesAreReported(directory.c_str());
      if (!local->second) return false;
      std::vector<std::string>& through = leads_[{wd, name}];
      if (std::find(through.begin(), through.end(), path) == through.end()) {
        through.push_back(path);
      }
      if (directory.back() != '/') directory += '/';
      directory += name;
      // A symbolic link's target is another way, not watched.
      struct stat st {};
      if (::lstat(directory.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return false;
      if (last) break;
    }
    return true;
  }

  // Reads every change queued and forgets the answers it touches.
  void Drain() {
    std::lock_guard lock(mutex_);
    epoch_.fetch_add(1, std::memory_order_acq_rel);  // odd meanwhile
    alignas(inotify_event) char buffer[8192];
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 0) break;
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        Apply(*event);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    epoch_.fetch_add(1, std::memory_order_acq_rel);
  }

  void Apply(const inotify_event& event) {
    if ((event.mask & (IN_Q_OVERFLOW | IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) != 0) {
      // Changes were lost, or a watched directory went: start again.
      kept_.clear();
      leads_.clear();
      if ((event.mask & IN_IGNORED) != 0) local_.erase(event.wd);
      return;
    }
    if (event.len == 0) return;
    const auto lead = leads_.find({event.wd, std::string(event.name)});
    if (lead == leads_.end()) return;
    for (const std::string& path : lead->second) kept_.erase(path);
    leads_.erase(lead);
  }

  static constexpr std::size_t kMostUnwatchable = 4096;

  int fd_;
  std::atomic<bool> disabled_{false};
  std::mutex mutex_;
  // Even while no change is being read; each read of changes adds two.
  std::atomic<std::uint64_t> epoch_{0};
  std::unordered_map<std::string, DatabaseId> kept_;
  // The paths whose way passes through each watched directory's entry.
  std::map<std::pair<int, std::string>, std::vector<std::string>> leads_;
  std::unordered_map<int, bool> local_;
  std::unordered_set<std::string> unwatchable_;
};

thread_local std::vector<Watch::Recent> Watch::t_recent;
thread_local std::size_t Watch::t_next_recent = 0;

}  // namespace

DatabaseId IdentifyWatched(const std::string& path) { return Watch::Instance().Identify(path); }

const DatabaseId& IdentifyWatchedHere(const std::string& path) {
  return Watch::Instance().Identify(path);
}

unsigned long long FileLookups() { return TheCounts().looked.load(std::memory_order_relaxed); }

}  // namespace brivos::internal
