#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "brivos/automation/Recordset.hpp"
#include "brivos/database/Parameter.hpp"
#include "brivos/database/ReportCeilings.hpp"
#include "brivos/foundation/Variant.hpp"

namespace brivos {

class Session;
struct DatabaseId;

// A connection to one subscriber database, taken from the active backend's
// pool of idle sessions and given back when the handle is destroyed. While a
// UnitOfWork is open on this thread for the same database, Open returns a
// handle to the unit's session, so nested calls join its transaction.
class Connection {
 public:
  // Opens the database named by the Account path (see DatabaseFileOf). Never
  // creates one: a missing or unreadable database, or one that holds no
  // table, raises -2147467259.
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
  // Runs a caller's own statement text, as Query does, confined to this
  // database: it may read and write the database's tables, views, indexes
  // and triggers, call functions and read the pragmas that describe the
  // schema (table_info, index_list, database_list, ...). Anything else
  // (ATTACH, DETACH, VACUUM, other pragmas, temporary or virtual tables,
  // transaction control) raises -2147217900 before it takes effect, so the
  // text reaches no other file and leaves the connection as it found it. A
  // statement still running after ReportTimeBudget() is interrupted and
  // raises -2147217871 ("Query timeout expired"); the connection stays usable.
  // A result past ReportResultCeilings() stops it too (see ReportCeilings).
  std::shared_ptr<Recordset> QueryConfined(std::string_view sql);
  // Runs an INSERT of one row and returns the key the database gave it in
  // `key_column`. Records insert through Insert<T> (records/Write.hpp).
  std::int32_t Insert(std::string_view sql, std::span<const Parameter> params,
                      std::string_view key_column);

  // The name of the database this connection serves (its file, for a file
  // database); "" for a moved-from handle.
  const std::string& Path() const;

  // A handle on a session someone else owns (a database being created).
  static Connection Borrow(Session& session);

 private:
  explicit Connection(std::shared_ptr<Session> s);
  std::shared_ptr<Session> session_;
  friend class UnitOfWork;
  friend class GroupedWork;
};

// Within a ConnectionScope on this thread, the calls on one database share
// one session, and its file is located once: a request of the service that
// checks its caller and then makes the call opens the database once, not at
// every lookup. The session goes back to the pool when the scope ends. An
// inner scope on the same thread adds nothing.
class ConnectionScope {
 public:
  ConnectionScope();
  ~ConnectionScope();
  ConnectionScope(const ConnectionScope&) = delete;
  ConnectionScope& operator=(const ConnectionScope&) = delete;

  // The database `account` names is `id`, as the caller found it just now
  // (the service, looking its firm up): the open scope on this thread takes
  // it without locating the database again. Does nothing outside a scope.
  static void Located(const Variant& account, const DatabaseId& id);

 private:
  bool outermost_ = false;
};

// Within a ReadTogether inside a ConnectionScope on this thread, the reads of
// the scope's databases outside a unit of work share one read transaction: a
// caller reading several times (a session, then its user) sees one state of
// the database and takes its read lock once. A write on that database ends
// the shared read first; the read ends with the ReadTogether. A backend whose
// reads cost a round trip each (PostgreSQL) adds none for it.
class ReadTogether {
 public:
  ReadTogether();
  ~ReadTogether();
  ReadTogether(const ReadTogether&) = delete;
  ReadTogether& operator=(const ReadTogether&) = delete;

 private:
  bool outermost_ = false;
};

// An all-or-nothing unit of work on one database: a transaction holding the
// write lock from construction, committed in Commit(), rolled back when
// destroyed uncommitted (an error left the scope). Units nest: an inner unit
// on the same database joins the outer one, which alone commits.
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

// A long run of all-or-nothing steps on one database (an invoice run, one
// step per project), committed in groups. Each step runs in a savepoint of
// the open transaction: a step that raises leaves nothing behind, the steps
// before it are committed, and its error goes on to the caller. The
// transaction commits after a step when another writer of this process
// waits for the write lock, and after a second in any case (a writer of
// another process, which it cannot see waiting, waits no longer;
// BRIVOS_RUN_COMMIT_MS sets another bound): a run alone pays for few
// commits, and another writer waits for one step at most. A process killed
// mid-run loses only the steps of the open group, never part of a step.
// Units of work opened by a step join its savepoint's transaction. Within an
// outer unit of work on the same database, the steps join that unit, which
// alone commits.
class GroupedWork {
 public:
  explicit GroupedWork(const Variant& account);
  GroupedWork(const GroupedWork&) = delete;
  GroupedWork& operator=(const GroupedWork&) = delete;
  // Commits the steps finished so far, when Commit was not reached.
  ~GroupedWork();

