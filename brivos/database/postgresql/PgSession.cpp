#include "brivos/database/postgresql/PgSession.hpp"

#include <fcntl.h>
#include <libpq-fe.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <map>
#include <mutex>
#include <utility>

#include "brivos/database/Database.hpp"
#include "brivos/database/OutcomeUnknown.hpp"
#include "brivos/database/internal/ResultMeter.hpp"
#include "brivos/database/internal/StatementLog.hpp"
#include "brivos/database/postgresql/PgError.hpp"
#include "brivos/database/postgresql/PgText.hpp"
#include "brivos/foundation/Ascii.hpp"
#include "brivos/foundation/Clock.hpp"
#include "brivos/foundation/Error.hpp"

namespace brivos::internal {

namespace {

constexpr Oid kInt2 = 21, kInt4 = 23, kInt8 = 20, kFloat4 = 700, kFloat8 = 701, kNumeric = 1700,
              kBool = 16;
constexpr std::size_t kMaxCachedStatements = 128;

// The kind and spelling of each column of the subscribers' tables, by table
// and column number: the schema's types that share a base type (a Date and
// a Double) and the names as the schema spells them, which PostgreSQL keeps
// lowered. Read from the catalog once per table in the process, and again
// when a result shows a column the table did not have or of another type
// (the table was changed since).
struct ColumnInfo {
  PgKind kind;
  std::string spelling;
  Oid base_type;  // the type the server reports in a result
};
std::mutex catalog_mutex;
std::map<std::pair<Oid, int>, ColumnInfo> catalog;

// True when the catalog knows column `column` of `table` as of type `type`.
bool CatalogKnows(Oid table, int column, Oid type) {
  std::lock_guard<std::mutex> lock(catalog_mutex);
  const auto found = catalog.find({table, column});
  return found != catalog.end() && found->second.base_type == type;
}

PgKind KindOfTypeName(std::string_view type) {
  if (type == "brivos_date") return PgKind::kDate;
  if (type == "brivos_boolean") return PgKind::kBoolean;
  if (type == "brivos_currency") return PgKind::kCurrency;
  if (type == "int2" || type == "int4" || type == "int8") return PgKind::kLong;
  if (type == "float4" || type == "float8" || type == "numeric") return PgKind::kDouble;
  if (type == "bool") return PgKind::kBool;
  return PgKind::kText;
}

PgKind KindOfTypeOid(Oid type) {
  switch (type) {
    case kInt2:
    case kInt4:
    case kInt8:
      return PgKind::kLong;
    case kFloat4:
    case kFloat8:
    case kNumeric:
      return PgKind::kDouble;
    case kBool:
      return PgKind::kBool;
    default:
      return PgKind::kText;
  }
}

Oid TypeOfKind(ColumnType kind) {
  switch (kind) {
    case ColumnType::Key:
    case ColumnType::Long:
    case ColumnType::Boolean:
      return kInt4;
    case ColumnType::Double:
    case ColumnType::Date:
      return kFloat8;
    case ColumnType::Currency:
      return kNumeric;
    case ColumnType::Text:
    case ColumnType::Memo:
      return 0;  // the server infers it: a text compared with a column takes the column's type
  }
  return 0;
}

std::string NumberText(double d) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d > 0 ? "Infinity" : "-Infinity";
  char buf[32];
  const auto end = std::to_chars(buf, buf + sizeof buf, d).ptr;
  return std::string(buf, end);
}

// The text a parameter is sent as; nullopt for NULL.
bool ParameterText(const Parameter& p, std::string& out) {
  const Variant& v = p.value;
  if (v.IsNull() || v.IsEmpty()) return false;
  switch (p.kind) {
    case ColumnType::Key:
    case ColumnType::Long:
      out = std::to_string(CLng(v));
      break;
    case ColumnType::Double:
      out = NumberText(CDbl(v));
      break;
    case ColumnType::Date:
      out = NumberText(CDate(v).Serial());
      break;
    case ColumnType::Currency: {
      // The same values as a file database takes: one whose real form would
      // read back as another value is refused there, so it is here.
      const Currency value = CCur(v);
      if (Currency::FromDouble(value.ToDouble()) != value) RaiseRuntime(errnum::kOverflow);
      out = value.ToString();
      break;
    }
    case ColumnType::Boolean:
      out = CBool(v) ? "1" : "0";
      break;
    case ColumnType::Text:
    case ColumnType::Memo:
      out = CStr(v);
      if (out.find('\0') != std::string::npos) {
        RaiseDatabase(errnum::kDbConstraint, "A text holds a NUL character.");
      }
      break;
  }
  return true;
}

Variant LongValue(const char* text) {
  std::int64_t i = 0;
  std::from_chars(text, text + std::char_traits<char>::length(text), i);
  if (i >= INT32_MIN && i <= INT32_MAX) return Variant(static_cast<std::int32_t>(i));
  return Variant(static_cast<double>(i));
}

double DoubleValue(const char* text) {
  std::string_view t(text);
  if (t == "NaN") return std::nan("");
  if (t == "Infinity") return HUGE_VAL;
  if (t == "-Infinity") return -HUGE_VAL;
  double d = 0;
  std::from_chars(t.data(), t.data() + t.size(), d);
  return d;
}

// "-12.5000" exactly, as ten-thousandths.
Currency CurrencyValue(const char* text) {
  std::string_view t(text);
  const bool negative = !t.empty() && t[0] == '-';
  if (negative) t.remove_prefix(1);
  std::int64_t scaled = 0;
  int decimals = -1;
  for (char c : t) {
    if (c == '.') {
      decimals = 0;
      continue;
    }
    if (decimals >= 4) break;
    scaled = scaled * 10 + (c - '0');
    if (decimals >= 0) ++decimals;
  }
  for (int d = decimals < 0 ? 0 : decimals; d < 4; ++d) scaled *= 10;
  return Currency::FromScaled(negative ? -scaled : scaled);
}

Variant ReadValue(const char* text, PgKind kind) {
  switch (kind) {
    case PgKind::kLong:
      return LongValue(text);
    case PgKind::kDouble:
      return Variant(DoubleValue(text));
    case PgKind::kCurrency:
      return Variant(CurrencyValue(text));
    case PgKind::kBoolean:
      return Variant(DoubleValue(text) != 0.0);
    case PgKind::kBool:
      return Variant(text[0] == 't');
    case PgKind::kDate:
      return Variant(Date::FromSerial(DoubleValue(text)));
    case PgKind::kText:
      break;
  }
  return Variant(std::string(text));
}

}  // namespace

