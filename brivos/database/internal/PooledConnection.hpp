#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "brivos/automation/Recordset.hpp"
#include "brivos/database/Parameter.hpp"

struct sqlite3;
struct sqlite3_stmt;

namespace brivos::internal {

// The identity of a database file. A file removed and created again under the
// same name has a new identity; an identity cannot be reused while a
// connection still holds the old file open.
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileId&) const = default;
};

// The identity of the file at `path`. Raises -2147467259 ("Could not find
// file '<path>'.") when there is no such file.
FileId IdentifyFile(const std::string& path);

// Opens the existing file `path` read-write with SQLite, taking the name as
// it is: never as a URI ("file:..."), never creating the file. Raises
// through RaiseSqlite on failure.
sqlite3* OpenSqliteFile(const std::string& path);

// One open SQLite connection with its prepared statements. Not thread-safe:
// it is used by one caller at a time (a Connection handle, or the units of
// work of one thread).
class PooledConnection {
 public:
  // Opens an existing database file: never creates one. Sets the busy
  // timeout and the synchronous mode and registers the dialect shim. A file
  // without any table (an empty file among them) raises -2147467259: it is
  // no subscriber database.
  static std::unique_ptr<PooledConnection> OpenExisting(const std::string& path, FileId id);

  PooledConnection(const PooledConnection&) = delete;
  PooledConnection& operator=(const PooledConnection&) = delete;
  ~PooledConnection();

  const std::string& Path() const { return path_; }
  FileId Id() const { return id_; }
  sqlite3* Handle() const { return db_; }

  // See Connection::Execute and Connection::Query.
  int Execute(std::string_view sql, std::span<const Parameter> params);
  std::shared_ptr<Recordset> Query(std::string_view sql, std::span<const Parameter> params);
  // See Connection::QueryConfined. The text is prepared afresh, never cached.
  std::shared_ptr<Recordset> QueryConfined(std::string_view sql);
  std::int32_t LastInsertId() const;

  // True while a transaction is open on the connection.
  bool InTransaction() const;
  // Rolls back an open transaction, ignoring failures. Never throws.
  void RollbackQuietly() noexcept;

 private:
  PooledConnection(sqlite3* db, std::string path, FileId id);

  // `sql` prepared with `flags`; nullptr for a text that holds no statement.
  sqlite3_stmt* Prepare(std::string_view sql, unsigned flags);
  // What a statement's result sets share: the field names, and how each
  // column is read back.
  struct Layout;
  struct Prepared {
    sqlite3_stmt* stmt = nullptr;
    std::shared_ptr<const Layout> layout;
  };
  // The prepared statement for `sql` with its layout, from the cache or
  // newly prepared; a null statement for a text that holds no statement.
  Prepared Statement(std::string_view sql);
  static std::shared_ptr<const Layout> LayoutOf(sqlite3_stmt* stmt);
  void Bind(sqlite3_stmt* stmt, std::span<const Parameter> params, std::string_view sql);
  // Binds and runs `stmt`; its rows, or a closed set when it has no columns.
  std::shared_ptr<Recordset> Run(const Prepared& prepared, std::span<const Parameter> params,
                                 std::string_view sql);
  // The authorizer of every statement prepared on the connection: it lets
  // everything through unless `confined_` is set.
  static int Authorize(void* self, int action, const char* name, const char* detail,
                       const char* database, const char* trigger);

  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept {
      return std::hash<std::string_view>{}(s);
    }
  };
  struct CachedStatement {
    Prepared prepared;
    std::uint64_t last_use = 0;
  };

  sqlite3* db_;
  std::string path_;
  FileId id_;
  // Statements are cached by the caller's text. Callers build texts with
  // literal values, so the cache is bounded and drops the least recently used.
  std::unordered_map<std::string, CachedStatement, TextHash, std::equal_to<>> statements_;
  std::uint64_t use_clock_ = 0;
  // Set while a caller's statement text is prepared and run.
  bool confined_ = false;
};

// Idle connections per database file, handed out again instead of opening
// the file anew: a new connection parses the schema, and the last connection
// to a WAL file closing checkpoints it. Bounded in idle connections per file
// and in files; thread-safe.
class ConnectionPool {
 public:
  static ConnectionPool& Instance();

  // An idle connection to the file `path` with identity `id`, or nullptr.
  // Idle connections to an earlier file of that name are closed.
  std::unique_ptr<PooledConnection> Take(const std::string& path, FileId id);
  // Keeps a connection the caller is done with (or closes it when the pool is
  // full). An open transaction is rolled back first. Never throws.
  void Give(std::unique_ptr<PooledConnection> conn) noexcept;
  // Closes every idle connection.
  void ReleaseAll() noexcept;

 private:
  static constexpr std::size_t kMaxIdlePerFile = 4;
  static constexpr std::size_t kMaxFiles = 32;

  struct File {
    std::string path;
    std::vector<std::unique_ptr<PooledConnection>> idle;
    std::uint64_t last_use = 0;
  };

  std::mutex mutex_;
  std::vector<File> files_;
  std::uint64_t use_clock_ = 0;
};

}  // namespace brivos::internal
