// The PostgreSQL backend against its server: connections the server closed,
// a commit whose answer is lost, tables changed under loaded statements, the
// statement cache and the pool's bound. Runs on PostgreSQL only.
#if __has_include(<libpq-fe.h>)

#include "brivos/database/postgresql/PgBackend.hpp"

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "brivos/brivos.hpp"
#include "brivos/database/Database.hpp"
#include "brivos/database/OutcomeUnknown.hpp"
#include "tests/support/SubscriberFixture.hpp"

namespace brivos::testing {
namespace {

// The cluster's own superuser, for what no firm may do: ending another
// connection's server process, changing a firm's tables.
class Superuser {
 public:
  // Not connected where no database is named (the tests then skip).
  Superuser() {
    if (const char* url = std::getenv("BRIVOS_DATABASE_URL")) conn_ = PQconnectdb(url);
  }
  ~Superuser() { PQfinish(conn_); }
  Superuser(const Superuser&) = delete;
  Superuser& operator=(const Superuser&) = delete;

  // The first value of the first row of `sql`.
  std::string Value(const std::string& sql) {
    PGresult* r = PQexec(conn_, sql.c_str());
    const ExecStatusType status = PQresultStatus(r);
    EXPECT_TRUE(status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK)
        << sql << ": " << PQerrorMessage(conn_);
    std::string out = PQntuples(r) > 0 ? PQgetvalue(r, 0, 0) : "";
    PQclear(r);
    return out;
  }
  // Ends the server process `pid` and waits until it is gone.
  void Terminate(const std::string& pid) {
    Value("SELECT pg_terminate_backend(" + pid + ")");
    while (Value("SELECT count(*) FROM pg_stat_activity WHERE pid = " + pid) != "0") {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

 private:
  PGconn* conn_ = nullptr;
};

std::string BackendPid(Connection& conn) {
  return CStr(conn.Query("SELECT pg_backend_pid() AS p")->Field(0));
}

class PgBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("BRIVOS_DATABASE_URL") == nullptr) GTEST_SKIP() << "runs on PostgreSQL only";
    CreateSubscriberDatabase(CStr(a_), "Acme Consulting", "admin", "secret");
  }
  TempDir dir_;
  const Variant a_{dir_.Path() + "\\A100"};
  Superuser super_;
};

// A connection whose server process ended while it was idle, in the pool or
// held by its caller, is opened anew before the next statement is sent.
TEST_F(PgBackendTest, AConnectionClosedByTheServerWhileIdleIsOpenedAnew) {
  for (const bool held : {false, true}) {
    SCOPED_TRACE(held ? "held by its caller" : "idle in the pool");
    std::optional<Connection> holder;
    std::string pid;
    {
      Connection conn = Connection::Open(a_);
      pid = BackendPid(conn);
      if (held) holder.emplace(std::move(conn));
    }
    super_.Terminate(pid);
    Connection next = held ? std::move(*holder) : Connection::Open(a_);
    std::string after;
    EXPECT_EQ(RaisedNumber([&] { after = BackendPid(next); }), 0);
    EXPECT_NE(after, pid);
  }
}

// A child forked while the parent's connections sit in the pool, twice over,
// opens its own each time: the parent's stay the parent's and still serve it.
TEST_F(PgBackendTest, AForkedChildNeverTakesItsParentsPooledConnection) {
  std::string parent;
  {
    Connection conn = Connection::Open(a_);
    parent = BackendPid(conn);
  }
  for (int generation = 0; generation < 2; ++generation) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    if (child == 0) {
      close(fds[0]);
      std::string mine;
      const int failed = RaisedNumber([&] {
        Connection conn = Connection::Open(a_);
        mine = BackendPid(conn);
      });
      const bool own = failed == 0 && !mine.empty() && mine != parent;
      _exit(write(fds[1], &own, 1) == 1 && own ? 0 : 1);
    }
    close(fds[1]);
    bool own = false;
    EXPECT_EQ(read(fds[0], &own, 1), 1);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(own && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "generation " << generation;
    Connection conn = Connection::Open(a_);
    EXPECT_EQ(BackendPid(conn), parent);
  }
}

// A COMMIT sent on a connection the server then closes is neither done nor
// failed: its own error; the firm is served at once after it.
TEST_F(PgBackendTest, ACommitWhoseAnswerIsLostIsReportedAsUnknown) {
  {
    UnitOfWork work(a_);
    work.Db().Execute("UPDATE ISubScriber SET CompanyName = 'Changed'");
    super_.Terminate(BackendPid(work.Db()));
    const Error e = ExpectError([&] { work.Commit(); }, errnum::kDbOutcomeUnknown);
    EXPECT_NE(e.Description().find(kOutcomeUnknownMessage), std::string::npos) << e.Description();
  }
  EXPECT_EQ(CStr(Connection::Open(a_).Query("SELECT CompanyName FROM ISubScriber")->Field(0)),
            "Acme Consulting");
}

// A column added to a table whose rows were read before is read as its own
// kind, and a statement prepared before the change runs after it.
TEST_F(PgBackendTest, AColumnAddedToALoadedTableIsReadByItsKind) {
  Connection conn = Connection::Open(a_);
  const int before = conn.Query("SELECT * FROM ISubScriber")->FieldCount();
  const std::string schema = CStr(conn.Query("SELECT current_schema() AS s")->Field(0));
  super_.Value("ALTER TABLE \"" + schema + "\".isubscriber ADD COLUMN started brivos.brivos_date");
  conn.Execute("UPDATE ISubScriber SET Started = 45000.5");
  const auto added = conn.Query("SELECT Started FROM ISubScriber");
  EXPECT_EQ(added->Field(0).Type(), VarType::Date);
  EXPECT_EQ(conn.Query("SELECT * FROM ISubScriber")->FieldCount(), before + 1);
}

// A full statement cache lets go of its least recently used statement only:
// one used all along stays prepared, and the cache stays full.
TEST_F(PgBackendTest, AFullStatementCacheLetsGoOfTheLeastRecentlyUsedOne) {
  Connection conn = Connection::Open(a_);
  const std::string kept = "SELECT 0 AS n";
  for (int i = 1; i <= 200; ++i) {
    conn.Query(kept);
    conn.Query("SELECT " + std::to_string(i) + " AS n");
  }
  const auto prepared = conn.Query(
      "SELECT count(*) AS n, count(*) FILTER (WHERE statement = 'SELECT 0 AS n') AS k "
      "FROM pg_prepared_statements");
  EXPECT_EQ(CLng(prepared->Field(0)), 128);
  EXPECT_EQ(CLng(prepared->Field(1)), 1);
}

// The pool holds as many connections as it is allowed, idle and in use
// together, closes the least recently used idle one to open another, and
// says so in its figures.
TEST_F(PgBackendTest, ThePoolStaysWithinItsBoundAndCountsWhatItCloses) {
  const Variant b(dir_.Path() + "\\B200"), c(dir_.Path() + "\\C300");
  CreateSubscriberDatabase(CStr(b), "Bolt Legal", "admin", "secret");
  CreateSubscriberDatabase(CStr(c), "Cole & Co", "admin", "secret");
  ::setenv("BRIVOS_POOL_MAX_CONNECTIONS", "2", 1);
  internal::PgBackend backend(std::getenv("BRIVOS_DATABASE_URL"));
  ::unsetenv("BRIVOS_POOL_MAX_CONNECTIONS");
  const BackendScope scope(backend);
  {
    Connection in_a = Connection::Open(a_), in_b = Connection::Open(b);
    const PoolStatistics busy = backend.Statistics();
    EXPECT_EQ(busy.open_connections, 2u);
    EXPECT_EQ(busy.idle_connections, 0u);
    EXPECT_EQ(busy.max_connections, 2u);
  }
  PoolStatistics figures = backend.Statistics();
  EXPECT_EQ(figures.idle_connections, 2u);
  EXPECT_EQ(figures.files, 2u);
  EXPECT_EQ(figures.evictions, 0u);
  Connection in_c = Connection::Open(c);
  EXPECT_EQ(CStr(in_c.Query("SELECT CompanyName FROM ISubScriber")->Field(0)), "Cole & Co");
  figures = backend.Statistics();
  EXPECT_EQ(figures.open_connections, 2u);
  EXPECT_EQ(figures.idle_connections, 1u);
  EXPECT_EQ(figures.evictions, 1u);
}

// A client's report statement runs as the firm's reader: secrets read as
// NULL under any alias or expression, and it cannot reach the firm's tables
// themselves, change the schema, write, or take or see a lock, its own
// firm's or another's.
TEST_F(PgBackendTest, AReportStatementRunsAsAReaderThatSeesNoSecretAndChangesNothing) {
  const Variant b(dir_.Path() + "\\B200");
  CreateSubscriberDatabase(CStr(b), "Bolt Legal", "admin", "secret");
  Connection::Open(a_).Execute(
      "INSERT INTO SysSessions (Account, UserName, Token) VALUES ('A100', 'admin', 'tok')");
  const std::string schema =
      CStr(Connection::Open(a_).Query("SELECT current_schema() AS s")->Field(0));
  const std::string other_schema =
      CStr(Connection::Open(b).Query("SELECT current_schema() AS s")->Field(0));
  const std::string other_key = super_.Value(
      "SELECT lock_key FROM brivos.subscriber WHERE schema_name = '" + other_schema + "'");
  ASSERT_FALSE(other_key.empty());
  struct Case {
    std::string sql;
    std::int32_t number;  // 0: runs, its first column NULL in every row
  };
  const std::int32_t kRefused = errnum::kDbStatementRejected;
  for (const Case& c : std::vector<Case>{
           {"SELECT Password AS p, UserName FROM IUser", 0},
           {"SELECT lower(Password) || '!' AS p FROM IUser", 0},
           {"SELECT u.Token FROM SysSessions u", 0},
           {"SELECT (SELECT max(Token) FROM SysSessions) AS t", 0},
           {"SELECT Password FROM " + schema + ".IUser", kRefused},
           {"SELECT set_config('role', 'none', true) AS r, query_to_xml('SELECT Password FROM " +
                schema + ".iuser', true, false, '') AS x",
            kRefused},
           {"ALTER TABLE IUser RENAME COLUMN Password TO pw", kRefused},
           {"UPDATE IUser SET FirstName = 'x' RETURNING Password", kRefused},
           {"DELETE FROM SysSessions", kRefused},
           {"SELECT pg_advisory_xact_lock(" + other_key + ")", kRefused},
           {"SELECT count(*) AS n FROM pg_locks", kRefused},
       }) {
    SCOPED_TRACE(c.sql);
    const SecretColumnsHidden hidden;
    Variant text(c.sql);
    std::shared_ptr<Recordset> rows;
    EXPECT_EQ(RaisedNumber([&] { rows = CReportMgr{}.ExecReportQuery(a_, text); }), c.number);
    if (c.number != 0 || !rows) continue;
    ASSERT_GT(rows->RecordCount(), 0);
    for (rows->MoveFirst(); !rows->Eof(); rows->MoveNext()) EXPECT_TRUE(rows->Field(0).IsNull());
  }
  // The firm's own statements still read the secrets, and its tables are as
  // they were.
  EXPECT_EQ(CStr(Connection::Open(a_).Query("SELECT Token FROM SysSessions")->Field(0)), "tok");
  EXPECT_EQ(CLng(Connection::Open(a_)
                     .Query("SELECT count(*) AS n FROM IUser "
                            "WHERE FirstName = 'x'")
                     ->Field(0)),
            0);
}

// A firm provisioned before firms had three roles (its schema named after
// its number, one role owning and writing it, no lock key) is found and
// served, and its units of work get a lock key of their own.
TEST_F(PgBackendTest, AFirmProvisionedBeforeTheRolesKeepsWorking) {
  const Variant old(dir_.Path() + "\\L100");
  const std::string schema = internal::PgBackend::SchemaOf(old);
  const std::string role = schema + "_legacy";
  super_.Value("CREATE ROLE \"" + role + "\" LOGIN PASSWORD 'pw'");
  super_.Value("CREATE SCHEMA \"" + schema + "\" AUTHORIZATION \"" + role + "\"");
  super_.Value("CREATE TABLE \"" + schema + "\".counter (n integer); INSERT INTO \"" + schema +
               "\".counter VALUES (0); ALTER TABLE \"" + schema + "\".counter OWNER TO \"" + role +
               "\"");
  super_.Value("INSERT INTO brivos.subscriber (schema_name, role_name, password) VALUES ('" +
               schema + "', '" + role + "', 'pw')");
  {
    // A process of this version starting: its backend sees the firm first.
    internal::PgBackend backend(std::getenv("BRIVOS_DATABASE_URL"));
    const BackendScope scope(backend);
    for (int i = 0; i < 2; ++i) {
      UnitOfWork work(old);
      work.Db().Execute("UPDATE Counter SET N = N + 1");
      work.Commit();
    }
    EXPECT_EQ(CLng(Connection::Open(old).Query("SELECT N FROM Counter")->Field(0)), 2);
  }
  EXPECT_NE(super_.Value("SELECT coalesce(lock_key::text, '') FROM brivos.subscriber "
                         "WHERE schema_name = '" +
                         schema + "'"),
            "");
}

}  // namespace
}  // namespace brivos::testing

#endif
