#include "brivos/database/sqlite/SqliteSession.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "brivos/database/internal/StatementLog.hpp"
#include "brivos/database/sqlite/Authorizer.hpp"
#include "brivos/database/sqlite/ClockVfs.hpp"
#include "brivos/database/sqlite/ColumnCodec.hpp"
#include "brivos/database/sqlite/DialectShim.hpp"
#include "brivos/database/sqlite/SqliteError.hpp"
#include "brivos/database/sqlite/SqliteFile.hpp"
#include "brivos/foundation/Error.hpp"

namespace brivos::internal {

namespace {

constexpr std::size_t kMaxCachedStatements = 64;

// The widest a value of a caller's statement may grow (the byte ceiling of
// its result, within these bounds), and the most columns its rows may have.
constexpr std::int64_t kLeastValueBytes = 64 << 10;
constexpr std::int64_t kMostValueBytes = 1 << 20;
constexpr int kMaxReportColumns = 256;

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

// Finalizes a statement that is not kept in the cache.
struct StatementFinalizer {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};

}  // namespace

struct SqliteSession::Layout {
  std::shared_ptr<const std::vector<std::string>> names;
  std::vector<ColumnKind> kinds;
};

SqliteSession::SqliteSession(DatabaseId id)
    : db_(OpenSubscriberFile(id.name)), id_(std::move(id)), gate_(WriteGate::For(id_)) {
  sqlite3_set_authorizer(db_, &SqliteSession::Authorize, this);
  // Replaces SQLite's own checkpoint after a commit, which would run while
  // the committing writer still holds the lock.
  sqlite3_wal_hook(db_, &SqliteSession::OnLogCommit, this);
}

SqliteSession::~SqliteSession() {
  for (auto& [text, cached] : statements_) sqlite3_finalize(cached.prepared.stmt);
  sqlite3_close_v2(db_);
  LeaveTurn();
}

int SqliteSession::OnLogCommit(void* self, sqlite3* /*db*/, const char* /*database*/,
                               int frames) {
  static_cast<SqliteSession*>(self)->log_frames_ = frames;
  return SQLITE_OK;
}

void SqliteSession::CheckpointIfDue() noexcept {
  // SQLite's own bound for its automatic checkpoint.
  constexpr int kLogFramesBound = 1000;
  if (log_frames_ < kLogFramesBound) return;
  log_frames_ = 0;
  sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
}

WriteGate* SqliteSession::TurnFor(sqlite3_stmt* stmt) const {
  return holding_turn_ || sqlite3_stmt_readonly(stmt) != 0 ? nullptr : gate_.get();
}

void SqliteSession::LeaveTurn() noexcept {
  if (!holding_turn_) return;
  holding_turn_ = false;
  gate_->Leave();
}

int SqliteSession::Authorize(void* self, int action, const char* name, const char* detail,
                             const char* database, const char* /*trigger*/) {
  if (!static_cast<const SqliteSession*>(self)->confined_) return SQLITE_OK;
  return AuthorizeCallerText(action, name, detail, database);
}

void SqliteSession::Interrupt() noexcept { sqlite3_interrupt(db_); }

int SqliteSession::PastDeadline(void* self) {
  return std::chrono::steady_clock::now() > static_cast<const SqliteSession*>(self)->deadline_;
}

sqlite3_stmt* SqliteSession::Prepare(std::string_view sql, unsigned flags) {
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

std::shared_ptr<const SqliteSession::Layout> SqliteSession::LayoutOf(sqlite3_stmt* stmt) {
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

SqliteSession::Prepared SqliteSession::Statement(std::string_view sql) {
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

void SqliteSession::Step(sqlite3_stmt* stmt, std::span<const Parameter> params,
                         std::string_view sql) {
  StatementUse use(stmt);
  BindParameters(db_, stmt, params, sql);
  int rc;
  {
    WriteTurn turn(TurnFor(stmt));
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
  }
  if (!holding_turn_) CheckpointIfDue();
  CheckSqlite(db_, rc, SqlStage::kStep, sql);
}

int SqliteSession::Execute(std::string_view sql, std::span<const Parameter> params) {
  sqlite3_stmt* stmt = Statement(sql).stmt;
  if (stmt == nullptr) return 0;
  const sqlite3_int64 before = sqlite3_total_changes64(db_);
  Step(stmt, params, sql);
  // sqlite3_changes keeps the count of an earlier statement when this one
  // changed nothing (DDL, SELECT, transaction control).
  return sqlite3_total_changes64(db_) == before ? 0 : sqlite3_changes(db_);
}

std::int32_t SqliteSession::Insert(std::string_view sql, std::span<const Parameter> params,
                                   std::string_view /*key_column*/) {
  // Every table's key is its rowid.
  Execute(sql, params);
  return static_cast<std::int32_t>(sqlite3_last_insert_rowid(db_));
}

std::shared_ptr<Recordset> SqliteSession::Query(std::string_view sql,
                                                std::span<const Parameter> params) {
  return Run(Statement(sql), params, sql);
}

std::shared_ptr<Recordset> SqliteSession::QueryConfined(std::string_view sql,
                                                        std::chrono::milliseconds budget,
                                                        const ReportCeilings& ceilings) {
  // Confined while prepared and while run: SQLite prepares statements of its
  // own while running some (VACUUM, table-valued pragmas), and prepares the
  // text again when the schema changed meanwhile. A row is bounded too,
  // through the width of its values and their number: SQLite builds the
  // whole row before the meter sees it.
  struct Confinement {
    SqliteSession& s;
    int length_limit;
    int column_limit;
    Confinement(SqliteSession& session, std::chrono::milliseconds budget, int value_bytes)
        : s(session) {
      length_limit = sqlite3_limit(s.db_, SQLITE_LIMIT_LENGTH, value_bytes);
      column_limit = sqlite3_limit(s.db_, SQLITE_LIMIT_COLUMN, kMaxReportColumns);
      s.confined_ = true;
      s.deadline_ = std::chrono::steady_clock::now() + budget;
      sqlite3_progress_handler(s.db_, 4096, &SqliteSession::PastDeadline, &s);
    }
    ~Confinement() {
      sqlite3_progress_handler(s.db_, 0, nullptr, nullptr);
      s.confined_ = false;
      sqlite3_limit(s.db_, SQLITE_LIMIT_LENGTH, length_limit);
      sqlite3_limit(s.db_, SQLITE_LIMIT_COLUMN, column_limit);
    }
  };
  const int value_bytes =
      static_cast<int>(std::clamp<std::int64_t>(ceilings.bytes, kLeastValueBytes, kMostValueBytes));
  const Confinement confinement(*this, budget, value_bytes);
  NoteStatement(sql);
  ResultMeter meter(ceilings);
  std::unique_ptr<sqlite3_stmt, StatementFinalizer> stmt;
  try {
    stmt.reset(Prepare(sql, 0));
    return Run(Prepared{stmt.get(), LayoutOf(stmt.get())}, {}, sql, &meter);
  } catch (const Error&) {
    if ((sqlite3_errcode(db_) & 0xff) == SQLITE_TOOBIG) {
      RaiseDatabase(errnum::kDbLimitReached, "A value of the result passed its ceiling of " +
                                                 std::to_string(value_bytes) + " bytes.");
    }
    throw;
  }
}

std::shared_ptr<Recordset> SqliteSession::Run(const Prepared& prepared,
                                              std::span<const Parameter> params,
                                              std::string_view sql, ResultMeter* meter) {
  sqlite3_stmt* stmt = prepared.stmt;
  const int columns = stmt == nullptr ? 0 : sqlite3_column_count(stmt);
  if (columns == 0) {
    if (stmt != nullptr) Step(stmt, params, sql);
    auto closed = std::make_shared<Recordset>();
    closed->SetClosed(true);
    return closed;
  }
  StatementUse use(stmt);
  BindParameters(db_, stmt, params, sql);

  // SQLite prepares a statement again when the schema changed; its columns
  // may have changed with it.
  std::shared_ptr<const Layout> layout = prepared.layout;
  if (!layout || layout->kinds.size() != static_cast<std::size_t>(columns)) {
    layout = LayoutOf(stmt);
  }
  const std::vector<ColumnKind>& kinds = layout->kinds;
  auto rs = std::make_shared<Recordset>(layout->names);

  WriteTurn turn(TurnFor(stmt));
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    std::vector<Variant> row;
    row.reserve(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) {
      row.push_back(ReadColumn(stmt, c, kinds[static_cast<std::size_t>(c)]));
    }
    if (meter != nullptr) meter->Add(row);
    rs->AddRow(std::move(row));
  }
  CheckSqlite(db_, rc, SqlStage::kStep, sql);
  if (rs->RecordCount() > 0) rs->MoveFirst();
  return rs;
}

// The write lock is taken at the start, so that reads inside the unit see
// what no concurrent writer can change before it commits.
void SqliteSession::Begin() {
  gate_->Enter();
  holding_turn_ = true;
  try {
    Execute("BEGIN IMMEDIATE", {});
  } catch (...) {
    LeaveTurn();
    throw;
  }
}

void SqliteSession::Commit() {
  Execute("COMMIT", {});
  LeaveTurn();
  CheckpointIfDue();
}

bool SqliteSession::WritersWaiting() const { return gate_->Waiting(); }

void SqliteSession::ExpectLongWork(bool long_work) {
  Execute(CacheSizePragma(long_work ? kLongWorkCacheKiB : kCacheKiB), {});
  if (!long_work) ReleaseMemory();
}

bool SqliteSession::InTransaction() const { return sqlite3_get_autocommit(db_) == 0; }

void SqliteSession::ReleaseMemory() noexcept { sqlite3_db_release_memory(db_); }

void SqliteSession::ReleaseIdleMemory() noexcept {
  ReleaseMemory();
  ReleaseLogIndexPages(db_);
}

// A deferred transaction: the first read takes the read lock and the
// reads after it see the same state, without the write turn.
void SqliteSession::BeginRead() { Execute("BEGIN", {}); }

void SqliteSession::EndRead() noexcept {
  if (!InTransaction() || holding_turn_) return;
  try {
    Execute("COMMIT", {});
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
}

void SqliteSession::RollbackQuietly() noexcept {
  if (InTransaction()) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  LeaveTurn();
}

}  // namespace brivos::internal
