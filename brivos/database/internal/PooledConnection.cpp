#include "brivos/database/internal/PooledConnection.hpp"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "brivos/database/internal/ClockVfs.hpp"
#include "brivos/database/internal/DialectShim.hpp"
#include "brivos/database/internal/SqliteError.hpp"
#include "brivos/database/internal/StatementLog.hpp"
#include "brivos/foundation/Error.hpp"
#include "brivos/foundation/Variant.hpp"

namespace brivos::internal {

namespace {

constexpr int kBusyTimeoutMs = 10000;
constexpr std::size_t kMaxCachedStatements = 64;

// Closes a handle that never became a PooledConnection.
struct HandleCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using OwnedHandle = std::unique_ptr<sqlite3, HandleCloser>;

// Resets a statement and clears its bindings when its use ends, however it ends.
class StatementUse {
 public:
  explicit StatementUse(sqlite3_stmt* stmt) : stmt_(stmt) {}
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;
  ~StatementUse() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }

 private:
  sqlite3_stmt* stmt_;
};

// How a column's value is read back, decided by its declared type.
enum class ColumnKind { kUntyped, kLong, kDouble, kCurrency, kBoolean, kDate, kText };

ColumnKind KindOfDeclaredType(const char* decl) {
  if (decl == nullptr) return ColumnKind::kUntyped;
  struct Prefix {
    std::string_view text;
    ColumnKind kind;
  };
  static constexpr Prefix kPrefixes[] = {
      {"INT", ColumnKind::kLong},          {"DOUBLE", ColumnKind::kDouble},
      {"REAL", ColumnKind::kDouble},       {"FLOAT", ColumnKind::kDouble},
      {"CURRENCY", ColumnKind::kCurrency}, {"BOOLEAN", ColumnKind::kBoolean},
      {"DATETIME", ColumnKind::kDate},     {"DATE", ColumnKind::kDate},
      {"VARCHAR", ColumnKind::kText},      {"MEMO", ColumnKind::kText},
      {"TEXT", ColumnKind::kText},         {"CHAR", ColumnKind::kText},
  };
  for (const Prefix& p : kPrefixes) {
    if (StartsWithIgnoreCase(decl, p.text)) return p.kind;
  }
  return ColumnKind::kUntyped;
}

Variant IntegerValue(sqlite3_int64 i) {
  if (i >= INT32_MIN && i <= INT32_MAX) return Variant(static_cast<std::int32_t>(i));
  return Variant(static_cast<double>(i));
}

Variant TextValue(sqlite3_stmt* stmt, int col) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, col));
  const int n = sqlite3_column_bytes(stmt, col);
  return Variant(std::string(p == nullptr ? "" : p, static_cast<std::size_t>(n)));
}

Variant ReadColumn(sqlite3_stmt* stmt, int col, ColumnKind kind) {
  const int storage = sqlite3_column_type(stmt, col);
  if (storage == SQLITE_NULL) return Variant::Null();
  const bool numeric = storage == SQLITE_INTEGER || storage == SQLITE_FLOAT;
  switch (kind) {
    case ColumnKind::kLong:
      if (storage == SQLITE_INTEGER) return IntegerValue(sqlite3_column_int64(stmt, col));
      if (storage == SQLITE_FLOAT) return Variant(sqlite3_column_double(stmt, col));
      break;
    case ColumnKind::kDouble:
      if (numeric) return Variant(sqlite3_column_double(stmt, col));
      break;
    case ColumnKind::kCurrency:
      if (numeric) return Variant(Currency::FromDouble(sqlite3_column_double(stmt, col)));
      break;
    case ColumnKind::kBoolean:
      if (numeric) return Variant(sqlite3_column_double(stmt, col) != 0.0);
      break;
    case ColumnKind::kDate:
      if (numeric) return Variant(Date::FromSerial(sqlite3_column_double(stmt, col)));
      if (storage == SQLITE_TEXT) {
        Date d;
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, col));
        if (p != nullptr && Date::TryParse(p, d)) return Variant(d);
      }
      break;
    case ColumnKind::kText:
      return TextValue(stmt, col);
    case ColumnKind::kUntyped:
      if (storage == SQLITE_INTEGER) return IntegerValue(sqlite3_column_int64(stmt, col));
      if (storage == SQLITE_FLOAT) return Variant(sqlite3_column_double(stmt, col));
      break;
  }
  return TextValue(stmt, col);
}

