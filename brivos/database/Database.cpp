#include "brivos/database/Database.hpp"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "brivos/database/internal/DialectShim.hpp"
#include "brivos/database/internal/PooledConnection.hpp"
#include "brivos/database/internal/SqliteError.hpp"
#include "brivos/foundation/Error.hpp"

namespace brivos {

namespace {

using internal::ConnectionPool;
using internal::FileId;
using internal::PooledConnection;

// The units of work open on this thread, one per database file. Their
// connection is what Connection::Open hands out for that file meanwhile.
struct OpenUnit {
  FileId id;
  std::shared_ptr<PooledConnection> conn;
};
thread_local std::vector<OpenUnit> t_open_units;

void ReturnToPool(PooledConnection* conn) noexcept {
  ConnectionPool::Instance().Give(std::unique_ptr<PooledConnection>(conn));
}

PooledConnection& Live(const std::shared_ptr<PooledConnection>& conn) {
  if (!conn) internal::RaiseDatabase(errnum::kDbFailure, "The connection is closed.");
  return *conn;
}

void Unregister(const std::shared_ptr<PooledConnection>& conn) noexcept {
  std::erase_if(t_open_units, [&](const OpenUnit& u) { return u.conn == conn; });
}

[[noreturn]] void RaiseNulInFileName() {
  internal::RaiseDatabase(errnum::kDbCannotOpen,
                          "The file name holds a NUL character: no file has that name.");
}

}  // namespace

// --- connection strings ----------------------------------------------------

std::string DatabaseFileOf(const Variant& account) {
  std::string path = CStr(account);
  // The operating system would end the name at the NUL and open another file.
  if (path.find('\0') != std::string::npos) RaiseNulInFileName();
  path += ".mdb";
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

std::string BuildConnectionString(const Variant& account) {
  return "Driver={Microsoft Access Driver (*.mdb)};Dbq=" + CStr(account) + ".mdb;Uid=Admin;";
}

std::string DatabasePathOf(std::string_view connection_string) {
  // The entry is found without regard to letter case, at the start or after a ';'.
  const auto is_key_at = [&](std::size_t i) {
    constexpr std::string_view kKey = "dbq=";
    for (std::size_t k = 0; k < kKey.size(); ++k) {
      if (AsciiLower(connection_string[i + k]) != kKey[k]) return false;
    }
    return i == 0 || connection_string[i - 1] == ';';
  };
  std::size_t start = std::string_view::npos;
  for (std::size_t i = 0; i + 4 <= connection_string.size(); ++i) {
    if (is_key_at(i)) {
      start = i + 4;
      break;
    }
  }
  if (start == std::string_view::npos) return {};
  const std::string_view rest = connection_string.substr(start);
  // An Account path may hold ';' itself: the value ends with the file name's
  // own ".mdb", the last one that ends an entry.
  const std::string lowered = AsciiLowered(rest);
  std::size_t end = std::string_view::npos;
  for (std::size_t at = lowered.rfind(".mdb"); at != std::string::npos;
       at = at == 0 ? std::string::npos : lowered.rfind(".mdb", at - 1)) {
    if (at + 4 == rest.size() || rest[at + 4] == ';') {
      end = at + 4;
      break;
    }
  }
  if (end == std::string_view::npos) end = rest.find(';');
  std::string path(rest.substr(0, end));
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

std::string AccountNumberOf(const Variant& account) {
  std::string text = CStr(account);
  const std::size_t slash = text.rfind('\\');
  return slash == std::string::npos ? text : text.substr(slash + 1);
}

// --- Connection --------------------------------------------------------------

Connection Connection::Open(const Variant& account) {
  const std::string path = DatabaseFileOf(account);
  const FileId id = internal::IdentifyFile(path);
  for (const OpenUnit& unit : t_open_units) {
    if (unit.id == id) return Connection(unit.conn);
  }
  std::unique_ptr<PooledConnection> conn = ConnectionPool::Instance().Take(path, id);
  if (!conn) conn = PooledConnection::OpenExisting(path, id);
  return Connection(std::shared_ptr<PooledConnection>(conn.release(), ReturnToPool));
}

Connection::Connection(std::shared_ptr<internal::PooledConnection> c) : conn_(std::move(c)) {}
Connection::Connection(Connection&&) noexcept = default;
Connection& Connection::operator=(Connection&&) noexcept = default;
Connection::~Connection() = default;

int Connection::Execute(std::string_view sql, std::span<const Parameter> params) {
  return Live(conn_).Execute(sql, params);
}

std::shared_ptr<Recordset> Connection::Query(std::string_view sql,
                                             std::span<const Parameter> params) {
  return Live(conn_).Query(sql, params);
}

std::shared_ptr<Recordset> Connection::QueryConfined(std::string_view sql) {
  return Live(conn_).QueryConfined(sql);
}

std::int32_t Connection::LastInsertId() const { return Live(conn_).LastInsertId(); }

const std::string& Connection::Path() const {
  static const std::string kNoPath;
  return conn_ ? conn_->Path() : kNoPath;
}

// --- UnitOfWork --------------------------------------------------------------

UnitOfWork::UnitOfWork(const Variant& account) : conn_(Connection::Open(account)) {
  for (const OpenUnit& unit : t_open_units) {
    if (unit.conn == conn_.conn_) return;  // joins the unit already open on this file
  }
  conn_.conn_->Execute("BEGIN IMMEDIATE", {});
  try {
    t_open_units.push_back(OpenUnit{conn_.conn_->Id(), conn_.conn_});
  } catch (...) {
    conn_.conn_->RollbackQuietly();
    throw;
  }
  outermost_ = true;
}

void UnitOfWork::Commit() {
  if (done_) return;
  if (outermost_) {
    conn_.conn_->Execute("COMMIT", {});
    Unregister(conn_.conn_);
  }
  done_ = true;
}

UnitOfWork::~UnitOfWork() {
  if (!outermost_ || done_) return;
  conn_.conn_->RollbackQuietly();
  Unregister(conn_.conn_);
}

// --- shared routines -----------------------------------------------------------

std::shared_ptr<Recordset> OpenRecordset(const Variant& account, std::string_view sql) {
  return Guarded("BRIVOS.basGlobals", [&] {
    Connection conn = Connection::Open(account);
    return conn.Query(sql);
  });
}

std::shared_ptr<Recordset> OpenReportRecordset(const Variant& account, std::string_view sql) {
  return Guarded("BRIVOS.basGlobals", [&] {
    Connection conn = Connection::Open(account);
    return conn.QueryConfined(sql);
  });
}

namespace {

void RemoveDatabaseFiles(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    ::unlink((path + suffix).c_str());
  }
}

// Runs every statement of `script` in order.
void RunScript(sqlite3* db, std::string_view script) {
  const std::string text(script);
  const char* next = text.c_str();
  while (*next != '\0') {
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    const char* start = next;
    const int prepared = sqlite3_prepare_v2(db, start, -1, &stmt, &tail);
    if (prepared != SQLITE_OK)
      internal::RaiseSqlite(db, prepared, internal::SqlStage::kPrepare, start);
    next = tail;
    if (stmt == nullptr) continue;  // blanks or a comment
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) {
      // The message must be read before finalizing the statement.
      try {
        internal::RaiseSqlite(db, rc, internal::SqlStage::kStep);
      } catch (...) {
        sqlite3_finalize(stmt);
        throw;
      }
    }
    sqlite3_finalize(stmt);
  }
}

}  // namespace

void CreateDatabaseFile(const std::string& path, std::string_view ddl) {
  if (path.find('\0') != std::string::npos) RaiseNulInFileName();
  // O_EXCL makes the existence test and the creation one step.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    const int err = errno;
    if (err == EEXIST) {
      internal::RaiseDatabase(errnum::kDbFailure, "Database file '" + path + "' already exists.");
    }
    internal::RaiseDatabase(errnum::kDbCannotOpen, "Could not create database file '" + path +
                                                       "': " + std::strerror(err) + ".");
  }
  ::close(fd);

  sqlite3* db = nullptr;
  try {
    db = internal::OpenSqliteFile(path);
    internal::RegisterDialectFunctions(db);
    RunScript(db, "PRAGMA journal_mode=WAL");
    RunScript(db, "BEGIN");
    RunScript(db, ddl);
    RunScript(db, "COMMIT");
  } catch (...) {
    sqlite3_close_v2(db);
    RemoveDatabaseFiles(path);
    throw;
  }
  sqlite3_close_v2(db);
}

void ReleaseIdleConnections() { ConnectionPool::Instance().ReleaseAll(); }

}  // namespace brivos
