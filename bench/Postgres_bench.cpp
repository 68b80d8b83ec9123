// The library on its PostgreSQL backend, late-bound as a presentation layer
// calls it, against plain libpq code making the same statements in the same
// transactions, on one subscriber schema:
// - caller lookup: CUserManager::GetUserProfile with the caller's own name,
//   1,000 different callers in turn;
// - sign-in: CSecurityMgr::BeginUserSession, 1,000 different users in turn;
// - AddTransaction by the staff member who worked it, every staff row in turn
//   (the caller, the staff row, the project and the task are read first);
// - GetTransactionsForWeek of one staff member's latest week;
// - InvoiceAllProjects over every active project's approved slips and
//   expenses, against plain code making the same changes in one transaction
//   (the floor) and in one transaction per project. Every run starts from
//   the same rows: the invoices of the run before are taken back and the
//   tables vacuumed, untimed.
// The plain side is libpq as a tuned caller writes it: one connection kept
// for the run, every statement prepared once and then executed with its
// parameters as text, rows read into plain values.
//
// The data: 5,000 users with a session each; 100 staff users on teams of 10
// on 40 active, billable projects of 10 clients (with tax codes), 5 tasks a
// project; 100,000 slips over 25 weeks of work days, the oldest 60,000
// billed on 5 invoices a project, the next 30,000 approved, the rest
// entered (the newest running or paused); 4,000 billed expenses, 2,000
// approved and unbilled, 500 not approved. The subscriber is provisioned
// by the library, then filled with COPY in one transaction through plain
// libpq, keys given and the key sequences set past them.
//
// The database: a private cluster that the program starts in a temporary
// directory with scripts/pg-cluster.sh (a Unix socket only, fsync off) and
// stops when it ends, however it ends; or, with BRIVOS_DATABASE_URL set,
// that database, where the subscriber made for the run is dropped at the
// end. Without PostgreSQL 15 the program prints one line and exits 0.

#include <fcntl.h>
#include <libpq-fe.h>
#include <signal.h>
#include <time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "bench/BenchSupport.hpp"
#include "bench/PlainSqlite.hpp"
#include "brivos/database/internal/StatementLog.hpp"
#include "brivos/foundation/Ascii.hpp"

namespace brivos::bench {
namespace {

constexpr int kPgUsers = 5000;
constexpr int kPgStaff = 100;  // users 0..99 record time
constexpr int kPgProjects = 40;
constexpr int kPgClients = 10;
constexpr int kPgTasks = 5;
constexpr int kPgTeam = 10;
constexpr int kPgSlips = 100000;
constexpr int kPgDays = 125;  // 25 weeks from Monday 7 January 2019
constexpr int kPgBilled = 60000;
constexpr int kPgApproved = 30000;
constexpr int kPgRunning = 50;
constexpr int kPgInvoicesPerProject = 5;
constexpr int kPgBilledExpenses = 4000;
constexpr int kPgApprovedExpenses = 2000;
constexpr int kPgOpenExpenses = 500;

constexpr int kCallers = 1000;
constexpr int kSlipsPerRun = 2000;
constexpr int kInvoiceRuns = 5;
// A staff user whose latest week holds about 40 slips, as most do.
constexpr int kWeekUser = 42;

// --- the cluster -------------------------------------------------------------

// The private cluster, when this program started one. Its stop command is
// made ready beforehand, so that a signal handler only forks and waits.
struct Cluster {
  std::string dir;
  pid_t postmaster = 0;
  std::vector<std::string> stop_args;
  std::vector<char*> stop_argv;
  std::atomic<bool> stopped{false};
};
Cluster g_cluster;

void StopCluster() noexcept {
  if (g_cluster.stop_argv.empty() || g_cluster.stopped.exchange(true)) return;
  const pid_t child = ::fork();
  if (child == 0) {
    const int null_fd = ::open("/dev/null", O_WRONLY);
    if (null_fd >= 0) {
      ::dup2(null_fd, 1);
      ::dup2(null_fd, 2);
    }
    ::execv("/bin/bash", g_cluster.stop_argv.data());
    ::_exit(127);
  }
  int status = 0;
  if (child > 0) ::waitpid(child, &status, 0);
}

void StopAndDie(int signal_number) {
  StopCluster();
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

// Starts the cluster in a new temporary directory and returns its URI; exits
// 0 with one line when PostgreSQL 15 is not installed.
std::string StartCluster() {
  std::string dir =
      (std::filesystem::temp_directory_path() / "brivos-pgbench-XXXXXX").string();
  if (::mkdtemp(dir.data()) == nullptr) {
    std::perror("mkdtemp");
    std::exit(1);
  }
  const std::string errors = dir + ".log";
  g_cluster.dir = dir;
  g_cluster.stop_args = {"bash", BRIVOS_PG_CLUSTER, "stop", dir};
  for (std::string& arg : g_cluster.stop_args) g_cluster.stop_argv.push_back(arg.data());
  g_cluster.stop_argv.push_back(nullptr);
  std::atexit(StopCluster);
  std::set_terminate([] {
    StopCluster();
    std::abort();
  });
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGABRT, SIGSEGV, SIGBUS, SIGFPE}) {
    ::signal(s, StopAndDie);
  }
  const std::string command =
      "bash '" BRIVOS_PG_CLUSTER "' start '" + dir + "' 2>'" + errors + "'";
  FILE* out = ::popen(command.c_str(), "r");
  std::string uri;
  char buf[512];
  while (out != nullptr && std::fgets(buf, sizeof buf, out) != nullptr) uri += buf;
  const int status = out == nullptr ? -1 : ::pclose(out);
  while (!uri.empty() && (uri.back() == '\n' || uri.back() == '\r')) uri.pop_back();
  std::ifstream error_file(errors);
  const std::string error_text((std::istreambuf_iterator<char>(error_file)),
                               std::istreambuf_iterator<char>());
  std::filesystem::remove(errors);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 3) {
    std::printf("Postgres_bench: skipped, PostgreSQL 15 is not installed\n");
    StopCluster();
    std::filesystem::remove_all(dir);
    std::exit(0);
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || uri.empty()) {
    std::fprintf(stderr, "could not start the PostgreSQL cluster:\n%s", error_text.c_str());
    std::exit(1);
  }
  std::ifstream pid_file(dir + "/data/postmaster.pid");
  pid_file >> g_cluster.postmaster;
  return uri;
}

// --- time per call -----------------------------------------------------------

// The nanoseconds process `pid` has run on a CPU; 0 when it is gone.
std::uint64_t RunNs(const std::string& pid) {
  std::ifstream schedstat("/proc/" + pid + "/schedstat");
  std::uint64_t ns = 0;
  schedstat >> ns;
  return ns;
}

