#include "brivos/database/Database.hpp"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

#include "brivos/database/Backend.hpp"
#include "brivos/database/internal/DatabaseError.hpp"
#include "brivos/foundation/Ascii.hpp"
#include "brivos/foundation/Error.hpp"

namespace brivos {

namespace {

// The units of work open on this thread, one per database. Their session is
// what Connection::Open hands out for that database meanwhile.
struct OpenUnit {
  DatabaseId id;
  std::shared_ptr<Session> session;
  std::string account;  // the Account text that opened it
};

thread_local std::vector<OpenUnit> t_open_units;

// The unit open on this thread for the very Account text `account`, whose
// database need not be located again.
const OpenUnit* UnitNamed(const Variant& account) {
  if (t_open_units.empty() || account.Type() != VarType::String) return nullptr;
  const std::string& text = account.AsString();
  for (const OpenUnit& unit : t_open_units) {
    if (unit.account == text) return &unit;
  }
  return nullptr;
}

// The databases a ConnectionScope has opened on this thread, by Account text.
struct ScopedSession {
  std::string account;
  DatabaseId id;
  std::shared_ptr<Session> session;
};
thread_local bool t_scope_open = false;
thread_local std::vector<ScopedSession> t_scoped;

// Inside a ReadTogether: the sessions whose shared read is open.
thread_local bool t_read_together = false;
thread_local std::vector<Session*> t_reading;

bool InUnit(const Session& session) {
  return std::any_of(t_open_units.begin(), t_open_units.end(),
                     [&](const OpenUnit& u) { return u.session.get() == &session; });
}

// A read on `session` joins the shared read, opening it first.
void JoinRead(Session& session) {
  if (!t_read_together || !t_scope_open || InUnit(session)) return;
  if (std::find(t_reading.begin(), t_reading.end(), &session) != t_reading.end()) return;
  const bool scoped = std::any_of(t_scoped.begin(), t_scoped.end(),
                                  [&](const ScopedSession& s) { return s.session.get() == &session; });
  if (!scoped) return;
  t_reading.push_back(&session);
  try {
    session.BeginRead();
  } catch (...) {
    t_reading.pop_back();
    throw;
  }
}

// Before a write on `session`: its shared read, if open, ends.
void LeaveRead(Session& session) noexcept {
  const auto found = std::find(t_reading.begin(), t_reading.end(), &session);
  if (found == t_reading.end()) return;
  t_reading.erase(found);
  session.EndRead();
}

void EndReads() noexcept {
  for (Session* session : t_reading) session->EndRead();
  t_reading.clear();
}

ScopedSession& InScope(Backend& backend, const Variant& account) {
  std::string text = CStr(account);
  for (ScopedSession& s : t_scoped) {
    if (s.account == text) return s;
  }
  DatabaseId id = backend.Locate(account);
  return t_scoped.emplace_back(ScopedSession{std::move(text), std::move(id), nullptr});
}

Session& Live(const std::shared_ptr<Session>& session) {
  if (!session) internal::RaiseDatabase(errnum::kDbFailure, "The connection is closed.");
  return *session;
}

void Unregister(const std::shared_ptr<Session>& session) noexcept {
  std::erase_if(t_open_units, [&](const OpenUnit& u) { return u.session == session; });
}

// The sessions running a statement now, one entry per statement, for
// InterruptRunningStatements. An entry is removed under the lock before its
// statement returns, so an interrupt never reaches a session its caller let go.
std::mutex& RunningMutex() {
  static std::mutex mutex;
  return mutex;
}
std::vector<Session*>& RunningSessions() {
  static std::vector<Session*> running;
  return running;
}

class Running {
 public:
  explicit Running(Session& session) : session_(session) {
    std::lock_guard lock(RunningMutex());
    RunningSessions().push_back(&session_);
  }
  ~Running() {
    std::lock_guard lock(RunningMutex());
    auto& running = RunningSessions();
    running.erase(std::find(running.begin(), running.end(), &session_));
  }
  Running(const Running&) = delete;
  Running& operator=(const Running&) = delete;