PgSession::PgSession(PGconn* conn, DatabaseId id, std::string lock_key,
                     std::function<PGconn*()> open_reader,
                     std::function<void(const std::string&)> change_schema, bool owned)
    : conn_(conn),
      lock_key_(std::move(lock_key)),
      open_reader_(std::move(open_reader)),
      change_schema_(std::move(change_schema)),
      cancel_(conn == nullptr ? nullptr : PQgetCancel(conn)),
      id_(std::move(id)),
      owned_(owned),
      pid_(CurrentProcess()) {}

namespace {

void Close(PGconn* conn, pid_t opened_by) {
  if (conn == nullptr) return;
  if (CurrentProcess() != opened_by) {
    // The socket is shared with the parent process: what libpq says on
    // closing goes nowhere instead of ending the parent's connection.
    const int null_fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null_fd >= 0) {
      ::dup2(null_fd, PQsocket(conn));
      ::close(null_fd);
    }
  }
  PQfinish(conn);
}

}  // namespace

PgSession::~PgSession() {
  if (cancel_ != nullptr) PQfreeCancel(cancel_);
  Close(reader_, pid_);
  if (owned_) Close(conn_, pid_);
}

std::shared_ptr<Recordset> PgSession::OnReader(
    const std::function<std::shared_ptr<Recordset>()>& run) {
  if (reader_ != nullptr &&
      (!StillConnected(reader_) || PQtransactionStatus(reader_) != PQTRANS_IDLE)) {
    PQfinish(reader_);
    reader_ = nullptr;
  }
  if (reader_ == nullptr) reader_ = open_reader_();
  PGcancel* reader_cancel = PQgetCancel(reader_);
  const auto swap = [&] {
    const std::lock_guard<std::mutex> lock(cancel_mutex_);
    std::swap(conn_, reader_);
    std::swap(cancel_, reader_cancel);
    on_reader_ = !on_reader_;
  };
  swap();
  struct Back {
    const decltype(swap)& back;
    PGcancel*& cancel;
    ~Back() {
      back();
      if (cancel != nullptr) PQfreeCancel(cancel);
    }
  } restore{swap, reader_cancel};
  return run();
}