// True when only blanks, semicolons and comments follow the first statement.
bool OnlyBlanksFollow(const char* tail) {
  const char* p = tail;
  while (*p != '\0') {
    if (*p == ';' || *p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == '\f') {
      ++p;
    } else if (p[0] == '-' && p[1] == '-') {
      while (*p != '\0' && *p != '\n') ++p;
    } else if (p[0] == '/' && p[1] == '*') {
      const char* close = std::strstr(p + 2, "*/");
      if (close == nullptr) return true;
      p = close + 2;
    } else {
      return false;
    }
  }
  return true;
}

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

// The pragmas that only describe the database, whatever their argument: the
// ones SQLite also offers as table-valued functions (pragma_table_info).
bool IsDescriptivePragma(const char* name) {
  static constexpr std::string_view kNames[] = {
      "table_info",  "table_xinfo",   "table_list",       "index_info",     "index_xinfo",
      "index_list",  "database_list", "foreign_key_list", "collation_list", "function_list",
      "module_list", "pragma_list",   "compile_options",
  };
  if (name == nullptr) return false;
  for (std::string_view known : kNames) {
    if (EqualsIgnoreCase(name, known)) return true;
  }
  return false;
}

// What a caller's statement text may do: read and write the tables, views,
// indexes and triggers of the database itself ("main"), call functions and
// read the descriptive pragmas. Everything else is refused, so the text can
// neither reach another file (ATTACH, DETACH, VACUUM, which attaches its
// target) nor change the connection for later callers (other pragmas,
// temporary objects, virtual tables, transactions and savepoints), and an
// action SQLite adds later is refused until it is listed here.
int AuthorizeCallerText(int action, const char* name, const char* database) {
  const bool own_database = database == nullptr || std::strcmp(database, "main") == 0;
  switch (action) {
    case SQLITE_SELECT:
    case SQLITE_READ:
    case SQLITE_FUNCTION:
    case SQLITE_RECURSIVE:
    case SQLITE_INSERT:
    case SQLITE_UPDATE:
    case SQLITE_DELETE:
    case SQLITE_CREATE_TABLE:
    case SQLITE_CREATE_INDEX:
    case SQLITE_CREATE_VIEW:
    case SQLITE_CREATE_TRIGGER:
    case SQLITE_DROP_TABLE:
    case SQLITE_DROP_INDEX:
    case SQLITE_DROP_VIEW:
    case SQLITE_DROP_TRIGGER:
    case SQLITE_ALTER_TABLE:
    case SQLITE_REINDEX:
    case SQLITE_ANALYZE:
      return own_database ? SQLITE_OK : SQLITE_DENY;
    case SQLITE_PRAGMA:
      return IsDescriptivePragma(name) ? SQLITE_OK : SQLITE_DENY;
    default:
      return SQLITE_DENY;
  }
}

// Finalizes a statement that is not kept in the cache.
struct StatementFinalizer {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};

const char* SynchronousPragma() {
  const char* mode = std::getenv("BRIVOS_SYNCHRONOUS");
  if (mode != nullptr && EqualsIgnoreCase(mode, "NORMAL")) return "PRAGMA synchronous=NORMAL";
  return "PRAGMA synchronous=FULL";
}

}  // namespace

