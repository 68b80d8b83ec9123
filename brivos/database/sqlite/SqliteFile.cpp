#include "brivos/database/sqlite/SqliteFile.hpp"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "brivos/database/sqlite/ClockVfs.hpp"
#include "brivos/database/sqlite/DialectShim.hpp"
#include "brivos/database/sqlite/SqliteError.hpp"
#include "brivos/foundation/Ascii.hpp"
#include "brivos/foundation/Error.hpp"

namespace brivos::internal {

namespace {

// Another process holding a file's write lock is waited for in short
// sleeps, up to the time a writer waits at most. Writers of this process
// queue at the file's WriteGate instead and seldom meet the lock taken.
int ShortSleeps(void* /*unused*/, int count) {
  if (count * kBusySleep >= kBusyWait) return 0;
  std::this_thread::sleep_for(kBusySleep);
  return 1;
}

// When a connection closes, its log stays (an evicted connection closing
// must not delete it and its index, which the next opening would build
// again) and is cut to nothing once checkpointed, so that the next opening
// does not read it whole (SQLite cuts a kept log on closing whenever a
// limit is set). While in use, a log that has been folded into the file is
// written again from its start and keeps its size, up to about two
// checkpoints' worth of pages (CheckpointIfDue): cut to nothing each time,
// every commit after would grow the file, and its disk sync would write
// the file's size as well.
constexpr const char* kLogSizePragma = "PRAGMA journal_size_limit=8388608";

// Closes a handle that is not handed on.
struct HandleCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using OwnedHandle = std::unique_ptr<sqlite3, HandleCloser>;

// True when the database has at least one table.
bool HoldsTables(sqlite3* db) {
  constexpr std::string_view kSql = "SELECT 1 FROM sqlite_master WHERE type='table' LIMIT 1";
  sqlite3_stmt* stmt = nullptr;
  CheckSqlite(db, sqlite3_prepare_v2(db, kSql.data(), -1, &stmt, nullptr), SqlStage::kPrepare);
  const int rc = sqlite3_step(stmt);
  sqlite3_finalize(stmt);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) RaiseSqlite(db, rc, SqlStage::kStep);
  return rc == SQLITE_ROW;
}

const char* SynchronousPragma() {
  const char* mode = std::getenv("BRIVOS_SYNCHRONOUS");
  if (mode != nullptr && EqualsIgnoreCase(mode, "NORMAL")) return "PRAGMA synchronous=NORMAL";
  return "PRAGMA synchronous=FULL";
}

}  // namespace

std::string CacheSizePragma(int kib) {
  return "PRAGMA cache_size=-" + std::to_string(kib);  // negative: KiB, not pages
}

DatabaseId IdentifyFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    const int err = errno;
    if (err == ENOENT || err == ENOTDIR) {
      RaiseDatabase(errnum::kDbCannotOpen, "Could not find file '" + path + "'.");
    }
    RaiseDatabase(errnum::kDbCannotOpen,
                  "Could not open file '" + path + "': " + std::strerror(err) + ".");
  }
  if (!S_ISREG(st.st_mode)) {
    RaiseDatabase(errnum::kDbCannotOpen, "'" + path + "' is not a database file.");
  }
  return DatabaseId{path, static_cast<std::uint64_t>(st.st_dev),
                    static_cast<std::uint64_t>(st.st_ino)};
}

sqlite3* OpenSqliteFile(const std::string& path) {
  // SQLite reads a name beginning with "file:" as a URI naming some other
  // file; with a directory in front, no name is one.
  const std::string name = path.starts_with('/') ? path : "./" + path;
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(name.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                                 ClockVfsName());
  OwnedHandle db(raw);
  CheckSqlite(db.get(), rc, SqlStage::kOpen, path);
  sqlite3_extended_result_codes(db.get(), 1);
  return db.release();
}

sqlite3* OpenSubscriberFile(const std::string& path) {
  // SQLite would open a file it cannot write for reading only, and create the
  // log files of a WAL database beside it to do so: every call of the library
  // may write, so such a file is refused untouched.
  if (::access(path.c_str(), W_OK) != 0) {
    RaiseDatabase(errnum::kDbCannotOpen, "The database file '" + path + "' is read-only.");
  }
  OwnedHandle db(OpenSqliteFile(path));
  CheckSqlite(db.get(), sqlite3_busy_handler(db.get(), &ShortSleeps, nullptr), SqlStage::kOpen);
  // The operating system caches the file too; a thousand connections of
  // SQLite's default 2 MiB cache would hold gigabytes.
  const std::string cache = CacheSizePragma(kCacheKiB);
  for (const char* pragma : {SynchronousPragma(), cache.c_str(), kLogSizePragma}) {
    CheckSqlite(db.get(), sqlite3_exec(db.get(), pragma, nullptr, nullptr, nullptr),
                SqlStage::kOpen);
  }
  int persist = 1;
  sqlite3_file_control(db.get(), "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
  // SQLite takes an empty file for an empty database; every statement would
  // then fail as naming an unknown table. Checked here, once per connection.
  if (!HoldsTables(db.get())) {
    RaiseDatabase(errnum::kDbCannotOpen, "Unrecognized database format '" + path + "'.");
  }
  RegisterDialectFunctions(db.get());
  return db.release();
}

void RunScript(sqlite3* db, std::string_view script) {
  const std::string text(script);
  const char* next = text.c_str();
  while (*next != '\0') {
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    const char* start = next;
    const int prepared = sqlite3_prepare_v2(db, start, -1, &stmt, &tail);
    if (prepared != SQLITE_OK) RaiseSqlite(db, prepared, SqlStage::kPrepare, start);
    next = tail;
    if (stmt == nullptr) continue;  // blanks or a comment
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) {
      // The message must be read before finalizing the statement.
      try {
        RaiseSqlite(db, rc, SqlStage::kStep);
      } catch (...) {
        sqlite3_finalize(stmt);
        throw;
      }
    }
    sqlite3_finalize(stmt);
  }
}

}  // namespace brivos::internal