void PgSession::Interrupt() noexcept {
  // The server's process for the connection belongs to the process that
  // opened it: a forked child cancels nothing of its parent's.
  const std::lock_guard<std::mutex> lock(cancel_mutex_);
  if (cancel_ == nullptr || CurrentProcess() != pid_) return;
  std::array<char, 256> error{};
  PQcancel(cancel_, error.data(), static_cast<int>(error.size()));
}

bool StillConnected(PGconn* conn) {
  if (PQstatus(conn) != CONNECTION_OK) return false;
  // An idle connection is sent nothing the library asks for: whatever is to
  // be read on it is the server's farewell (a shutdown, a terminated
  // backend) or the end of the stream.
  pollfd socket{PQsocket(conn), POLLIN, 0};
  return socket.fd >= 0 && ::poll(&socket, 1, 0) == 0;
}

namespace {

// 0 until asked, and again in a child just forked.
std::atomic<pid_t> current_process{0};

}  // namespace

pid_t CurrentProcess() {
  pid_t pid = current_process.load(std::memory_order_relaxed);
  if (pid != 0) return pid;
  static const bool registered = [] {
    return ::pthread_atfork(nullptr, nullptr,
                            [] { current_process.store(0, std::memory_order_relaxed); }) == 0;
  }();
  pid = ::getpid();
  // Without the fork handler every caller asks the kernel.
  if (registered) current_process.store(pid, std::memory_order_relaxed);
  return pid;
}

bool PgSession::Reusable() const {
  return CurrentProcess() == pid_ && !cancelled_ && PQstatus(conn_) == CONNECTION_OK &&
         PQtransactionStatus(conn_) == PQTRANS_IDLE;
}

bool PgSession::Alive() {
  checked_ = StillConnected(conn_);
  return checked_;
}

bool PgSession::MayRetry(bool idle_before) const {
  return owned_ && CurrentProcess() == pid_ && idle_before && PQstatus(conn_) == CONNECTION_BAD;
}

void PgSession::Reconnect() {
  {
    const std::lock_guard<std::mutex> lock(cancel_mutex_);
    if (cancel_ != nullptr) PQfreeCancel(cancel_);
    cancel_ = nullptr;
  }
  PQreset(conn_);
  if (PQstatus(conn_) == CONNECTION_OK) {
    PGcancel* cancel = PQgetCancel(conn_);
    const std::lock_guard<std::mutex> lock(cancel_mutex_);
    cancel_ = cancel;
  }
  statements_.clear();
  uses_.clear();
  clock_set_ = false;
  cancelled_ = false;
  if (PQstatus(conn_) != CONNECTION_OK) {
    std::string message = PQerrorMessage(conn_);
    while (!message.empty() && message.back() == '\n') message.pop_back();
    RaiseDatabase(errnum::kDbCannotOpen, "Could not connect to the database: " + message);
  }
}

void PgSession::Simple(const char* sql) {
  checked_ = false;
  ResultHolder result{PQexec(conn_, sql)};
  CheckPg(conn_, result.r, sql);
}

PgSession::Prepared& PgSession::PreparedFor(const std::string& key, std::string_view sql,
                                            std::span<const Parameter> params) {
  if (auto it = statements_.find(key); it != statements_.end()) {
    uses_.splice(uses_.begin(), uses_, it->second.use);
    return it->second;
  }
  if (statements_.size() >= kMaxCachedStatements) {
    // One statement let go, not the whole cache: the others stay prepared.
    const auto oldest = statements_.find(uses_.back());
    ResultHolder r{PQexec(conn_, ("DEALLOCATE " + oldest->second.name).c_str())};
    statements_.erase(oldest);
    uses_.pop_back();
  }
  std::vector<Oid> types;
  types.reserve(params.size());
  for (const Parameter& p : params) types.push_back(TypeOfKind(p.kind));
  std::string name = "b" + std::to_string(++next_statement_);
  const std::string text = TranslateStatement(sql);
  ResultHolder result{
      PQprepare(conn_, name.c_str(), text.c_str(), static_cast<int>(types.size()), types.data())};
  CheckPg(conn_, result.r, sql);
  uses_.push_front(key);
  try {
    return statements_.emplace(key, Prepared{std::move(name), nullptr, uses_.begin()})
        .first->second;
  } catch (...) {
    uses_.pop_front();
    throw;
  }
}

