#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "brivos/database/Backend.hpp"
#include "brivos/database/internal/ResultMeter.hpp"
#include "brivos/database/sqlite/WriteGate.hpp"

struct sqlite3;
struct sqlite3_stmt;

namespace brivos::internal {

// One open SQLite connection to a subscriber file with its prepared
// statements. Not thread-safe: used by one caller at a time.
class SqliteSession final : public Session {
 public:
  // Opens the existing file of `id` (see OpenSubscriberFile).
  explicit SqliteSession(DatabaseId id);
  SqliteSession(const SqliteSession&) = delete;
  SqliteSession& operator=(const SqliteSession&) = delete;
  ~SqliteSession() override;

  const DatabaseId& Id() const override { return id_; }

  int Execute(std::string_view sql, std::span<const Parameter> params) override;
  std::shared_ptr<Recordset> Query(std::string_view sql,
                                   std::span<const Parameter> params) override;
  // The text is prepared afresh, never cached, and run confined. No value
  // it builds grows past the byte ceiling, nor past 1 MiB (a value of the
  // schema holds 2000 characters at most), and its rows have 256 columns at
  // most: a wider value raises -2147217871 naming its ceiling, more columns
  // -2147217900.
  std::shared_ptr<Recordset> QueryConfined(std::string_view sql, std::chrono::milliseconds budget,
                                           const ReportCeilings& ceilings) override;
  std::int32_t Insert(std::string_view sql, std::span<const Parameter> params,
                      std::string_view key_column) override;
  void Begin() override;
  void Commit() override;
  void BeginRead() override;
  void EndRead() noexcept override;
  void RollbackQuietly() noexcept override;
  // Writers of this process queued at the file's gate.
  bool WritersWaiting() const override;
  void ExpectLongWork(bool long_work) override;
  void Interrupt() noexcept override;

  // True while a transaction is open on the connection.
  bool InTransaction() const;
  // Gives the connection's page cache back to the heap; its next statement
  // reads what it needs from the file again. Never throws.
  void ReleaseMemory() noexcept;
  // ReleaseMemory, and the pages of the file's shared log index that the
  // next call will not read (ReleaseLogIndexPages): for a connection that
  // may wait long for its next call. Never throws.
  void ReleaseIdleMemory() noexcept;

 private:
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
  // Binds and runs `stmt`; its rows, or a closed set when it has no columns.
  // Each row is counted by `meter` when one is given, before it is kept.
  std::shared_ptr<Recordset> Run(const Prepared& prepared, std::span<const Parameter> params,
                                 std::string_view sql, ResultMeter* meter = nullptr);
  // Writes outside a transaction take the file's write turn for the statement.
  WriteGate* TurnFor(sqlite3_stmt* stmt) const;
  void LeaveTurn() noexcept;
  // Folds the log into the file, without waiting for anyone, once it has
  // grown past its bound. Never throws.
  void CheckpointIfDue() noexcept;
  static int OnLogCommit(void* self, sqlite3* db, const char* database, int frames);
  // Binds and steps a statement that yields no rows the caller reads.
  void Step(sqlite3_stmt* stmt, std::span<const Parameter> params, std::string_view sql);
  // The authorizer of every statement prepared on the connection: it lets
  // everything through unless `confined_` is set.
  static int Authorize(void* self, int action, const char* name, const char* detail,
                       const char* database, const char* trigger);
  // Called every few thousand steps of a confined statement: nonzero
  // interrupts it once its deadline has passed.
  static int PastDeadline(void* self);

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
  DatabaseId id_;
  std::shared_ptr<WriteGate> gate_;
  // Set from Begin until the transaction ends: the write turn is held.
  bool holding_turn_ = false;
  // Pages in the file's log after the last commit on this connection.
  int log_frames_ = 0;
  // Statements are cached by their text. The library's texts are few (values
  // are bound, and a written column set gives one text), but a caller's
  // filter or ordering text may vary, so the cache drops the least recently
  // used beyond its bound.
  std::unordered_map<std::string, CachedStatement, TextHash, std::equal_to<>> statements_;
  std::uint64_t use_clock_ = 0;
  // Set while a caller's statement text is prepared and run, with the time
  // it must end by.
  bool confined_ = false;
  std::chrono::steady_clock::time_point deadline_;
};

}  // namespace brivos::internal
