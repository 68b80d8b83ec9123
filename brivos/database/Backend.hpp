#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "brivos/automation/Recordset.hpp"
#include "brivos/database/ColumnType.hpp"
#include "brivos/database/Parameter.hpp"
#include "brivos/database/PoolStatistics.hpp"
#include "brivos/database/ReportCeilings.hpp"
#include "brivos/foundation/Variant.hpp"

// The seam between the library and a database server or file format. The
// records and managers speak to Connection and UnitOfWork (Database.hpp),
// which speak to the active Backend; a backend lives in a folder of its own
// under database/, and nothing above this folder names one.

namespace brivos {

// Where the database an Account names is: units of work on one thread are
// joined by it. A database removed and created again under the same name is
// another database.
struct DatabaseId {
  std::string name;
  std::uint64_t device = 0;
  std::uint64_t serial = 0;
  bool operator==(const DatabaseId&) const = default;
};

// One open connection of a backend to one subscriber database. Used by one
// caller at a time; statement texts use "?" placeholders bound in order.
class Session {
 public:
  virtual ~Session() = default;

  // The database the session is open on.
  virtual const DatabaseId& Id() const = 0;

  // Runs one statement; returns the number of rows it changed.
  virtual int Execute(std::string_view sql, std::span<const Parameter> params) = 0;
  // Runs one statement and returns its rows as a disconnected result set; a
  // closed set for a statement that yields no columns.
  virtual std::shared_ptr<Recordset> Query(std::string_view sql,
                                           std::span<const Parameter> params) = 0;
  // See Connection::QueryConfined; interrupted after `budget`, stopped past
  // `ceilings`.
  virtual std::shared_ptr<Recordset> QueryConfined(std::string_view sql,
                                                   std::chrono::milliseconds budget,
                                                   const ReportCeilings& ceilings) = 0;
  // Runs an INSERT of one row and returns the key the database gave it in
  // `key_column`.
  virtual std::int32_t Insert(std::string_view sql, std::span<const Parameter> params,
                              std::string_view key_column) = 0;

  // Opens a transaction that holds the database's write lock from its start,
  // so that a read inside it sees what no concurrent writer can change.
  virtual void Begin() = 0;
  // Commits; upkeep a commit may call for (folding a log into the
  // database) runs after the write lock is let go.
  virtual void Commit() = 0;
  // True when another writer of this process waits for the write lock the
  // session holds; a database that cannot tell says true.
  virtual bool WritersWaiting() const { return true; }
  // A long run of writes begins (true) or ends (false): a backend may keep
  // more of the database in memory meanwhile.
  virtual void ExpectLongWork(bool /*long_work*/) {}
  // Opens a read transaction for the reads that follow (ReadTogether); a
  // backend whose reads gain nothing from one does nothing.
  virtual void BeginRead() {}
  // Ends what BeginRead opened. Never throws.
  virtual void EndRead() noexcept {}
  // Rolls back an open transaction, ignoring failures. Never throws.
  virtual void RollbackQuietly() noexcept = 0;
  // Called from another thread while the session's caller waits on a
  // statement: stops that statement, which raises in its caller; the session
  // stays usable. Does nothing when no statement runs. Never throws.
  virtual void Interrupt() noexcept {}
};

class Backend {
 public:
  virtual ~Backend() = default;

  // The database `account` names. Raises -2147467259 when there is none.
  virtual DatabaseId Locate(const Variant& account) = 0;
  // The database `account` names, or nothing when there is none; raises
  // only when the backend cannot tell (its server went away).
  virtual std::optional<DatabaseId> Find(const Variant& account);
  // True when an Account names a file (DatabaseFileOf) of this machine.
  virtual bool NamesFiles() const { return false; }
  // A session on that database, idle from an earlier caller or newly opened;
  // it goes back to the backend's pool when the last handle lets it go.
  virtual std::shared_ptr<Session> Connect(const DatabaseId& id) = 0;
  // Connect(Locate(account)): a backend may find the session without
  // building the database's identity again on every call.
  virtual std::shared_ptr<Session> ConnectTo(const Variant& account) {
    return Connect(Locate(account));
  }
  // Creates the database `account` names with the schema `ddl` (statements
  // separated by ';'), then calls `fill` (when given) on a session, in one
  // transaction. Nothing is left behind when either fails. Raises
  // -2147467259 when the database exists already.
  virtual void CreateDatabase(const Variant& account, std::string_view ddl,
                              const std::function<void(Session&)>& fill) = 0;
  // The declaration of column `quoted_name` in CREATE TABLE; `default_now`
  // stamps new rows with the local time of the insert.
  virtual std::string ColumnDeclaration(std::string_view quoted_name, ColumnType type, int width,
                                        bool default_now) const = 0;
  // Closes every idle pooled session.
  virtual void ReleaseIdle() noexcept = 0;
  // What the backend's pool holds now; zeros for a backend without one.
  virtual PoolStatistics Statistics() const { return {}; }
  // File descriptors the backend's sessions may hold at once, idle and in
  // use (database files, sockets to a server).
  virtual std::size_t DescriptorsAtMost() const { return 0; }
};

// The backend every Connection uses: the one a BackendScope of this thread
// names, else the process's default (DefaultBackend).
Backend& ActiveBackend();

// The process's default backend: PostgreSQL when BRIVOS_DATABASE_URL holds a
// connection URI, SQLite files otherwise; chosen on first use.
Backend& DefaultBackend();

// The backend of a connection URI: "" for SQLite files, postgresql://... for
// that database. One object per URI for the life of the process. Raises
// -2147467259 for any other text, or PostgreSQL in a build without libpq.
Backend& BackendFor(std::string_view url);

// While one is in scope, the calls of this thread run on `backend` (a
// program that copies one backend's firm into another's holds both).
class BackendScope {
 public:
  explicit BackendScope(Backend& backend) noexcept;
  ~BackendScope();
  BackendScope(const BackendScope&) = delete;
  BackendScope& operator=(const BackendScope&) = delete;

 private:
  Backend* previous_;
};

}  // namespace brivos