 private:
  Session& session_;
};

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
  Backend& backend = ActiveBackend();
  if (!t_scope_open && t_open_units.empty()) return Connection(backend.ConnectTo(account));
  if (const OpenUnit* unit = UnitNamed(account)) return Connection(unit->session);
  ScopedSession* scoped = t_scope_open ? &InScope(backend, account) : nullptr;
  const DatabaseId id = scoped ? scoped->id : backend.Locate(account);
  for (const OpenUnit& unit : t_open_units) {
    if (unit.id == id) return Connection(unit.session);
  }
  if (scoped == nullptr) return Connection(backend.Connect(id));
  if (!scoped->session) scoped->session = backend.Connect(id);
  return Connection(scoped->session);
}

ConnectionScope::ConnectionScope() : outermost_(!t_scope_open) { t_scope_open = true; }

ConnectionScope::~ConnectionScope() {
  if (!outermost_) return;
  EndReads();
  t_scope_open = false;
  t_scoped.clear();  // the sessions go back to the pool
}

void ConnectionScope::Located(const Variant& account, const DatabaseId& id) {
  if (!t_scope_open) return;
  std::string text = CStr(account);
  for (const ScopedSession& s : t_scoped) {
    if (s.account == text) return;
  }
  t_scoped.push_back(ScopedSession{std::move(text), id, nullptr});
}

ReadTogether::ReadTogether() : outermost_(!t_read_together) { t_read_together = true; }

ReadTogether::~ReadTogether() {
  if (!outermost_) return;
  t_read_together = false;
  EndReads();
}

Connection Connection::Borrow(Session& session) {
  return Connection(std::shared_ptr<Session>(std::shared_ptr<Session>(), &session));
}

Connection::Connection(std::shared_ptr<Session> s) : session_(std::move(s)) {}
Connection::Connection(Connection&&) noexcept = default;
Connection& Connection::operator=(Connection&&) noexcept = default;
Connection::~Connection() = default;

int Connection::Execute(std::string_view sql, std::span<const Parameter> params) {
  Session& session = Live(session_);
  LeaveRead(session);
  const Running running(session);
  return session.Execute(sql, params);
}

std::shared_ptr<Recordset> Connection::Query(std::string_view sql,
                                             std::span<const Parameter> params) {
  Session& session = Live(session_);
  JoinRead(session);
  const Running running(session);
  return session.Query(sql, params);
}

std::shared_ptr<Recordset> Connection::QueryConfined(std::string_view sql) {
  Session& session = Live(session_);
  LeaveRead(session);  // a caller's own statement runs on its own terms
  const Running running(session);
  return session.QueryConfined(sql, ReportTimeBudget(), ReportResultCeilings());
}

std::int32_t Connection::Insert(std::string_view sql, std::span<const Parameter> params,
                                std::string_view key_column) {
  Session& session = Live(session_);
  LeaveRead(session);
  const Running running(session);
  return session.Insert(sql, params, key_column);
}

const std::string& Connection::Path() const {
  static const std::string kNoPath;
  return session_ ? session_->Id().name : kNoPath;
}

// --- UnitOfWork --------------------------------------------------------------

UnitOfWork::UnitOfWork(const Variant& account) : conn_(Connection::Open(account)) {
  for (const OpenUnit& unit : t_open_units) {
    if (unit.session == conn_.session_) return;  // joins the unit already open here
  }
  LeaveRead(*conn_.session_);
  conn_.session_->Begin();
  try {
    t_open_units.push_back(OpenUnit{conn_.session_->Id(), conn_.session_, CStr(account)});
  } catch (...) {
    conn_.session_->RollbackQuietly();
    throw;
  }
  outermost_ = true;
}

void UnitOfWork::Commit() {
  if (done_) return;
  if (outermost_) {
    conn_.session_->Commit();
    Unregister(conn_.session_);
  }
  done_ = true;
}

UnitOfWork::~UnitOfWork() {
  if (!outermost_ || done_) return;
  conn_.session_->RollbackQuietly();
  Unregister(conn_.session_);
}

// --- GroupedWork -------------------------------------------------------------

namespace {

// The longest a grouped run holds the write lock between two commits.
std::chrono::milliseconds LongestGroupHold() {
  constexpr std::chrono::milliseconds kDefault{1000};
  const char* text = std::getenv("BRIVOS_RUN_COMMIT_MS");
  if (text == nullptr) return kDefault;
  char* end = nullptr;
  const long ms = std::strtol(text, &end, 10);
  return end != text && *end == '\0' && ms > 0 ? std::chrono::milliseconds(ms) : kDefault;
}

}  // namespace

GroupedWork::GroupedWork(const Variant& account)
    : conn_(Connection::Open(account)), longest_(LongestGroupHold()) {
  for (const OpenUnit& unit : t_open_units) {
    if (unit.session == conn_.session_) joined_ = true;
  }
  if (!joined_) conn_.session_->ExpectLongWork(true);
}

GroupedWork::~GroupedWork() {
  try {
    if (open_) EndGroup();
  } catch (...) {  // NOLINT(bugprone-empty-catch): the steps of the group are undone whole
  }
  try {
    if (!joined_) conn_.session_->ExpectLongWork(false);
  } catch (...) {  // NOLINT(bugprone-empty-catch): the connection only keeps a larger cache
  }
}

void GroupedWork::BeginGroup() {
  Session& session = *conn_.session_;
  LeaveRead(session);
  session.Begin();
  try {
    t_open_units.push_back(OpenUnit{session.Id(), conn_.session_, {}});
  } catch (...) {
    session.RollbackQuietly();
    throw;
  }
  began_ = std::chrono::steady_clock::now();
  open_ = true;
}

void GroupedWork::EndGroup() {
  open_ = false;
  Session& session = *conn_.session_;
  try {
    session.Commit();
  } catch (...) {
    session.RollbackQuietly();
    Unregister(conn_.session_);
    throw;
  }
  Unregister(conn_.session_);
}

void GroupedWork::Step(const std::function<void()>& step) {
  if (!joined_ && !open_) BeginGroup();
  Session& session = *conn_.session_;
  session.Execute("SAVEPOINT brivos_step", {});
  try {
    step();
  } catch (...) {
    try {
      session.Execute("ROLLBACK TO brivos_step", {});
      session.Execute("RELEASE brivos_step", {});
      if (open_) EndGroup();
    } catch (...) {  // NOLINT(bugprone-empty-catch): the step's own error is the one to report
      if (open_) {
        open_ = false;
        session.RollbackQuietly();
        Unregister(conn_.session_);
      }
    }
    throw;
  }
  session.Execute("RELEASE brivos_step", {});
  if (!open_) return;
  if (session.WritersWaiting() || std::chrono::steady_clock::now() - began_ >= longest_) {
    EndGroup();
  }
}

void GroupedWork::Commit() {
  if (open_) EndGroup();
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

void CreateDatabase(const Variant& account, std::string_view ddl,
                    const std::function<void(Connection&)>& fill) {
  if (!fill) return ActiveBackend().CreateDatabase(account, ddl, {});
  ActiveBackend().CreateDatabase(account, ddl, [&](Session& session) {
    Connection conn = Connection::Borrow(session);
    fill(conn);
  });
}

namespace {

std::chrono::milliseconds BudgetFromEnvironment() {
  const char* text = std::getenv("BRIVOS_REPORT_TIMEOUT");
  const double seconds = text == nullptr ? 0 : std::strtod(text, nullptr);
  if (!(seconds > 0 && seconds < 1e9)) return std::chrono::seconds(30);
  return std::chrono::milliseconds(static_cast<std::int64_t>(seconds * 1000));
}

std::atomic<std::int64_t>& BudgetMs() {
  static std::atomic<std::int64_t> budget{BudgetFromEnvironment().count()};
  return budget;
}

}  // namespace

std::chrono::milliseconds ReportTimeBudget() {
  return std::chrono::milliseconds(BudgetMs().load());
}

void SetReportTimeBudget(std::chrono::milliseconds budget) { BudgetMs().store(budget.count()); }

namespace {

std::atomic<std::int64_t> g_max_rows{ReportCeilings{}.rows};
std::atomic<std::int64_t> g_max_bytes{ReportCeilings{}.bytes};

}  // namespace

ReportCeilings ReportResultCeilings() { return {g_max_rows.load(), g_max_bytes.load()}; }

void SetReportResultCeilings(ReportCeilings ceilings) {
  g_max_rows.store(std::max<std::int64_t>(1, ceilings.rows));
  g_max_bytes.store(std::max<std::int64_t>(1, ceilings.bytes));
}

void ReleaseIdleConnections() { ActiveBackend().ReleaseIdle(); }

void InterruptRunningStatements() noexcept {
  std::lock_guard lock(RunningMutex());
  for (Session* session : RunningSessions()) session->Interrupt();
}

std::size_t DatabaseDescriptorsAtMost() { return ActiveBackend().DescriptorsAtMost(); }

// --- secret columns ------------------------------------------------------------

namespace {

std::atomic<SecretColumnList (*)()> g_secret_columns{nullptr};
thread_local int t_secrets_hidden = 0;

// The named secret columns; none until the records have named them.
const SecretColumnList& SecretColumns() {
  static const SecretColumnList none;
  SecretColumnList (*const list)() = g_secret_columns.load();
  if (list == nullptr) return none;
  static const SecretColumnList secrets = list();
  return secrets;
}

}  // namespace

void NameSecretColumns(SecretColumnList (*list)()) {
  SecretColumnList (*none)() = nullptr;
  g_secret_columns.compare_exchange_strong(none, list);
}

bool IsSecretColumn(std::string_view table, std::string_view column) {
  const SecretColumnList& secrets = SecretColumns();
  return std::any_of(secrets.begin(), secrets.end(), [&](const auto& secret) {
    return EqualsIgnoreCase(secret.first, table) && EqualsIgnoreCase(secret.second, column);
  });
}

bool HoldsSecretColumn(std::string_view table) {
  const SecretColumnList& secrets = SecretColumns();
  return std::any_of(secrets.begin(), secrets.end(),
                     [&](const auto& secret) { return EqualsIgnoreCase(secret.first, table); });
}

SecretColumnsHidden::SecretColumnsHidden() noexcept { ++t_secrets_hidden; }
SecretColumnsHidden::~SecretColumnsHidden() { --t_secrets_hidden; }
bool SecretColumnsHidden::Active() noexcept { return t_secrets_hidden > 0; }

}  // namespace brivos