// The CPU time of each of the cluster's server processes (the postmaster
// and its children: the sessions' backends, the writers, autovacuum), by
// process id; none for a database this program did not start.
std::map<std::string, std::uint64_t> ServerCpuNs() {
  std::map<std::string, std::uint64_t> times;
  if (g_cluster.postmaster <= 0) return times;
  const std::string postmaster = std::to_string(g_cluster.postmaster);
  times[postmaster] = RunNs(postmaster);
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string pid = entry.path().filename().string();
    if (pid.empty() || pid[0] < '0' || pid[0] > '9') continue;
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    std::getline(stat, line);
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos || close + 2 > line.size()) continue;
    std::istringstream fields(line.substr(close + 2));
    std::string state, ppid;
    fields >> state >> ppid;
    if (ppid == postmaster) times[pid] = RunNs(pid);
  }
  return times;
}

// The CPU time the server processes of `after` ran since `before`; a process
// that ended meanwhile is not counted.
double ServerNsSince(const std::map<std::string, std::uint64_t>& before,
                     const std::map<std::string, std::uint64_t>& after) {
  double total = 0;
  for (const auto& [pid, ns] : after) {
    const auto was = before.find(pid);
    const std::uint64_t start = was == before.end() ? 0 : was->second;
    if (ns >= start) total += static_cast<double>(ns - start);
  }
  return total;
}

std::uint64_t ProcessCpuNs() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<std::uint64_t>(t.tv_sec) * 1000000000u + static_cast<std::uint64_t>(t.tv_nsec);
}

// The wall time and the CPU time (of this process and of the server
// together) per call of a benchmark's loop, as its counters wall_us and
// cpu_us: a plain client leaves the work to the server, so its own CPU time
// alone says little.
class PerCall {
 public:
  PerCall()
      : server_(ServerCpuNs()), cpu_(ProcessCpuNs()), wall_(std::chrono::steady_clock::now()) {}

  void Report(benchmark::State& state) const {
    const double wall_ns = static_cast<double>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() -
                                                             wall_)
            .count());
    const double cpu_ns = static_cast<double>(ProcessCpuNs() - cpu_);
    const double server_ns = ServerNsSince(server_, ServerCpuNs());
    const double calls = static_cast<double>(std::max<benchmark::IterationCount>(1, state.iterations()));
    state.counters["wall_us"] = wall_ns / calls / 1000;
    state.counters["cpu_us"] = (cpu_ns + server_ns) / calls / 1000;
  }

 private:
  std::map<std::string, std::uint64_t> server_;
  std::uint64_t cpu_;
  std::chrono::steady_clock::time_point wall_;
};

// --- plain libpq ---------------------------------------------------------------

// Any failure of plain code is a broken benchmark, not a measurement.
[[noreturn]] void Fail(PGconn* conn, std::string_view what) {
  std::fprintf(stderr, "libpq (%.*s): %s\n", static_cast<int>(what.size()), what.data(),
               conn != nullptr ? PQerrorMessage(conn) : "no connection");
  std::abort();
}

struct ResultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

Result Checked(PGconn* conn, PGresult* raw, std::string_view what) {
  Result r(raw);
  const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_COPY_IN) {
    Fail(conn, what);
  }
  return r;
}

// A connection of the database's own user to the subscriber's schema.
class PlainPg {
 public:
  PlainPg(const std::string& uri, const std::string& schema) : conn_(PQconnectdb(uri.c_str())) {
    if (PQstatus(conn_) != CONNECTION_OK) Fail(conn_, "connect");
    Exec("SET client_min_messages = error");
    Exec("SET search_path = " + schema + ", brivos");
  }
  PlainPg(const PlainPg&) = delete;
  PlainPg& operator=(const PlainPg&) = delete;
  ~PlainPg() { PQfinish(conn_); }

  PGconn* get() const { return conn_; }
  Result Exec(const std::string& sql) { return Checked(conn_, PQexec(conn_, sql.c_str()), sql); }

 private:
  PGconn* conn_;
};

// A parameter as its text, or Null.
struct Arg {
  std::string text;
  bool null = false;
  Arg(std::int64_t v) : text(std::to_string(v)) {}  // NOLINT: converting by design
  Arg(int v) : text(std::to_string(v)) {}            // NOLINT
  Arg(double v) {                                    // NOLINT
    char buf[32];
    text.assign(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
  }
  Arg(std::string_view v) : text(v) {}         // NOLINT
  Arg(const std::string& v) : text(v) {}       // NOLINT
  Arg(const char* v) : text(v) {}       // NOLINT
  static Arg Null() {
    Arg a(0);
    a.null = true;
    return a;
  }
};

// A statement prepared once on its connection, executed with text
// parameters.
class PgStatement {
 public:
  PgStatement(PlainPg& db, const std::string& sql) : conn_(db.get()), sql_(sql) {
    static int counter = 0;
    name_ = "plain" + std::to_string(++counter);
    Checked(conn_, PQprepare(conn_, name_.c_str(), sql.c_str(), 0, nullptr), sql);
  }

  Result Run(std::initializer_list<Arg> args) {
    const char* values[24] = {};
    int n = 0;
    for (const Arg& a : args) values[n++] = a.null ? nullptr : a.text.c_str();
    return Checked(conn_, PQexecPrepared(conn_, name_.c_str(), n, values, nullptr, nullptr, 0),
                   sql_);
  }

 private:
  PGconn* conn_;
  std::string sql_;
  std::string name_;
};

// The rows of a result as plain values: integers, reals (numeric too), texts.
std::vector<RawRow> Rows(const PGresult* r) {
  const int columns = PQnfields(r);
  std::vector<int> kind(static_cast<std::size_t>(columns));
  for (int c = 0; c < columns; ++c) {
    const Oid type = PQftype(r, c);
    kind[static_cast<std::size_t>(c)] =
        type == 20 || type == 21 || type == 23 ? 1 : type == 700 || type == 701 || type == 1700 ? 2 : 3;
  }
  std::vector<RawRow> rows(static_cast<std::size_t>(PQntuples(r)));
  for (int i = 0; i < PQntuples(r); ++i) {
    RawRow& row = rows[static_cast<std::size_t>(i)];
    row.resize(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) {
      if (PQgetisnull(r, i, c)) continue;
      const char* text = PQgetvalue(r, i, c);
      const char* end = text + PQgetlength(r, i, c);
      RawValue& v = row[static_cast<std::size_t>(c)];
      switch (kind[static_cast<std::size_t>(c)]) {
        case 1: {
          std::int64_t n = 0;
          std::from_chars(text, end, n);
          v = n;
          break;
        }
        case 2: {
          double d = 0;
          std::from_chars(text, end, d);
          v = d;
          break;
        }
        default:
          v = std::string(text, end);
      }
    }
  }
  return rows;
}

std::int64_t IntOf(PlainPg& db, const std::string& sql) {
  const Result r = db.Exec(sql);
  if (PQntuples(r.get()) < 1 || PQgetisnull(r.get(), 0, 0)) Fail(db.get(), sql);
  return std::stoll(PQgetvalue(r.get(), 0, 0));
}

// Rows for the table of record class T sent with COPY, each naming its
// columns by the class's column enumeration, as PlainInsert does: every row
// names the columns of the first, and a value that does not fit its column
// stops the run. The rows are sent when Send is called.
template <class T>
class PgCopy {
 public:
  struct Field {
    typename T::Column column;
    Value value;
  };