FileId IdentifyFile(const std::string& path) {
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
  return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

// ---------------------------------------------------------------------------

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

PooledConnection::PooledConnection(sqlite3* db, std::string path, FileId id)
    : db_(db), path_(std::move(path)), id_(id) {
  sqlite3_set_authorizer(db_, &PooledConnection::Authorize, this);
}

std::unique_ptr<PooledConnection> PooledConnection::OpenExisting(const std::string& path,
                                                                 FileId id) {
  // SQLite would open a file it cannot write for reading only, and create the
  // log files of a WAL database beside it to do so: every call of the library
  // may write, so such a file is refused untouched.
  if (::access(path.c_str(), W_OK) != 0) {
    RaiseDatabase(errnum::kDbCannotOpen, "The database file '" + path + "' is read-only.");
  }
  OwnedHandle db(OpenSqliteFile(path));
  CheckSqlite(db.get(), sqlite3_busy_timeout(db.get(), kBusyTimeoutMs), SqlStage::kOpen);
  CheckSqlite(db.get(), sqlite3_exec(db.get(), SynchronousPragma(), nullptr, nullptr, nullptr),
              SqlStage::kOpen);
  // SQLite takes an empty file for an empty database; every statement would
  // then fail as naming an unknown table. Checked here, once per connection.
  if (!HoldsTables(db.get())) {
    RaiseDatabase(errnum::kDbCannotOpen, "Unrecognized database format '" + path + "'.");
  }
  RegisterDialectFunctions(db.get());
  return std::unique_ptr<PooledConnection>(new PooledConnection(db.release(), path, id));
}

PooledConnection::~PooledConnection() {
  for (auto& [text, cached] : statements_) sqlite3_finalize(cached.prepared.stmt);
  sqlite3_close_v2(db_);
}

int PooledConnection::Authorize(void* self, int action, const char* name, const char* /*detail*/,
                                const char* database, const char* /*trigger*/) {
  if (!static_cast<const PooledConnection*>(self)->confined_) return SQLITE_OK;
  return AuthorizeCallerText(action, name, database);
}

sqlite3_stmt* PooledConnection::Prepare(std::string_view sql, unsigned flags) {
  const std::string text = RewriteDialect(sql);
  sqlite3_stmt* stmt = nullptr;
  const char* tail = nullptr;
  const int rc =
      sqlite3_prepare_v3(db_, text.c_str(), static_cast<int>(text.size() + 1), flags, &stmt, &tail);
  CheckSqlite(db_, rc, SqlStage::kPrepare, sql);
  if (tail != nullptr && !OnlyBlanksFollow(tail)) {
    sqlite3_finalize(stmt);
    RaiseDatabase(errnum::kDbStatementRejected,
                  "Characters found after end of SQL statement: " + std::string(sql));
  }
  return stmt;
}

struct PooledConnection::Layout {
  std::shared_ptr<const std::vector<std::string>> names;
  std::vector<ColumnKind> kinds;
};

std::shared_ptr<const PooledConnection::Layout> PooledConnection::LayoutOf(sqlite3_stmt* stmt) {
  const int columns = stmt == nullptr ? 0 : sqlite3_column_count(stmt);
  auto names = std::make_shared<std::vector<std::string>>();
  auto layout = std::make_shared<Layout>();
  names->reserve(static_cast<std::size_t>(columns));
  layout->kinds.reserve(static_cast<std::size_t>(columns));
  for (int c = 0; c < columns; ++c) {
    const char* name = sqlite3_column_name(stmt, c);
    names->emplace_back(name == nullptr ? "" : name);
    layout->kinds.push_back(KindOfDeclaredType(sqlite3_column_decltype(stmt, c)));
  }
  layout->names = std::move(names);
  return layout;
}

PooledConnection::Prepared PooledConnection::Statement(std::string_view sql) {
  NoteStatement(sql);
  const std::uint64_t now = ++use_clock_;
  if (auto it = statements_.find(sql); it != statements_.end()) {
    it->second.last_use = now;
    return it->second.prepared;
  }
  Prepared prepared;
  prepared.stmt = Prepare(sql, SQLITE_PREPARE_PERSISTENT);
  try {
    prepared.layout = LayoutOf(prepared.stmt);
  } catch (...) {
    sqlite3_finalize(prepared.stmt);
    throw;
  }
  if (statements_.size() >= kMaxCachedStatements) {
    auto oldest = std::min_element(
        statements_.begin(), statements_.end(),
        [](const auto& a, const auto& b) { return a.second.last_use < b.second.last_use; });
    sqlite3_finalize(oldest->second.prepared.stmt);
    statements_.erase(oldest);
  }
  statements_.emplace(std::string(sql), CachedStatement{prepared, now});
  return prepared;
}

void PooledConnection::Bind(sqlite3_stmt* stmt, std::span<const Parameter> params,
                            std::string_view sql) {
  for (std::size_t i = 0; i < params.size(); ++i) {
    const Parameter& p = params[i];
    const Variant& v = p.value;
    const int index = static_cast<int>(i + 1);
    int rc = SQLITE_OK;
    if (v.IsNull() || v.IsEmpty()) {
      rc = sqlite3_bind_null(stmt, index);
    } else {
      switch (p.kind) {
        case Parameter::Kind::Long:
          rc = sqlite3_bind_int64(stmt, index, CLng(v));
          break;
        case Parameter::Kind::Double:
          rc = sqlite3_bind_double(stmt, index, CDbl(v));
          break;
        case Parameter::Kind::Currency: {
          // Stored as a real and read back through Currency::FromDouble: a
          // value whose real form reads back as another value (possible
          // beyond about 225 billion) is refused before anything is written.
          const Currency value = CCur(v);
          if (Currency::FromDouble(value.ToDouble()) != value) RaiseRuntime(errnum::kOverflow);
          rc = sqlite3_bind_double(stmt, index, value.ToDouble());
          break;
        }
        case Parameter::Kind::Boolean:
          rc = sqlite3_bind_int(stmt, index, CBool(v) ? 1 : 0);
          break;
        case Parameter::Kind::Date:
          rc = sqlite3_bind_double(stmt, index, CDate(v).Serial());
          break;
        case Parameter::Kind::Text:
        case Parameter::Kind::Memo:
          if (v.Type() == VarType::String) {
            // The parameters outlive the statement's use: no copy needed.
            const std::string& s = v.AsString();
            rc = sqlite3_bind_text64(stmt, index, s.data(), s.size(), SQLITE_STATIC, SQLITE_UTF8);
          } else {
            const std::string s = CStr(v);
            rc =
                sqlite3_bind_text64(stmt, index, s.data(), s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
          }
          break;
      }
    }
    CheckSqlite(db_, rc, SqlStage::kBind, sql);
  }
}

int PooledConnection::Execute(std::string_view sql, std::span<const Parameter> params) {
  sqlite3_stmt* stmt = Statement(sql).stmt;
  if (stmt == nullptr) return 0;
  StatementUse use(stmt);
  Bind(stmt, params, sql);
  const sqlite3_int64 before = sqlite3_total_changes64(db_);
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
  }
  CheckSqlite(db_, rc, SqlStage::kStep, sql);
  // sqlite3_changes keeps the count of an earlier statement when this one
  // changed nothing (DDL, SELECT, transaction control).
  return sqlite3_total_changes64(db_) == before ? 0 : sqlite3_changes(db_);
}

std::shared_ptr<Recordset> PooledConnection::Query(std::string_view sql,
                                                   std::span<const Parameter> params) {
  return Run(Statement(sql), params, sql);
}

std::shared_ptr<Recordset> PooledConnection::QueryConfined(std::string_view sql) {
  // Confined while prepared and while run: SQLite prepares statements of its
  // own while running some (VACUUM, table-valued pragmas), and prepares the
  // text again when the schema changed meanwhile.
  struct Confinement {
    bool& flag;
    explicit Confinement(bool& f) : flag(f) { flag = true; }
    ~Confinement() { flag = false; }
  } confinement(confined_);
  NoteStatement(sql);
  std::unique_ptr<sqlite3_stmt, StatementFinalizer> stmt(Prepare(sql, 0));
  return Run(Prepared{stmt.get(), LayoutOf(stmt.get())}, {}, sql);
}

std::shared_ptr<Recordset> PooledConnection::Run(const Prepared& prepared,
                                                 std::span<const Parameter> params,
                                                 std::string_view sql) {
  sqlite3_stmt* stmt = prepared.stmt;
  const int columns = stmt == nullptr ? 0 : sqlite3_column_count(stmt);
  if (columns == 0) {
    if (stmt != nullptr) {
      StatementUse use(stmt);
      Bind(stmt, params, sql);
      int rc;
      while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      }
      CheckSqlite(db_, rc, SqlStage::kStep, sql);
    }
    auto closed = std::make_shared<Recordset>();
    closed->SetClosed(true);
    return closed;
  }
  StatementUse use(stmt);
  Bind(stmt, params, sql);

  // SQLite prepares a statement again when the schema changed; its columns
  // may have changed with it.
  std::shared_ptr<const Layout> layout = prepared.layout;
  if (!layout || layout->kinds.size() != static_cast<std::size_t>(columns)) {
    layout = LayoutOf(stmt);
  }
  const std::vector<ColumnKind>& kinds = layout->kinds;
  auto rs = std::make_shared<Recordset>(layout->names);

  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    std::vector<Variant> row;
    row.reserve(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) {
      row.push_back(ReadColumn(stmt, c, kinds[static_cast<std::size_t>(c)]));
    }
    rs->AddRow(std::move(row));
  }
  CheckSqlite(db_, rc, SqlStage::kStep, sql);
  if (rs->RecordCount() > 0) rs->MoveFirst();
  return rs;
}