PGresult* PgSession::Run(std::string_view sql, std::span<const Parameter> params,
                         Prepared** prepared_out) {
  NoteStatement(sql);
  // One prepared statement per text and kinds of its parameters: a number
  // bound as a Long and as a Double are statements of their own.
  std::string key(sql);
  key += '\x1f';
  for (const Parameter& p : params) key += static_cast<char>('0' + static_cast<int>(p.kind));
  std::vector<std::string> texts(params.size());
  std::vector<const char*> values(params.size(), nullptr);
  for (std::size_t i = 0; i < params.size(); ++i) {
    if (ParameterText(params[i], texts[i])) values[i] = texts[i].c_str();
  }
  const bool idle_before = PQtransactionStatus(conn_) == PQTRANS_IDLE;
  // A connection the server closed while it was idle is opened anew before
  // the statement is sent (unless the pool has just found it connected).
  if (idle_before && owned_ && CurrentProcess() == pid_ && !std::exchange(checked_, false) &&
      !StillConnected(conn_)) {
    Reconnect();
  }
  for (bool first = true;; first = false) {
    Prepared* prepared = nullptr;
    try {
      prepared = &PreparedFor(key, sql, params);
    } catch (const Error&) {
      // Preparing changes nothing: on a connection lost meanwhile the
      // statement runs on a new one.
      if (!first || !MayRetry(idle_before)) throw;
      Reconnect();
      continue;
    }
    if (PQsendQueryPrepared(conn_, prepared->name.c_str(), static_cast<int>(values.size()),
                            values.data(), nullptr, nullptr, 0) == 0) {
      if (!first || !MayRetry(idle_before)) RaisePg(conn_, nullptr, sql);
      Reconnect();
      continue;
    }
    PGresult* result = nullptr;
    while (PGresult* next = PQgetResult(conn_)) {
      if (result == nullptr) {
        result = next;
      } else {
        PQclear(next);
      }
    }
    const ExecStatusType status = result == nullptr ? PGRES_FATAL_ERROR : PQresultStatus(result);
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
      *prepared_out = prepared;
      return result;
    }
    ResultHolder failed{result};
    const char* state = result == nullptr ? nullptr : PQresultErrorField(result, PG_DIAG_SQLSTATE);
    if (state != nullptr && std::string_view(state) == "0A000" &&
        PQstatus(conn_) == CONNECTION_OK) {
      // A table changed since the statement was prepared ("cached plan must
      // not change result type"): prepared again, and run again when no
      // transaction was spoilt by the refusal.
      uses_.erase(prepared->use);
      PQclear(PQexec(conn_, ("DEALLOCATE " + prepared->name).c_str()));
      statements_.erase(key);
      if (first && idle_before) continue;
    }
    RaisePg(conn_, result, sql);
  }
}

