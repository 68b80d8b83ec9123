#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "brivos/automation/Recordset.hpp"
#include "brivos/database/Parameter.hpp"
#include "brivos/foundation/Variant.hpp"

namespace brivos {

namespace internal {
class PooledConnection;
}

// A connection to one subscriber database, taken from the pool of idle
// connections of that file and given back when the handle is destroyed.
// While a UnitOfWork is open on this thread for the same file, Open returns
// a handle to the unit's connection, so nested calls join its transaction.
class Connection {
 public:
  // Opens the database named by the Account path ("<Account>.mdb"). Never
  // creates a file: a missing or unreadable file raises -2147467259.
  static Connection Open(const Variant& account);

  Connection(Connection&&) noexcept;
  Connection& operator=(Connection&&) noexcept;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection();

  // Runs one statement with "?" placeholders bound in order; returns the
  // number of rows it changed.
  int Execute(std::string_view sql, std::span<const Parameter> params = {});
  int Execute(std::string_view sql, std::initializer_list<Parameter> params) {
    return Execute(sql, std::span<const Parameter>(params.begin(), params.size()));
  }
  // Runs one statement and returns its rows as a disconnected result set. A
  // statement that yields no columns returns a closed set.
  std::shared_ptr<Recordset> Query(std::string_view sql, std::span<const Parameter> params = {});
  std::shared_ptr<Recordset> Query(std::string_view sql, std::initializer_list<Parameter> params) {
    return Query(sql, std::span<const Parameter>(params.begin(), params.size()));
  }
  // Key of the last row this connection inserted.
  std::int32_t LastInsertId() const;
  // The database file this connection serves.
  const std::string& Path() const;

 private:
  explicit Connection(std::shared_ptr<internal::PooledConnection> c);
  std::shared_ptr<internal::PooledConnection> conn_;
  friend class UnitOfWork;
};

// An all-or-nothing unit of work on one database: BEGIN IMMEDIATE on
// construction, COMMIT in Commit(), ROLLBACK when destroyed uncommitted (an
// error left the scope). Units nest: an inner unit on the same file joins the
// outer one, which alone commits.
class UnitOfWork {
 public:
  explicit UnitOfWork(const Variant& account);
  UnitOfWork(const UnitOfWork&) = delete;
  UnitOfWork& operator=(const UnitOfWork&) = delete;
  ~UnitOfWork();

  void Commit();
  Connection& Db() { return conn_; }

 private:
  Connection conn_;
  bool outermost_ = false;
  bool done_ = false;
};

// "Driver={Microsoft Access Driver (*.mdb)};Dbq=<Account>.mdb;Uid=Admin;"
std::string BuildConnectionString(const Variant& account);
// The file a connection string names (the text of its Dbq= entry), with
// backslashes read as directory separators.
std::string DatabasePathOf(std::string_view connection_string);
// The account number of an Account path: the text after its last backslash.
std::string AccountNumberOf(const Variant& account);

// Runs one statement against the subscriber database and returns the
// disconnected result set (closed for statements that return no rows).
// Follows the error convention.
std::shared_ptr<Recordset> OpenRecordset(const Variant& account, std::string_view sql);

// Creates a new, empty database file in WAL mode and runs `ddl` on it in one
// transaction. Raises -2147467259 when the file exists already.
void CreateDatabaseFile(const std::string& path, std::string_view ddl);

// Drops every idle pooled connection (tests and tools that replace files).
void ReleaseIdleConnections();

}  // namespace brivos