std::int32_t PooledConnection::LastInsertId() const {
  return static_cast<std::int32_t>(sqlite3_last_insert_rowid(db_));
}

bool PooledConnection::InTransaction() const { return sqlite3_get_autocommit(db_) == 0; }

void PooledConnection::RollbackQuietly() noexcept {
  if (InTransaction()) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

// ---------------------------------------------------------------------------

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

std::unique_ptr<PooledConnection> ConnectionPool::Take(const std::string& path, FileId id) {
  std::vector<std::unique_ptr<PooledConnection>> stale;
  std::unique_ptr<PooledConnection> found;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto file =
        std::find_if(files_.begin(), files_.end(), [&](const File& f) { return f.path == path; });
    if (file == files_.end()) return nullptr;
    file->last_use = ++use_clock_;
    while (!file->idle.empty() && !found) {
      std::unique_ptr<PooledConnection> c = std::move(file->idle.back());
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

void ConnectionPool::Give(std::unique_ptr<PooledConnection> conn) noexcept {
  if (!conn) return;
  conn->RollbackQuietly();
  if (conn->InTransaction()) return;  // cannot be trusted to a later caller: close it
  std::vector<std::unique_ptr<PooledConnection>> evicted;
  try {
    std::lock_guard<std::mutex> lock(mutex_);
    auto file = std::find_if(files_.begin(), files_.end(),
                             [&](const File& f) { return f.path == conn->Path(); });
    if (file == files_.end()) {
      if (files_.size() >= kMaxFiles) {
        auto oldest =
            std::min_element(files_.begin(), files_.end(),
                             [](const File& a, const File& b) { return a.last_use < b.last_use; });
        for (auto& c : oldest->idle) evicted.push_back(std::move(c));
        files_.erase(oldest);
      }
      files_.push_back(File{conn->Path(), {}, 0});
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