std::shared_ptr<const PgSession::Layout> PgSession::LayoutOf(const PGresult* result,
                                                             std::string_view sql) {
  const int columns = PQnfields(result);
  // Tables not seen before in this process, or changed since: their
  // columns' kinds and names.
  std::vector<Oid> read;
  for (int c = 0; c < columns; ++c) {
    const Oid table = PQftable(result, c);
    if (table == InvalidOid || std::find(read.begin(), read.end(), table) != read.end() ||
        CatalogKnows(table, PQftablecol(result, c), PQftype(result, c))) {
      continue;
    }
    read.push_back(table);
    const std::string table_text = std::to_string(table);
    const char* values[] = {table_text.c_str()};
    ResultHolder info{PQexecParams(
        conn_,
        "SELECT a.attnum, t.typname, coalesce(col_description(a.attrelid, a.attnum), a.attname), "
        "coalesce(nullif(t.typbasetype, 0), t.oid) "
        "FROM pg_attribute a JOIN pg_type t ON t.oid = a.atttypid "
        "WHERE a.attrelid = $1::oid AND a.attnum > 0 AND NOT a.attisdropped",
        1, nullptr, values, nullptr, nullptr, 0)};
    CheckPg(conn_, info.r, sql);
    std::lock_guard<std::mutex> lock(catalog_mutex);
    for (int row = 0; row < PQntuples(info.r); ++row) {
      catalog[{table, std::atoi(PQgetvalue(info.r, row, 0))}] =
          ColumnInfo{KindOfTypeName(PQgetvalue(info.r, row, 1)), PQgetvalue(info.r, row, 2),
                     static_cast<Oid>(std::strtoul(PQgetvalue(info.r, row, 3), nullptr, 10))};
    }
  }
  auto names = std::make_shared<std::vector<std::string>>();
  auto layout = std::make_shared<Layout>();
  std::lock_guard<std::mutex> lock(catalog_mutex);
  for (int c = 0; c < columns; ++c) {
    std::string name = PQfname(result, c);
    PgKind kind = KindOfTypeOid(PQftype(result, c));
    const auto found = catalog.find({PQftable(result, c), PQftablecol(result, c)});
    // A column named as the schema names it reads as the schema's kind; an
    // alias or expression is spelled as the statement spells it.
    if (found != catalog.end()) kind = found->second.kind;
    if (found != catalog.end() && EqualsIgnoreCase(name, found->second.spelling)) {
      name = found->second.spelling;
    } else if (std::string in_text = SpellingIn(sql, name); !in_text.empty()) {
      name = std::move(in_text);
    }
    names->push_back(std::move(name));
    layout->kinds.push_back(kind);
  }
  layout->names = std::move(names);
  for (int c = 0; c < columns; ++c) layout->types.push_back(PQftype(result, c));
  return layout;
}

bool PgSession::Layout::Fits(const PGresult* result) const {
  if (types.size() != static_cast<std::size_t>(PQnfields(result))) return false;
  for (std::size_t c = 0; c < types.size(); ++c) {
    if (types[c] != PQftype(result, static_cast<int>(c))) return false;
  }
  return true;
}

std::vector<Variant> PgSession::RowOf(const PGresult* result, int r, const Layout& layout) {
  const int columns = PQnfields(result);
  std::vector<Variant> row;
  row.reserve(static_cast<std::size_t>(columns));
  for (int c = 0; c < columns; ++c) {
    row.push_back(PQgetisnull(result, r, c) ? Variant::Null()
                                            : ReadValue(PQgetvalue(result, r, c),
                                                        layout.kinds[static_cast<std::size_t>(c)]));
  }
  return row;
}

std::shared_ptr<Recordset> PgSession::RowsOf(PGresult* result, const Layout& layout) {
  auto rs = std::make_shared<Recordset>(layout.names);
  const int rows = PQntuples(result);
  for (int r = 0; r < rows; ++r) rs->AddRow(RowOf(result, r, layout));
  if (rs->RecordCount() > 0) rs->MoveFirst();
  return rs;
}

int PgSession::Execute(std::string_view sql, std::span<const Parameter> params) {
  // A schema statement cannot be prepared: it runs as it is, its names as
  // provisioning creates them.
  const auto starts = [sql](std::string_view word) {
    return sql.size() > word.size() && EqualsIgnoreCase(sql.substr(0, word.size()), word);
  };
  if (params.empty() && (starts("CREATE ") || starts("DROP ") || starts("ALTER "))) {
    NoteStatement(sql);
    checked_ = false;  // the change may take long: the next statement looks again
    if (change_schema_) {
      // The session's role owns no table: the schema is changed by its
      // owner, on a connection of its own.
      change_schema_(UnquoteIdentifiers(sql));
    } else {
      Simple(UnquoteIdentifiers(sql).c_str());
    }
    return 0;
  }
  Prepared* prepared = nullptr;
  ResultHolder result{Run(sql, params, &prepared)};
  const char* changed = PQcmdTuples(result.r);
  return changed[0] == '\0' ? 0 : std::atoi(changed);
}

std::shared_ptr<Recordset> PgSession::Query(std::string_view sql,
                                            std::span<const Parameter> params) {
  Prepared* prepared = nullptr;
  ResultHolder result{Run(sql, params, &prepared)};
  if (PQnfields(result.r) == 0) {
    auto closed = std::make_shared<Recordset>();
    closed->SetClosed(true);
    return closed;
  }
  if (!prepared->layout || !prepared->layout->Fits(result.r)) {
    prepared->layout = LayoutOf(result.r, sql);
  }
  return RowsOf(result.r, *prepared->layout);
}