  void Step(const std::function<void()>& step);
  // Commits the last group.
  void Commit();

 private:
  void BeginGroup();
  void EndGroup();

  Connection conn_;
  std::chrono::milliseconds longest_;
  std::chrono::steady_clock::time_point began_;
  bool joined_ = false;
  bool open_ = false;
};

// The file an Account path names, taken literally: the whole text and
// ".mdb", with backslashes read as directory separators ("dir\\A;B" names
// "dir/A;B.mdb"). Raises -2147467259 for a text holding a NUL character,
// which no file name can.
std::string DatabaseFileOf(const Variant& account);
// "Driver={Microsoft Access Driver (*.mdb)};Dbq=<Account>.mdb;Uid=Admin;"
std::string BuildConnectionString(const Variant& account);
// The file a connection string names: the value of its Dbq= entry, with
// backslashes read as directory separators. The value runs to the end of its
// last ".mdb", semicolons in the name included (to the next ';' when it holds
// no ".mdb"), so DatabasePathOf(BuildConnectionString(a)) is
// DatabaseFileOf(a).
std::string DatabasePathOf(std::string_view connection_string);
// The account number of an Account path: the text after its last backslash.
std::string AccountNumberOf(const Variant& account);

// Runs one statement against the subscriber database and returns the
// disconnected result set (closed for statements that return no rows).
// Follows the error convention.
std::shared_ptr<Recordset> OpenRecordset(const Variant& account, std::string_view sql);
// OpenRecordset for a caller's own statement text (a report): run with
// Connection::QueryConfined, so it reaches the account's own tables only.
std::shared_ptr<Recordset> OpenReportRecordset(const Variant& account, std::string_view sql);

// Creates the database `account` names with the schema `ddl`, then calls
// `fill` (when given) to write its first rows in one transaction. Nothing is
// left behind when either fails.
// Raises -2147467259 when the database exists already or the Account path
// holds a NUL character.
void CreateDatabase(const Variant& account, std::string_view ddl,
                    const std::function<void(Connection&)>& fill = {});

// How long a caller's own statement (QueryConfined) may run: 30 seconds, or
// the seconds in the environment variable BRIVOS_REPORT_TIMEOUT, until
// SetReportTimeBudget changes it for the process.
std::chrono::milliseconds ReportTimeBudget();
void SetReportTimeBudget(std::chrono::milliseconds budget);

// How much a caller's own statement (QueryConfined) may return: the
// defaults of ReportCeilings until SetReportResultCeilings changes them for
// the process. A ceiling below 1 is taken as 1.
ReportCeilings ReportResultCeilings();
void SetReportResultCeilings(ReportCeilings ceilings);

// Drops every idle pooled connection (tests and tools that replace files).
void ReleaseIdleConnections();

// Stops every statement running now on a connection of this process, from
// any thread: each raises in its caller (-2147217871 "Query timeout expired")
// and its transaction, if any, is rolled back when the caller's unit of work
// ends. A statement that starts afterwards runs. A service that must stop
// calls it for the calls still running at its deadline. Never throws.
void InterruptRunningStatements() noexcept;

// File descriptors the active backend's connections may hold at once: what a
// process serving many clients keeps free of its own sockets.
std::size_t DatabaseDescriptorsAtMost();

// Secret columns (a password, a session token) as (table, column) pairs.
// The records name theirs once, while the program starts: `list` is called
// the first time a secret is looked up, and a later call is ignored.
using SecretColumnList = std::vector<std::pair<std::string, std::string>>;
void NameSecretColumns(SecretColumnList (*list)());
bool IsSecretColumn(std::string_view table, std::string_view column);
bool HoldsSecretColumn(std::string_view table);

// While one is in scope on a thread, a caller's own statement text run on
// that thread (QueryConfined, OpenReportRecordset) reads every secret column
// as NULL, whatever alias, expression, view or subquery wraps it. It may not
// write a table holding a secret (a RETURNING clause would read the row's),
// create a trigger (which would run later, inside another caller's
// statement) nor alter a table (a renamed column would not be hidden). The
// library's own statements read secrets as always (sign-in reads the
// password). A service holds one around each call it makes for a client.
// On PostgreSQL the text runs as the account's role in a read-only
// transaction: it reads secret columns unchanged but writes nothing, alters
// nothing and locks no row.
class SecretColumnsHidden {
 public:
  SecretColumnsHidden() noexcept;
  ~SecretColumnsHidden();
  SecretColumnsHidden(const SecretColumnsHidden&) = delete;
  SecretColumnsHidden& operator=(const SecretColumnsHidden&) = delete;

  // True while one is in scope on this thread.
  static bool Active() noexcept;
};

}  // namespace brivos