  void Row(std::initializer_list<Field> fields) {
    const bool first = columns_.empty();
    std::size_t i = 0;
    for (const Field& f : fields) {
      if (first) columns_.push_back(f.column);
      if (i >= columns_.size() || columns_[i] != f.column) RefuseRow(schema_, "columns differ");
      CheckFits(schema_, f.column, f.value);
      if (i++ > 0) text_ += '\t';
      std::visit([&](const auto& v) { Append(v); }, f.value);
    }
    if (i != columns_.size()) RefuseRow(schema_, "columns differ");
    text_ += '\n';
  }

  void Send(PlainPg& db) {
    if (columns_.empty()) return;
    std::string sql = "COPY " + std::string(schema_.table) + " (";
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      (sql += i ? "," : "") += schema_.columns[columns_[i]].column;
    }
    sql += ") FROM STDIN";
    db.Exec(sql);
    if (PQputCopyData(db.get(), text_.data(), static_cast<int>(text_.size())) != 1 ||
        PQputCopyEnd(db.get(), nullptr) != 1) {
      Fail(db.get(), sql);
    }
    Checked(db.get(), PQgetResult(db.get()), sql);
    while (PGresult* rest = PQgetResult(db.get())) PQclear(rest);
    text_.clear();
  }

 private:
  void Append(std::monostate) { text_ += "\\N"; }
  void Append(std::int64_t v) { text_ += std::to_string(v); }
  void Append(double v) {
    char buf[32];
    text_.append(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
  }
  void Append(std::string_view v) {
    for (char c : v) {
      if (c == '\\' || c == '\t' || c == '\n' || c == '\r') {
        text_ += '\\';
        c = c == '\t' ? 't' : c == '\n' ? 'n' : c == '\r' ? 'r' : c;
      }
      text_ += c;
    }
  }

  const RecordSchema& schema_ = T::Schema();
  std::vector<std::size_t> columns_;
  std::string text_;
};

// --- the subscriber ------------------------------------------------------------

struct Subscriber {
  std::string uri;
  bool own_cluster = false;
  std::string account_text;
  Variant account;
  std::string schema;
  std::int64_t last_invoice = 0;  // the newest invoice before any run
  std::int64_t next_number = 0;   // the invoice counter before any run
  Date cutoff;                    // the data's last day
};
Subscriber g;

template <class T>
std::int64_t NextKey(PlainPg& db) {
  const RecordSchema& s = T::Schema();
  return 1 + IntOf(db, "SELECT coalesce(max(" + std::string(s.columns[0].column) + "), 0) FROM " +
                           std::string(s.table));
}

template <class T>
void SetKeySequence(PlainPg& db) {
  const RecordSchema& s = T::Schema();
  const std::string table = AsciiLowered(s.table), key = AsciiLowered(s.columns[0].column);
  db.Exec("SELECT setval(pg_get_serial_sequence('" + table + "', '" + key + "'), coalesce(max(" +
          key + "), 0) + 1, false) FROM " + table);
}

struct Project {
  std::int64_t key = 0;
  std::vector<std::int64_t> tasks;
  std::vector<std::int64_t> staff;
  std::vector<double> rates;
  std::vector<std::int64_t> invoices;
};

void Fill(PlainPg& db) {
  std::mt19937_64 rng(20240601);
  const std::int64_t subscriber = IntOf(db, "SELECT ISubScriberID FROM ISubScriber");
  const std::int64_t admin = IntOf(db, "SELECT IUserID FROM IUser WHERE UserName='admin'");
  db.Exec("BEGIN");

  using U = IUser;
  PgCopy<U> users;
  std::vector<int> order(kPgUsers);
  for (int i = 0; i < kPgUsers; ++i) order[static_cast<std::size_t>(i)] = i;
  std::shuffle(order.begin(), order.end(), rng);
  std::vector<std::int64_t> user_keys(order.size());
  std::int64_t key = NextKey<U>(db);
  for (int i : order) {
    user_keys[static_cast<std::size_t>(i)] = key;
    users.Row({{U::kIUserID, key++},
               {U::kSubscriberID, subscriber},
               {U::kUserName, UserNameOf(i)},
               {U::kPassword, PasswordOf(i)},
               {U::kFirstName, Numbered("First", i)},
               {U::kLastName, Numbered("Lastname", i)},
               {U::kAdmin, false},
               {U::kMainUser, false},
               {U::kAllowLogon, true},
               {U::kMinWeekHours, 40},
               {U::kEMail, UserNameOf(i) + "@example.com"},
               {U::kRate, 95.5 + i % 50},
               {U::kCost, 60.25},
               {U::kOTRate, 140.0},
               {U::kOTCost, 90.0}});
  }
  users.Send(db);

  using S = SysSessions;
  PgCopy<S> sessions;
  const double now = LocalNowSerial();
  std::shuffle(order.begin(), order.end(), rng);
  for (int i : order) {
    char token[33];
    std::snprintf(token, sizeof token, "%016llX%016llX", static_cast<unsigned long long>(rng()),
                  static_cast<unsigned long long>(rng()));
    sessions.Row({{S::kAccount, g.account_text},
                  {S::kUserName, UserNameOf(i)},
                  {S::kToken, std::string_view(token, 32)},
                  {S::kLastUpdate, now - static_cast<double>(i % 1000) / 1440.0}});
  }
  sessions.Send(db);

  using T = CITaxCode;
  PgCopy<T> tax_codes;
  const std::int64_t first_tax_code = NextKey<T>(db);
  for (int t = 0; t < 3; ++t) {
    tax_codes.Row({{T::kCITaxCodeID, first_tax_code + t},
                   {T::kSubscriberID, subscriber},
                   {T::kTaxCode, std::string(1, "QBA"[t])},
                   {T::kTax1Rate, 5},
                   {T::kTax1Name, "GST"},
                   {T::kTax1Exempt, false},
                   {T::kTax2Rate, t == 0 ? 9.975 : t == 1 ? 7.0 : 0.0},
                   {T::kTax2Exempt, t == 2},
                   {T::kTax2PiggyBack, t == 0},
                   {T::kInactive, false}});
  }
  tax_codes.Send(db);

  using C = SFAProspect;
  PgCopy<C> clients;
  const std::int64_t first_client = NextKey<C>(db);
  const double day0 = WorkDaySerial(0);
  for (int c = 0; c < kPgClients; ++c) {
    clients.Row({{C::kSFAProspectID, first_client + c},
                 {C::kSubscriberID, subscriber},
                 {C::kCompanyName, Numbered("Client ", c)},
                 {C::kCity, "Montreal"},
                 {C::kAccountNumber, std::to_string(1000 + c)},
                 {C::kInactive, false},
                 {C::kLastUpdateDateTime, day0},
                 {C::kDefaultTerms, "Net 30"},
                 {C::kTaxCodeID, first_tax_code + c % 3}});
  }
  clients.Send(db);

  using P = IProject;
  using K = IProjectTask;
  using F = IProjectStaff;
  PgCopy<P> project_rows;
  PgCopy<K> task_rows;
  PgCopy<F> staff_rows;
  std::int64_t project_key = NextKey<P>(db), task_key = NextKey<K>(db),
               staff_key = NextKey<F>(db);
  std::vector<Project> projects(kPgProjects);
  for (int p = 0; p < kPgProjects; ++p) {
    Project& pr = projects[static_cast<std::size_t>(p)];
    pr.key = project_key++;
    const auto member = [&](int j) {
      return user_keys[static_cast<std::size_t>((p * 13 + j * 7) % kPgStaff)];
    };
    project_rows.Row({{P::kIProjectID, pr.key},
                      {P::kSubscriberID, subscriber},
                      {P::kName, "Project " + std::to_string(p)},
                      {P::kCreateDate, day0},
                      {P::kStatus, eProjectStatus::psActive},
                      {P::kStartDate, day0},
                      {P::kBillable, true},
                      {P::kOTAllowed, true},
                      {P::kTimeChunk, 15},
                      {P::kCreatorID, admin},
                      {P::kManagerID, member(0)},
                      {P::kClientID, first_client + p % kPgClients}});
    for (int t = 0; t < kPgTasks; ++t) {
      pr.tasks.push_back(task_key);
      task_rows.Row({{K::kIProjectTaskID, task_key++},
                     {K::kProjectID, pr.key},
                     {K::kName, "Task " + std::to_string(t)},
                     {K::kEffectiveDate, day0},
                     {K::kInactive, false}});
    }
    for (int j = 0; j < kPgTeam; ++j) {
      const double rate = 95.5 + (p * 13 + j * 7) % 10 * 5;
      pr.staff.push_back(staff_key);
      pr.rates.push_back(rate);
      staff_rows.Row({{F::kIProjectStaffID, staff_key++},
                      {F::kProjectID, pr.key},
                      {F::kRate, rate},
                      {F::kCost, 60},
                      {F::kOTRate, rate * 1.5},
                      {F::kOTCost, 90},
                      {F::kCreateDate, day0},
                      {F::kUserID, member(j)}});
    }
  }
  project_rows.Send(db);
  task_rows.Send(db);
  staff_rows.Send(db);

  using I = IProjectInvoice;
  using X = IProjectTransaction;
  using St = eTransStatus;
  PgCopy<I> invoices;
  PgCopy<X> slips;
  std::int64_t invoice_key = NextKey<I>(db), slip_key = NextKey<X>(db);
  int next_number = 1;
  const int per_day = kPgSlips / kPgDays;
  for (int i = 0; i < kPgSlips; ++i) {
    Project& pr = projects[rng() % projects.size()];
    const double day = WorkDaySerial(i / per_day);
    const std::size_t member = rng() % pr.staff.size();
    const int start = (8 + i % 9) * 60 + i % 4 * 15;
    const int status = SlipStatus(i, kPgBilled, kPgApproved, kPgSlips - kPgRunning);
    const bool approved = status == St::tsApproved || status == St::tsBilled;
    Value billed_on;
    if (status == St::tsBilled) {
      const std::size_t period =
          static_cast<std::size_t>(i) * kPgInvoicesPerProject / kPgBilled;
      while (pr.invoices.size() <= period) {
        pr.invoices.push_back(invoice_key);
        invoices.Row({{I::kIProjectInvoiceID, invoice_key++},
                      {I::kProjectID, pr.key},
                      {I::kInvoiceDate, day},
                      {I::kInvoiceNumber, std::to_string(next_number++)},
                      {I::kStatus, eInvoiceStatus::isIssued},
                      {I::kCreateDate, day},
                      {I::kCreatedBy, "admin"},
                      {I::kLastModified, day},
                      {I::kLastModifiedBy, "admin"},
                      {I::kTerms, "Net 30"},
                      {I::kNotes, "Thank you"},
                      {I::kFormat, 0}});
      }
      billed_on = pr.invoices[period];
    }
    slips.Row({{X::kIProjectTransactionID, slip_key++},
               {X::kProjectID, pr.key},
               {X::kTransDate, day},
               {X::kStartTime, SlipStamp(day, start)},
               {X::kStopTime,
                status == St::tsActive ? Value() : Value(SlipStamp(day, start + 15 * (1 + i % 8)))},
               {X::kDescription, "Work item " + std::to_string(i)},
               {X::kStaffRate, pr.rates[member]},
               {X::kStaffCost, 60},
               {X::kOTCost, 90},
               {X::kOTRate, pr.rates[member] * 1.5},
               {X::kError, status == St::tsComplete && i % 50 == 0 ? "The task was closed" : ""},
               {X::kStatus, status},
               {X::kApprovedBy, approved ? Value("admin") : Value()},
               {X::kApprovedOn, approved ? Value(SlipStamp(day + 2, 9 * 60)) : Value()},
               {X::kOverTime, i % 20 == 0},
               {X::kTaskID, pr.tasks[rng() % pr.tasks.size()]},
               {X::kStaffID, pr.staff[member]},
               {X::kInvoiceID, billed_on}});
  }
  invoices.Send(db);
  slips.Send(db);

  // Expenses dated in the periods of the slips of their status.
  using E = IProjectExpense;
  PgCopy<E> expenses;
  std::int64_t expense_key = NextKey<E>(db);
  struct Period {
    int count, first_day, last_day;
    bool billed, approved;
  };
  const int approved_day = kPgBilled / per_day, open_day = approved_day + kPgApproved / per_day;
  for (const Period& period : {Period{kPgBilledExpenses, 0, approved_day, true, true},
                               Period{kPgApprovedExpenses, approved_day, open_day, false, true},
                               Period{kPgOpenExpenses, open_day, kPgDays, false, false}}) {
    for (int k = 0; k < period.count; ++k) {
      const Project& pr = projects[rng() % projects.size()];
      const double day =
          WorkDaySerial(period.first_day + k * (period.last_day - period.first_day) / period.count);
      const int j = static_cast<int>(expense_key % 1000);
      expenses.Row({{E::kIProjectExpenseID, expense_key++},
                    {E::kProjectID, pr.key},
                    {E::kExpenseDate, day},
                    {E::kAmount, 5 + j * 37 % 500 + 0.25},
                    {E::kMarkup, j % 3 == 0 ? 10.0 : 0.0},
                    {E::kDescription, "Expense " + std::to_string(j)},
                    {E::kBilled, period.billed},
                    {E::kApproved, period.approved},
                    {E::kApprovedBy, period.approved ? Value("admin") : Value()},
                    {E::kApprovedOn, period.approved ? Value(day + 2) : Value()},
                    {E::kExchangeRate, j % 10 == 0 ? 1.35 : 1.0},
                    {E::kStaffID, pr.staff[rng() % pr.staff.size()]},
                    {E::kInvoiceID, period.billed ? Value(pr.invoices[rng() % pr.invoices.size()])
                                                  : Value()}});
    }
  }
  expenses.Send(db);
  db.Exec("UPDATE ISubScriber SET NextInvoiceNumber = " + std::to_string(next_number));
  db.Exec("COMMIT");
  SetKeySequence<U>(db);
  SetKeySequence<S>(db);
  SetKeySequence<T>(db);
  SetKeySequence<C>(db);
  SetKeySequence<P>(db);
  SetKeySequence<K>(db);
  SetKeySequence<F>(db);
  SetKeySequence<I>(db);
  SetKeySequence<X>(db);
  SetKeySequence<E>(db);
  db.Exec("ANALYZE");
}

// Provisions the subscriber through the library and fills it.
void Provision() {
  const auto started = std::chrono::steady_clock::now();
  std::string dir = (std::filesystem::temp_directory_path() / "brivos-pgbench-acct-XXXXXX").string();
  if (::mkdtemp(dir.data()) == nullptr) {
    std::perror("mkdtemp");
    std::exit(1);
  }
  std::filesystem::remove(dir);  // only its name is needed: the schema's name follows it
  g.account_text = dir + "\\A100";
  g.account = Variant(g.account_text);
  CreateSubscriberDatabase(g.account_text, "Acme", "admin", "secret");
  g.schema = CStr(OpenRecordset(g.account, "SELECT current_schema()")->Field(0));
  {
    PlainPg db(g.uri, g.schema);
    Fill(db);
    g.last_invoice = IntOf(db, "SELECT max(IProjectInvoiceID) FROM IProjectInvoice");
    g.next_number = IntOf(db, "SELECT NextInvoiceNumber FROM ISubScriber");
  }
  g.cutoff = Date::FromSerial(WorkDaySerial(kPgDays - 1));
  std::fprintf(stderr, "provisioned and filled schema %s in %.1f s\n", g.schema.c_str(),
               std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
}

// Drops the subscriber made for the run from a database this program did
// not start.
void DropSubscriber() {
  if (g.own_cluster || g.schema.empty()) return;
  ReleaseIdleConnections();
  PlainPg db(g.uri, "public");
  const Result role = db.Exec("SELECT role_name FROM brivos.subscriber WHERE schema_name = '" +
                              g.schema + "'");
  db.Exec("BEGIN");
  db.Exec("DROP SCHEMA " + g.schema + " CASCADE");
  db.Exec("DELETE FROM brivos.subscriber WHERE schema_name = '" + g.schema + "'");
  if (PQntuples(role.get()) == 1) {
    db.Exec("DROP ROLE \"" + std::string(PQgetvalue(role.get(), 0, 0)) + "\"");
  }
  db.Exec("COMMIT");
}

// --- what the benchmarks share ---------------------------------------------

std::vector<int> RandomUsers(int n, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_int_distribution<int> pick(0, kPgUsers - 1);
  std::vector<int> users;
  for (int i = 0; i < n; ++i) users.push_back(pick(rng));
  return users;
}

// The caller lookup every manager call makes, as plain code runs it.
class PgCaller {
 public:
  explicit PgCaller(PlainPg& db)
      : find_(db, IUser::Schema().select +
                      " WHERE UserName=$1 AND Parent=(SELECT ISubScriberID FROM ISubScriber "
                      "WHERE AccountNo=$2)"),
        account_number_(AccountNumberOf(g.account)) {}

  RawRow Find(std::string_view user) {
    const Result r = find_.Run({user, std::string_view(account_number_)});
    std::vector<RawRow> rows = Rows(r.get());
    if (rows.size() != 1) std::abort();
    return std::move(rows[0]);
  }

 private:
  PgStatement find_;
  std::string account_number_;
};

std::int64_t KeyOf(const RawValue& v) { return std::get<std::int64_t>(v); }

// --- caller lookup -----------------------------------------------------------

std::vector<std::string> CallerNames() {
  std::vector<std::string> names;
  for (int i : RandomUsers(kCallers, 17)) names.push_back(UserNameOf(i));
  return names;
}

void LibraryCaller(benchmark::State& state) {
  auto mgr = CreateObject("BRIVOS.CUserManager");
  std::vector<Variant> names;
  for (const std::string& name : CallerNames()) names.emplace_back(name);
  const Variant token(kAnyToken);
  std::size_t next = 0;
  const PerCall per_call;
  LibraryLoop(state, [&] {
    const Variant& name = names[next++ % names.size()];
    std::vector<Variant> args{g.account, name, token, g.account, name};
    Variant profile = mgr->Invoke("GetUserProfile", args);
    if (profile.AsObject() == nullptr) throw std::runtime_error("no profile for " + CStr(name));
    benchmark::DoNotOptimize(profile);
  });
  per_call.Report(state);
}

void PlainCallerLookup(benchmark::State& state) {
  const std::vector<std::string> names = CallerNames();
  PlainPg db(g.uri, g.schema);
  PgCaller caller(db);
  std::size_t next = 0;
  const PerCall per_call;
  for (auto _ : state) benchmark::DoNotOptimize(caller.Find(names[next++ % names.size()]));
  per_call.Report(state);
}

// --- sign-in -----------------------------------------------------------------

void LibrarySignIn(benchmark::State& state) {
  auto mgr = CreateObject("BRIVOS.CSecurityMgr");
  std::vector<std::pair<Variant, Variant>> users;
  for (int i : RandomUsers(kCallers, 29)) users.emplace_back(UserNameOf(i), PasswordOf(i));
  std::size_t next = 0;
  const PerCall per_call;
  LibraryLoop(state, [&] {
    const auto& [name, password] = users[next++ % users.size()];
    std::vector<Variant> args{g.account, name, password};
    Variant token = mgr->Invoke("BeginUserSession", args);
    if (CStr(token).size() != 32) throw std::runtime_error("bad token " + CStr(token));
    benchmark::DoNotOptimize(token);
  });
  per_call.Report(state);
}

void PlainSignIn(benchmark::State& state) {
  std::vector<std::pair<std::string, std::string>> users;
  for (int i : RandomUsers(kCallers, 29)) users.emplace_back(UserNameOf(i), PasswordOf(i));
  PlainPg db(g.uri, g.schema);
  PgStatement begin(db, "BEGIN"), commit(db, "COMMIT");
  PgStatement check(db, "SELECT * FROM IUser WHERE UserName=$1 AND Password=$2 AND AllowLogon=$3");
  PgStatement remove(db, "DELETE FROM SysSessions WHERE Account=$1 AND UserName=$2");
  PgStatement insert(db,
                     "INSERT INTO SysSessions (Account,UserName,Token) VALUES ($1,$2,$3) "
                     "RETURNING SysSessionsID");
  std::size_t next = 0;
  const PerCall per_call;
  for (auto _ : state) {
    const auto& [name, password] = users[next++ % users.size()];
    begin.Run({});
    if (Rows(check.Run({name, password, 1}).get()).empty()) std::abort();
    remove.Run({g.account_text, name});
    const std::string token = NewToken();
    benchmark::DoNotOptimize(KeyOf(Rows(insert.Run({g.account_text, name, token}).get())[0][0]));
    commit.Run({});
  }
  per_call.Report(state);
}

// --- AddTransaction ----------------------------------------------------------

struct NewSlip {
  std::string user;
  std::int64_t staff = 0, project = 0, task = 0;
  double rate = 0, cost = 0, ot_rate = 0, ot_cost = 0;
  int start_hour = 0, start_minute = 0, end_hour = 0, end_minute = 0;
  std::string description;
};

// Every staff row in a fixed random order, each with one of its project's
// tasks and a time of day.
std::vector<NewSlip> NewSlips() {
  PlainPg db(g.uri, g.schema);
  const Result rows = db.Exec(
      "SELECT s.IProjectStaffID, s.Parent, u.UserName, s.Rate, s.Cost, s.OTRate, s.OTCost, "
      "(SELECT min(IProjectTaskID) FROM IProjectTask k WHERE k.Parent = s.Parent) FROM "
      "IProjectStaff s JOIN IUser u ON u.IUserID = s.UserID ORDER BY s.IProjectStaffID");
  std::vector<NewSlip> slips;
  for (const RawRow& r : Rows(rows.get())) {
    const int n = static_cast<int>(slips.size());
    NewSlip& s = slips.emplace_back();
    s.staff = KeyOf(r[0]);
    s.project = KeyOf(r[1]);
    s.user = std::get<std::string>(r[2]);
    s.rate = std::get<double>(r[3]);
    s.cost = std::get<double>(r[4]);
    s.ot_rate = std::get<double>(r[5]);
    s.ot_cost = std::get<double>(r[6]);
    s.task = KeyOf(r[7]) + n % kPgTasks;
    s.start_hour = 8 + n % 9;
    s.start_minute = n % 4 * 15;
    s.end_hour = s.start_hour + 1;
    s.end_minute = n % 3 * 10;
    s.description = "Bench slip " + std::to_string(n) + " of the day";
  }
  std::shuffle(slips.begin(), slips.end(), std::mt19937_64(41));
  return slips;
}

// The work day after the data's last, outside every week the reads list.
Date NewSlipDay() { return Date::FromSerial(WorkDaySerial(kPgDays)); }

void LibraryAdd(benchmark::State& state) {
  auto mgr = CreateObject("BRIVOS.CProjectMgr");
  const Variant day(NewSlipDay());
  std::vector<std::vector<Variant>> calls;
  for (const NewSlip& s : NewSlips()) {
    calls.push_back({g.account, Variant(s.user), Variant(kAnyToken),
                     Variant(static_cast<std::int32_t>(s.project)), day, Variant(s.start_hour),
                     Variant(s.start_minute), Variant(s.end_hour), Variant(s.end_minute),
                     Variant(s.description), Variant(1), Variant(Currency::FromDouble(s.rate)),
                     Variant(Currency::FromDouble(s.cost)), Variant(Currency::FromDouble(s.ot_cost)),
                     Variant(Currency::FromDouble(s.ot_rate)), Variant(""),
                     Variant(static_cast<std::int32_t>(s.task)),
                     Variant(static_cast<std::int32_t>(s.staff)), Variant(false)});
  }
  std::size_t next = 0;
  const PerCall per_call;
  LibraryLoop(state, [&] {
    std::vector<Variant> args = calls[next++ % calls.size()];
    Variant key = mgr->Invoke("AddTransaction", args);
    if (CLng(key) <= 0) throw std::runtime_error("no key");
    benchmark::DoNotOptimize(key);
  });
  per_call.Report(state);
}

void PlainAdd(benchmark::State& state) {
  const std::vector<NewSlip> slips = NewSlips();
  const double day = NewSlipDay().Serial();
  PlainPg db(g.uri, g.schema);
  PgCaller caller(db);
  PgStatement staff(db, IProjectStaff::Schema().select + " WHERE IProjectStaffID=$1");
  PgStatement project(db, IProject::Schema().select + " WHERE IProjectID=$1");
  PgStatement task(db, IProjectTask::Schema().select + " WHERE IProjectTaskID=$1");
  PgStatement insert(db,
                     "INSERT INTO IProjectTransaction (TransDate,StartTime,StopTime,Parent,"
                     "Description,Status,StaffRate,StaffCost,OTCost,OTRate,Error,TaskID,StaffID,"
                     "OverTime) VALUES ($1,$2,$3,$4,$5,$6,$7,$8,$9,$10,$11,$12,$13,$14) RETURNING "
                     "IProjectTransactionID");
  std::size_t next = 0;
  const PerCall per_call;
  for (auto _ : state) {
    const NewSlip& s = slips[next++ % slips.size()];
    benchmark::DoNotOptimize(caller.Find(s.user));
    const std::pair<PgStatement*, std::int64_t> reads[] = {
        {&staff, s.staff}, {&project, s.project}, {&task, s.task}};
    for (const auto& [statement, key] : reads) {
      if (Rows(statement->Run({key}).get()).size() != 1) std::abort();
    }
    const Result r = insert.Run({day, SlipStamp(day, s.start_hour * 60 + s.start_minute),
                                 SlipStamp(day, s.end_hour * 60 + s.end_minute), s.project,
                                 std::string_view(s.description), 1, s.rate, s.cost, s.ot_cost,
                                 s.ot_rate, "", s.task, s.staff, 0});
    benchmark::DoNotOptimize(KeyOf(Rows(r.get())[0][0]));
  }
  per_call.Report(state);
}

// --- GetTransactionsForWeek --------------------------------------------------

Date WeekStart() { return Date::FromSerial(WorkDaySerial(kPgDays - 5)); }

void LibraryWeek(benchmark::State& state) {
  auto mgr = CreateObject("BRIVOS.CProjectMgr");
  const Variant user(UserNameOf(kWeekUser));
  const Variant week(WeekStart());
  std::int32_t rows = 0;
  const PerCall per_call;
  LibraryLoop(state, [&] {
    std::vector<Variant> args{g.account, user, Variant(kAnyToken), week, user};
    auto list = CollectionOf(mgr->Invoke("GetTransactionsForWeek", args));
    rows = list->Count();
    benchmark::DoNotOptimize(list);
  });
  per_call.Report(state);
  state.counters["rows"] = rows;
}

// Binds the day serials the library's CDATE calls give.
void PlainWeek(benchmark::State& state) {
  const std::string user = UserNameOf(kWeekUser);
  const double first = WeekStart().Serial(), last = first + 6;
  PlainPg db(g.uri, g.schema);
  PgCaller caller(db);
  PgStatement week(db,
                   "SELECT * FROM IProjectTransaction WHERE TransDate>=$1 AND TransDate<=$2 AND "
                   "StaffID IN (SELECT IProjectStaffID FROM IProjectStaff WHERE UserID=$3) ORDER "
                   "BY Parent ASC NULLS FIRST, TransDate ASC NULLS FIRST, StartTime ASC NULLS "
                   "FIRST");
  std::size_t rows = 0;
  const PerCall per_call;
  for (auto _ : state) {
    const RawRow found = caller.Find(user);
    std::vector<RawRow> slips = Rows(week.Run({first, last, KeyOf(found[IUser::kIUserID])}).get());
    rows = slips.size();
    benchmark::DoNotOptimize(slips);
  }
  per_call.Report(state);
  state.counters["rows"] = static_cast<double>(rows);
}

// --- InvoiceAllProjects ------------------------------------------------------

// Takes back what earlier runs invoiced and vacuums what that left, so that
// every run starts alike.
void Restore() {
  PlainPg db(g.uri, g.schema);
  const std::string last = std::to_string(g.last_invoice);
  db.Exec("BEGIN");
  db.Exec("UPDATE IProjectTransaction SET Status=2, InvoiceID=NULL WHERE InvoiceID>" + last);
  db.Exec("UPDATE IProjectExpense SET Billed=0, InvoiceID=NULL WHERE InvoiceID>" + last);
  db.Exec("DELETE FROM IProjectInvoice WHERE IProjectInvoiceID>" + last);
  db.Exec("UPDATE ISubScriber SET NextInvoiceNumber=" + std::to_string(g.next_number));
  db.Exec("COMMIT");
  db.Exec("VACUUM ANALYZE IProjectTransaction, IProjectExpense, IProjectInvoice, ISubScriber");
}

// What the run invoiced, or why it is wrong.
std::string CheckInvoiced() {
  PlainPg db(g.uri, g.schema);
  const std::string last = std::to_string(g.last_invoice);
  const std::int64_t invoices =
      IntOf(db, "SELECT count(*) FROM IProjectInvoice WHERE IProjectInvoiceID>" + last);
  const std::int64_t slips = IntOf(
      db, "SELECT count(*) FROM IProjectTransaction WHERE InvoiceID>" + last + " AND Status=3");
  const std::int64_t expenses = IntOf(
      db, "SELECT count(*) FROM IProjectExpense WHERE InvoiceID>" + last + " AND Billed=1");
  if (invoices == kPgProjects && slips == kPgApproved && expenses == kPgApprovedExpenses) return "";
  return "invoiced " + std::to_string(invoices) + " projects, " + std::to_string(slips) +
         " slips, " + std::to_string(expenses) + " expenses";
}

void Finish(benchmark::State& state) {
  if (const std::string wrong = CheckInvoiced(); !wrong.empty()) state.SkipWithError(wrong.c_str());
}

void LibraryInvoiceAll(benchmark::State& state) {
  Restore();
  auto mgr = CreateObject("BRIVOS.CInvoiceMgr");
  const PerCall per_call;
  LibraryLoop(state, [&] {
    std::vector<Variant> args{g.account, Variant("admin"), Variant(kAnyToken), Variant(g.cutoff)};
    mgr->Invoke("InvoiceAllProjects", args);
  });
  per_call.Report(state);
  Finish(state);
}

// The same changes by plain libpq, all in one transaction (the floor), or in
// one transaction per project; with `priced`, each project's lines are also
// read as the library reads them to price the invoice before making it.
void PlainInvoiceAll(benchmark::State& state, bool per_project, bool priced) {
  Restore();
  const std::string account_number = AccountNumberOf(g.account);
  PlainPg db(g.uri, g.schema);
  PgStatement begin(db, "BEGIN"), commit(db, "COMMIT");
  PgStatement subscriber(db,
                         "SELECT NextInvoiceNumber, DefaultInvoiceNotes, DefaultInvoiceFormat FROM "
                         "ISubScriber WHERE AccountNo=$1 FOR UPDATE");
  PgStatement projects(db,
                       "SELECT p.IProjectID, p.Billable, c.DefaultTerms FROM IProject p JOIN "
                       "SFAProspect c ON c.SFAProspectID=p.ClientID WHERE p.Status=2 ORDER BY "
                       "p.Parent, p.IProjectID");
  PgStatement slips_exist(db,
                          "SELECT 1 FROM IProjectTransaction WHERE Parent=$1 AND Status=2 AND "
                          "TransDate<=$2 LIMIT 1");
  PgStatement expenses_exist(db,
                             "SELECT 1 FROM IProjectExpense WHERE Parent=$1 AND Billed=0 AND "
                             "Approved=1 AND ExpenseDate<=$2 LIMIT 1");
  PgStatement insert(db,
                     "INSERT INTO IProjectInvoice (Parent,InvoiceNumber,Status,Terms,Notes,Format,"
                     "InvoiceDate,CreateDate,LastModified,CreatedBy,LastModifiedBy) VALUES "
                     "($1,$2,$3,$4,$5,$6,$7,$8,$9,$10,$11) RETURNING IProjectInvoiceID");
  PgStatement bill_slips(db,
                         "UPDATE IProjectTransaction SET Status=3,InvoiceID=$1 WHERE Parent=$2 AND "
                         "Status=2 AND TransDate<=$3");
  PgStatement bill_expenses(db,
                            "UPDATE IProjectExpense SET Billed=1,InvoiceID=$1 WHERE Parent=$2 AND "
                            "Billed=0 AND Approved=1 AND ExpenseDate<=$3");
  PgStatement count_up(db, "UPDATE ISubScriber SET NextInvoiceNumber=$1 WHERE AccountNo=$2");
  PgStatement price_slips(db,
                          "SELECT StartTime, StopTime, OverTime, OTRate, StaffRate FROM "
                          "IProjectTransaction WHERE Parent=$1 AND Status=2 AND TransDate<=$2 ORDER "
                          "BY TaskID ASC NULLS FIRST, StaffID ASC NULLS FIRST, TransDate ASC NULLS "
                          "FIRST");
  PgStatement price_expenses(db,
                             "SELECT Amount, ExchangeRate, Markup FROM IProjectExpense WHERE "
                             "Parent=$1 AND Billed=0 AND Approved=1 AND ExpenseDate<=$2");
  const double cutoff = g.cutoff.Serial();
  std::int64_t number = 0;
  Arg notes = Arg::Null(), format = Arg::Null();
  // A column's value as a parameter again, Null as Null.
  const auto as_arg = [](const RawValue& v) {
    if (const auto* text = std::get_if<std::string>(&v)) return Arg(*text);
    if (const auto* n = std::get_if<std::int64_t>(&v)) return Arg(*n);
    return Arg::Null();
  };
  const auto begin_unit = [&] {
    begin.Run({});
    const std::vector<RawRow> row = Rows(subscriber.Run({std::string_view(account_number)}).get());
    number = KeyOf(row.at(0)[0]);
    notes = as_arg(row[0][1]);
    format = as_arg(row[0][2]);
  };
  const auto commit_unit = [&] {
    count_up.Run({number, std::string_view(account_number)});
    commit.Run({});
  };
  const PerCall per_call;
  for (auto _ : state) {
    const double now = LocalNowSerial();
    if (!per_project) begin_unit();
    for (const RawRow& p : Rows(projects.Run({}).get())) {
      if (std::holds_alternative<std::monostate>(p[1]) || KeyOf(p[1]) == 0) continue;
      if (per_project) begin_unit();
      const std::int64_t key = KeyOf(p[0]);
      if (PQntuples(slips_exist.Run({key, cutoff}).get()) > 0 ||
          PQntuples(expenses_exist.Run({key, cutoff}).get()) > 0) {
        if (priced) {
          benchmark::DoNotOptimize(Rows(price_slips.Run({key, cutoff}).get()));
          benchmark::DoNotOptimize(Rows(price_expenses.Run({key, cutoff}).get()));
        }
        const Result invoice =
            insert.Run({key, std::to_string(number++), int{eInvoiceStatus::isTrial}, as_arg(p[2]),
                        notes, format, now, now, now, "admin", "admin"});
        const std::int64_t id = KeyOf(Rows(invoice.get())[0][0]);
        bill_slips.Run({id, key, cutoff});
        bill_expenses.Run({id, key, cutoff});
      }
      if (per_project) commit_unit();
    }
    if (!per_project) commit_unit();
  }
  per_call.Report(state);
  Finish(state);
}

// --- statements per call ---------------------------------------------------------

// How many statements one late-bound call makes through the library.
int StatementsOf(const char* manager, const char* method, std::vector<Variant> args) {
  int count = 0;
  internal::ObserveStatements([&](std::string_view) { ++count; });
  CreateObject(manager)->Invoke(method, args);
  internal::ObserveStatements(nullptr);
  return count;
}

void PrintStatementCounts() {
  const Variant user(UserNameOf(kWeekUser)), token(kAnyToken);
  const NewSlip s = NewSlips().front();
  std::fprintf(
      stderr,
      "library statements per call (plain: 1, 3, 5, 2; the library's and plain's units of work "
      "add BEGIN and COMMIT): GetUserProfile %d, BeginUserSession %d, AddTransaction %d, "
      "GetTransactionsForWeek %d\n",
      StatementsOf("BRIVOS.CUserManager", "GetUserProfile", {g.account, user, token, g.account, user}),
      StatementsOf("BRIVOS.CSecurityMgr", "BeginUserSession",
                   {g.account, user, Variant(PasswordOf(kWeekUser))}),
      StatementsOf("BRIVOS.CProjectMgr", "AddTransaction",
                   {g.account, Variant(s.user), token, Variant(static_cast<std::int32_t>(s.project)),
                    Variant(NewSlipDay()), Variant(9), Variant(0), Variant(10), Variant(0),
                    Variant("counted"), Variant(1), Variant(Currency::FromDouble(s.rate)),
                    Variant(Currency::FromDouble(s.cost)), Variant(Currency::FromDouble(s.ot_cost)),
                    Variant(Currency::FromDouble(s.ot_rate)), Variant(""),
                    Variant(static_cast<std::int32_t>(s.task)),
                    Variant(static_cast<std::int32_t>(s.staff)), Variant(false)}),
      StatementsOf("BRIVOS.CProjectMgr", "GetTransactionsForWeek",
                   {g.account, user, token, Variant(WeekStart()), user}));
  std::fprintf(stderr, "library statements of one InvoiceAllProjects run: %d\n",
               StatementsOf("BRIVOS.CInvoiceMgr", "InvoiceAllProjects",
                            {g.account, Variant("admin"), token, Variant(g.cutoff)}));
  Restore();
}

}  // namespace

Program ThisProgram() {
  const char* url = std::getenv("BRIVOS_DATABASE_URL");
  if (url != nullptr && *url != '\0') {
    g.uri = url;
  } else {
    g.uri = StartCluster();
    g.own_cluster = true;
    ::setenv("BRIVOS_DATABASE_URL", g.uri.c_str(), 1);
  }
  try {
    Provision();
    PrintStatementCounts();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "could not provision the subscriber: %s\n", e.what());
    DropSubscriber();
    std::exit(1);
  }