std::int32_t PgSession::Insert(std::string_view sql, std::span<const Parameter> params,
                               std::string_view key_column) {
  FollowClock();
  std::string text(sql);
  while (!text.empty() && (text.back() == ';' || text.back() == ' ')) text.pop_back();
  text += " RETURNING ";
  text += key_column;
  Prepared* prepared = nullptr;
  ResultHolder result{Run(text, params, &prepared)};
  if (PQntuples(result.r) < 1 || PQgetisnull(result.r, 0, 0)) return 0;
  return CLng(LongValue(PQgetvalue(result.r, 0, 0)));
}

void PgSession::FollowClock() {
  const double now = Now().Serial();
  const bool overridden = std::fabs(now - SystemNow().Serial()) > 2.0 / 86400;
  if (!overridden && !clock_set_) return;
  checked_ = false;
  const std::string value = overridden ? NumberText(now) : "";
  const char* values[] = {value.c_str()};
  ResultHolder result{PQexecParams(conn_, "SELECT set_config('brivos.now', $1, false)", 1, nullptr,
                                   values, nullptr, nullptr, 0)};
  CheckPg(conn_, result.r, "SET brivos.now");
  clock_set_ = overridden;
}

std::shared_ptr<Recordset> PgSession::QueryConfined(std::string_view sql,
                                                    std::chrono::milliseconds budget,
                                                    const ReportCeilings& ceilings) {
  checked_ = false;
  if (SecretColumnsHidden::Active() && open_reader_ && !on_reader_) {
    // The reader's connection: its search path holds the views, whose secret
    // columns read NULL, and it can take no lock, write nothing and change
    // no table, whatever the statement says.
    return OnReader([&] { return QueryConfined(sql, budget, ceilings); });
  }
  NoteStatement(sql);
  if (!IsConfinedStatement(sql)) {
    RaiseDatabase(errnum::kDbStatementRejected,
                  "Only the subscriber's own tables may be read and written in statement: " +
                      std::string(sql));
  }
  const bool own_transaction = PQtransactionStatus(conn_) == PQTRANS_IDLE;
  // Whatever the statement changes in the session (settings, locks) is
  // undone before the session serves anyone else.
  struct Restore {
    PgSession& s;
    bool own;
    std::string prepared;  // the statement's name once prepared
    ~Restore() {
      if (own && PQtransactionStatus(s.conn_) != PQTRANS_IDLE) {
        PQclear(PQexec(s.conn_, "ROLLBACK"));
      }
      if (!prepared.empty()) PQclear(PQexec(s.conn_, ("DEALLOCATE " + prepared).c_str()));
      if (s.on_reader_) {
        PQclear(PQexec(s.conn_, "RESET ALL"));
      } else {
        PQclear(PQexec(s.conn_, "RESET ALL; SELECT pg_advisory_unlock_all()"));
        s.clock_set_ = false;
      }
    }
  } restore{*this, own_transaction, {}};
  const std::string timeout =
      "SET LOCAL statement_timeout = " + std::to_string(std::max<std::int64_t>(1, budget.count()));
  // A client's statement (secrets hidden) reads and never writes: no change
  // of a table or of the schema, no row lock.
  if (own_transaction) Simple(SecretColumnsHidden::Active() ? "BEGIN READ ONLY" : "BEGIN");
  Simple(timeout.c_str());
  // Described before it runs: the columns' kinds may need the catalog, which
  // cannot be read while the rows arrive (and its query takes the unnamed
  // statement).
  const std::string text = TranslateStatement(sql);
  // A name of its own each time: one left behind (its DEALLOCATE refused in a
  // caller's failed transaction) is never met again.
  const std::string name = "r" + std::to_string(++next_statement_);
  ResultHolder prepared{PQprepare(conn_, name.c_str(), text.c_str(), 0, nullptr)};
  CheckPg(conn_, prepared.r, sql);
  restore.prepared = name;
  ResultHolder described{PQdescribePrepared(conn_, name.c_str())};
  CheckPg(conn_, described.r, sql);
  std::shared_ptr<Recordset> rs;
  std::shared_ptr<const Layout> layout;
  if (PQnfields(described.r) == 0) {
    rs = std::make_shared<Recordset>();
    rs->SetClosed(true);
  } else {
    layout = LayoutOf(described.r, sql);
    rs = std::make_shared<Recordset>(layout->names);
  }
  Stream(name.c_str(), sql, layout ? rs.get() : nullptr, layout.get(), ceilings);
  if (own_transaction) Simple("COMMIT");
  if (layout && rs->RecordCount() > 0) rs->MoveFirst();
  return rs;
}

