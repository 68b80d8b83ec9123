#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "brivos/database/Backend.hpp"

struct pg_conn;
struct pg_result;
struct pg_cancel;

namespace brivos::internal {

// True when `conn` is connected and the server has neither closed it nor
// sent anything on it since its last answer. No round trip.
bool StillConnected(pg_conn* conn);

// This process's id, asked of the kernel once per process (again in a child
// after a fork): sessions compare it on every statement.
pid_t CurrentProcess();

// How a result column's text is read back.
enum class PgKind { kLong, kDouble, kCurrency, kBoolean, kDate, kText, kBool };

// One libpq connection to a subscriber's schema, logged in as the
// subscriber's own role, with its prepared statements. Used by one caller
// at a time. A session opened in a process that then forked is never used
// or closed through its socket in the child.
class PgSession final : public Session {
 public:
  // Takes ownership of `conn` (closed with the session) unless `owned` is
  // false. Units of work take the advisory lock `lock_key`; a client's
  // report statement, while secret columns are hidden, runs on a connection
  // `open_reader` opens (when given), kept with the session; a schema
  // statement (CREATE, DROP, ALTER) is handed to `change_schema` (when
  // given) instead of run on the session's connection.
  PgSession(pg_conn* conn, DatabaseId id, std::string lock_key,
            std::function<pg_conn*()> open_reader = {},
            std::function<void(const std::string&)> change_schema = {}, bool owned = true);
  PgSession(const PgSession&) = delete;
  PgSession& operator=(const PgSession&) = delete;
  ~PgSession() override;

  const DatabaseId& Id() const override { return id_; }
  int Execute(std::string_view sql, std::span<const Parameter> params) override;
  std::shared_ptr<Recordset> Query(std::string_view sql,
                                   std::span<const Parameter> params) override;
  // The rows are taken from the server one at a time; past a ceiling the
  // statement is cancelled and the session is not pooled again.
  std::shared_ptr<Recordset> QueryConfined(std::string_view sql, std::chrono::milliseconds budget,
                                           const ReportCeilings& ceilings) override;
  std::int32_t Insert(std::string_view sql, std::span<const Parameter> params,
                      std::string_view key_column) override;
  void Begin() override;
  void Commit() override;
  void RollbackQuietly() noexcept override;
  // Asks the server to cancel the statement (PQcancel, safe from any thread).
  void Interrupt() noexcept override;

  // True when the session can serve another caller: opened in this process,
  // connected, and outside any transaction.
  bool Reusable() const;
  // True unless the server has closed the connection or said something on
  // it while it was idle (its farewell before a shutdown). No round trip.
  // The next statement, sent right after, is not checked again.
  bool Alive();

 private:
  struct Layout {
    std::shared_ptr<const std::vector<std::string>> names;
    std::vector<PgKind> kinds;
    std::vector<unsigned> types;  // the result's column types it was made for
    // True when `result` has the columns the layout was made for.
    bool Fits(const pg_result* result) const;
  };
  struct Prepared {
    std::string name;
    std::shared_ptr<const Layout> layout;
    std::list<std::string>::iterator use;  // its place in uses_
  };
  // The statement of `key`, prepared now when it is not; the least recently
  // used one is let go when the cache is full.
  Prepared& PreparedFor(const std::string& key, std::string_view sql,
                        std::span<const Parameter> params);
  // Opens the connection anew when the session may be used again: nothing
  // of a unit of work is lost (none was open). Prepared statements go.
  // Raises -2147467259 when the server cannot be reached.
  void Reconnect();
  // True when a statement that failed on the connection had no effect and
  // may run again on a new connection: the connection was lost before the
  // statement was sent, outside any transaction.
  bool MayRetry(bool idle_before) const;
  // The result of running `sql` (prepared once per text and parameter kinds).
  pg_result* Run(std::string_view sql, std::span<const Parameter> params, Prepared** prepared);
  std::shared_ptr<const Layout> LayoutOf(const pg_result* result, std::string_view sql);
  std::shared_ptr<Recordset> RowsOf(pg_result* result, const Layout& layout);
  static std::vector<Variant> RowOf(const pg_result* result, int row, const Layout& layout);
  // Runs the prepared `statement` (of text `sql`), its rows read one by one
  // into `rows` (when it has columns) and counted against `ceilings`.
  void Stream(const char* statement, std::string_view sql, Recordset* rows, const Layout* layout,
              const ReportCeilings& ceilings);
  void Simple(const char* sql);
  // Makes the schema's defaults read the library's clock when a test or a
  // replay has set it.
  void FollowClock();

  // Runs `sql` on the reader's connection (opened now when it is not, or
  // is no longer, connected): conn_ and cancel_ are the reader's meanwhile.
  std::shared_ptr<Recordset> OnReader(const std::function<std::shared_ptr<Recordset>()>& run);

  pg_conn* conn_;
  std::string lock_key_;
  std::function<pg_conn*()> open_reader_;
  std::function<void(const std::string&)> change_schema_;
  pg_conn* reader_ = nullptr;
  bool on_reader_ = false;  // conn_ is the reader's, in OnReader
  // What Interrupt needs to reach the server's process for this connection;
  // replaced by Reconnect, under cancel_mutex_.
  pg_cancel* cancel_ = nullptr;
  std::mutex cancel_mutex_;
  DatabaseId id_;
  bool owned_;
  pid_t pid_;
  std::unordered_map<std::string, Prepared> statements_;
  std::list<std::string> uses_;  // keys of statements_, most recently used first
  int next_statement_ = 0;
  bool clock_set_ = false;
  // Set by Alive: the connection was found connected and nothing has been
  // sent on it since, so the next statement need not look again.
  bool checked_ = false;
  // Set when a statement was cancelled: a late cancel could reach the next.
  bool cancelled_ = false;
};

}  // namespace brivos::internal
