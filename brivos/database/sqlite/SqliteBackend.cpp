#include "brivos/database/sqlite/SqliteBackend.hpp"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "brivos/database/Database.hpp"
#include "brivos/database/sqlite/ConnectionPool.hpp"
#include "brivos/database/sqlite/DialectShim.hpp"
#include "brivos/database/sqlite/FileIdentities.hpp"
#include "brivos/database/sqlite/SqliteError.hpp"
#include "brivos/database/sqlite/SqliteFile.hpp"
#include "brivos/foundation/Error.hpp"

namespace brivos::internal {

namespace {

void ReturnToPool(SqliteSession* session) noexcept {
  ConnectionPool::Instance().Give(std::unique_ptr<SqliteSession>(session));
}

void RemoveDatabaseFiles(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    ::unlink((path + suffix).c_str());
  }
}

// Creates the file `path`, which must not exist: O_EXCL makes the existence
// test and the creation one step.
void CreateEmptyFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    const int err = errno;
    if (err == EEXIST) {
      RaiseDatabase(errnum::kDbFailure, "Database file '" + path + "' already exists.");
    }
    RaiseDatabase(errnum::kDbCannotOpen,
                  "Could not create database file '" + path + "': " + std::strerror(err) + ".");
  }
  ::close(fd);
}

// The local time of the insert as a day serial to the whole second, from
// SQLite's own functions so that any SQLite client can insert rows. The
// library's connections read 'now' from the library's clock.
constexpr const char* kNowDefault =
    " DEFAULT (round((julianday('now','localtime') - 2415018.5) * 86400) / 86400.0)";

}  // namespace

DatabaseId SqliteBackend::Locate(const Variant& account) {
  return IdentifyWatched(DatabaseFileOf(account));
}

std::shared_ptr<Session> SqliteBackend::ConnectTo(const Variant& account) {
  // Most calls of a thread name the firm its previous call named: the file
  // name made from that Account is kept.
  thread_local std::string t_account;
  thread_local std::string t_path;
  thread_local bool t_named = false;
  if (account.Type() == VarType::String) {
    const std::string& text = account.AsString();
    if (!t_named || text != t_account) {
      t_named = false;
      t_path = DatabaseFileOf(account);
      t_account = text;
      t_named = true;
    }
  } else {
    t_named = false;
    t_path = DatabaseFileOf(account);
  }
  return Connect(IdentifyWatchedHere(t_path));
}

std::shared_ptr<Session> SqliteBackend::Connect(const DatabaseId& id) {
  std::unique_ptr<SqliteSession> session = ConnectionPool::Instance().Take(id);
  return std::shared_ptr<SqliteSession>(session.release(), ReturnToPool);
}

void SqliteBackend::CreateDatabase(const Variant& account, std::string_view ddl,
                                   const std::function<void(Session&)>& fill) {
  const std::string path = DatabaseFileOf(account);
  CreateEmptyFile(path);
  try {
    {
      sqlite3* db = OpenSqliteFile(path);
      struct Closer {
        sqlite3* db;
        ~Closer() { sqlite3_close_v2(db); }
      } closer{db};
      RegisterDialectFunctions(db);
      RunScript(db, "PRAGMA journal_mode=WAL");
      RunScript(db, "BEGIN");
      RunScript(db, ddl);
      RunScript(db, "COMMIT");
    }
    if (!fill) return;
    // The rows go in through a session of the library's own, in one
    // transaction: a refused row leaves no file behind.
    SqliteSession session(IdentifyFile(path));
    session.Begin();
    fill(session);
    session.Commit();
  } catch (...) {
    RemoveDatabaseFiles(path);
    throw;
  }
}

std::string SqliteBackend::ColumnDeclaration(std::string_view quoted_name, ColumnType type,
                                             int width, bool default_now) const {
  const std::string name(quoted_name);
  const std::string w = std::to_string(width);
  switch (type) {
    case ColumnType::Key:
      return name + " INTEGER PRIMARY KEY AUTOINCREMENT";
    case ColumnType::Long:
      return name + " INTEGER";
    case ColumnType::Double:
      return name + " DOUBLE";
    case ColumnType::Currency:
      return name + " CURRENCY";
    case ColumnType::Boolean:
      return name + " BOOLEAN";
    case ColumnType::Date:
      return name + " DATETIME" + (default_now ? kNowDefault : "");
    case ColumnType::Text:
      return name + " VARCHAR(" + w + ") COLLATE NOCASE CHECK(length(" + name + ") <= " + w + ")";
    case ColumnType::Memo:
      return name + " MEMO COLLATE NOCASE CHECK(length(" + name + ") <= " + w + ")";
  }
  return name;
}

void SqliteBackend::ReleaseIdle() noexcept { ConnectionPool::Instance().ReleaseAll(); }

PoolStatistics SqliteBackend::Statistics() const { return ConnectionPool::Instance().Statistics(); }

std::size_t SqliteBackend::DescriptorsAtMost() const {
  return ConnectionPool::Instance().DescriptorsAtMost();
}

}  // namespace brivos::internal