void PgSession::Stream(const char* statement, std::string_view sql, Recordset* rows,
                       const Layout* layout, const ReportCeilings& ceilings) {
  if (PQsendQueryPrepared(conn_, statement, 0, nullptr, nullptr, nullptr, 0) == 0) {
    RaisePg(conn_, nullptr, sql);
  }
  PQsetSingleRowMode(conn_);
  ResultMeter meter(ceilings);
  std::exception_ptr stopped;
  PGresult* failed = nullptr;
  // Every result is taken, whatever happens, so that the connection is
  // ready for its next command.
  while (PGresult* result = PQgetResult(conn_)) {
    const ExecStatusType status = PQresultStatus(result);
    if (status == PGRES_SINGLE_TUPLE && !stopped && failed == nullptr && rows != nullptr) {
      try {
        std::vector<Variant> row = RowOf(result, 0, *layout);
        meter.Add(row);
        rows->AddRow(std::move(row));
      } catch (...) {
        stopped = std::current_exception();
        cancelled_ = true;
        if (PGcancel* cancel = PQgetCancel(conn_)) {
          char ignored[256];
          PQcancel(cancel, ignored, sizeof ignored);
          PQfreeCancel(cancel);
        }
      }
    }
    const bool failure = status != PGRES_SINGLE_TUPLE && status != PGRES_TUPLES_OK &&
                         status != PGRES_COMMAND_OK && status != PGRES_EMPTY_QUERY;
    if (failure && failed == nullptr) {
      failed = result;
    } else {
      PQclear(result);
    }
  }
  ResultHolder failure{failed};
  if (stopped) std::rethrow_exception(stopped);
  if (failed != nullptr) RaisePg(conn_, failed, sql);
}

void PgSession::Begin() {
  // Units of work on one subscriber take turns, as they do on a file: a
  // lock held to the end of the transaction, keyed by the schema.
  const std::string sql = "BEGIN; SELECT pg_advisory_xact_lock(" + lock_key_ + ")";
  const bool idle_before = PQtransactionStatus(conn_) == PQTRANS_IDLE;
  if (idle_before && owned_ && CurrentProcess() == pid_ && !std::exchange(checked_, false) &&
      !StillConnected(conn_)) {
    Reconnect();
  }
  ResultHolder result{PQexec(conn_, sql.c_str())};
  const ExecStatusType status = result.r == nullptr ? PGRES_FATAL_ERROR : PQresultStatus(result.r);
  if (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK) return;
  // A transaction that began on a lost connection ended with it, unchanged.
  if (!MayRetry(idle_before)) RaisePg(conn_, result.r, sql);
  Reconnect();
  Simple(sql.c_str());
}

void PgSession::Commit() {
  if (PQsendQuery(conn_, "COMMIT") == 0) {
    if (PQstatus(conn_) == CONNECTION_BAD) {
      RaiseDatabase(errnum::kDbFailure,
                    "The connection to the database was lost before the change was committed; "
                    "nothing was changed.");
    }
    RaisePg(conn_, nullptr, "COMMIT");
  }
  PGresult* answer = nullptr;
  while (PGresult* next = PQgetResult(conn_)) {
    if (answer == nullptr) {
      answer = next;
    } else {
      PQclear(next);
    }
  }
  ResultHolder held{answer};
  if (answer != nullptr && PQresultStatus(answer) == PGRES_COMMAND_OK) return;
  // The server refused the COMMIT and said so: the transaction is undone.
  if (PQstatus(conn_) == CONNECTION_OK) RaisePg(conn_, answer, "COMMIT");
  // The COMMIT was sent and its answer lost with the connection: the server
  // may have made the change or not.
  RaiseDatabase(errnum::kDbOutcomeUnknown, std::string(kOutcomeUnknownMessage));
}

void PgSession::RollbackQuietly() noexcept {
  if (PQtransactionStatus(conn_) != PQTRANS_IDLE && CurrentProcess() == pid_) {
    PQclear(PQexec(conn_, "ROLLBACK"));
  }
}

}  // namespace brivos::internal