  const Settings us{};
  Twins("CallerLookup", us, LibraryCaller, PlainCallerLookup);
  Twins("SignIn", us, LibrarySignIn, PlainSignIn);
  Twins("AddTransaction", {.iterations = kSlipsPerRun}, LibraryAdd, PlainAdd);
  Twins("GetTransactionsForWeek", us, LibraryWeek, PlainWeek);
  const std::string all = "InvoiceAllProjects/";
  const Settings run{.unit = benchmark::kMillisecond,
                     .iterations = 1,
                     .repetitions = kInvoiceRuns,
                     .real_time = true};
  Register(all + "library", run, LibraryInvoiceAll);
  Register(all + "plain", run, PlainInvoiceAll, false, false);
  Register(all + "plain-per-project", run, PlainInvoiceAll, true, false);
  Register(all + "plain-per-project-priced", run, PlainInvoiceAll, true, true);

  // The targets apply to the wall time and to the CPU time of this process
  // and the server together; this process's own CPU time is shown beside.
  Program program;
  const auto compare = [&](const std::string& what, const std::string& library,
                           const std::string& plain, double most) {
    program.comparisons.push_back(Comparison::Counter(what + ": library/plain, wall per call",
                                                      library, plain, "wall_us", most));
    program.comparisons.push_back(Comparison::Counter(
        what + ": library/plain, CPU of client and server", library, plain, "cpu_us", most));
    program.comparisons.push_back(
        Comparison::Time(what + ": library/plain, this process alone", library, plain));
  };
  for (const char* name : {"CallerLookup", "SignIn", "AddTransaction", "GetTransactionsForWeek"}) {
    const std::string library = std::string(name) + "/library";
    compare(name, library, std::string(name) + "/plain", 1.3);
    program.comparisons.push_back(
        Comparison::Absolute(std::string(name) + ", library: time per call", library, 0, "us"));
  }
  program.comparisons.push_back(
      Comparison::Counter("GetTransactionsForWeek: slips listed, library/plain",
                          "GetTransactionsForWeek/library", "GetTransactionsForWeek/plain", "rows"));
  compare("InvoiceAllProjects, 40 projects, plain in one transaction", all + "library",
          all + "plain", 2);
  compare("InvoiceAllProjects, plain in one transaction per project", all + "library",
          all + "plain-per-project", 1.3);
  compare("InvoiceAllProjects, plain per project reading the lines it prices", all + "library",
          all + "plain-per-project-priced", 0);
  program.comparisons.push_back(Comparison::Absolute("InvoiceAllProjects, library: time per run",
                                                     all + "library", 0, "ms"));
  program.comparisons.push_back(Comparison::Absolute(
      "InvoiceAllProjects, plain in one transaction: time per run", all + "plain", 0, "ms"));
  program.after = [] {
    DropSubscriber();
    StopCluster();
  };
  return program;
}

}  // namespace brivos::bench
