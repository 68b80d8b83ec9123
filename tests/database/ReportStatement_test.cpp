#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "brivos/brivos.hpp"
#include "tests/support/SubscriberFixture.hpp"

namespace brivos::testing {
namespace {

namespace fs = std::filesystem;

// A report statement is the caller's own text: it reaches the account's own
// tables and leaves the pooled connection it ran on as it found it.
class ReportStatementTest : public SubscriberTest {
 protected:
  std::shared_ptr<Recordset> Report(const std::string& sql) {
    Variant text(sql);
    return CReportMgr{}.ExecReportQuery(account, text);
  }
};

TEST_F(ReportStatementTest, ReadsAndWritesOfTheAccountsOwnTablesRun) {
  struct Case {
    const char* sql;
    const char* first_field;  // nullptr: the statement gives no rows
  };
  const Case cases[] = {
      {"CREATE TABLE Notes (N INTEGER, T VARCHAR(10))", nullptr},
      {"INSERT INTO Notes (N, T) VALUES (1, 'one')", nullptr},
      {"SELECT name FROM pragma_table_info('Notes')", "N"},
      {"UPDATE Notes SET T = UCASE(T)", nullptr},
      {"CREATE INDEX NotesByT ON Notes (T)", nullptr},
      {"SELECT T FROM Notes", "ONE"},
      {"WITH RECURSIVE k(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM k WHERE x<3) "
       "SELECT SUM(x) FROM k",
       "6"},
      {"SELECT COUNT(*) FROM main.IUser", "1"},
      {"DELETE FROM Notes", nullptr},
      {"DROP TABLE Notes", nullptr},
  };
  for (const Case& c : cases) {
    std::shared_ptr<Recordset> rows;
    ASSERT_EQ(RaisedNumber([&] { rows = Report(c.sql); }), 0) << c.sql;
    if (c.first_field == nullptr) {
      EXPECT_FALSE(rows->IsOpen()) << c.sql;
    } else {
      EXPECT_EQ(CStr(rows->Field(0)), c.first_field) << c.sql;
    }
  }
}

TEST_F(ReportStatementTest, StatementsReachingBeyondTheAccountOrItsConnectionAreRefused) {
  CreateSubscriberDatabase(dir.Path() + "\\B200", "Rival", "boss", "hidden");
  const std::string copy = dir.Path() + "/C300.mdb";
  const std::vector<std::string> refused = {
      "ATTACH DATABASE '" + dir.Path() + "/B200.mdb' AS o",
      "DETACH DATABASE o",
      "VACUUM INTO '" + copy + "'",
      "PRAGMA query_only=1",
      "PRAGMA query_only",
      "CREATE TEMP TRIGGER Lose AFTER INSERT ON main.SysSessions BEGIN DELETE FROM SysSessions; "
      "END",
      "CREATE TRIGGER temp.Lose AFTER INSERT ON main.SysSessions BEGIN SELECT 1; END",
      "CREATE TEMP TABLE Scratch (X INTEGER)",
      "CREATE TABLE temp.Scratch (X INTEGER)",
      "CREATE TEMP VIEW Users AS SELECT * FROM IUser",
      "BEGIN",
      "SAVEPOINT s",
      "SELECT load_extension('/tmp/nowhere')",
  };
  for (const std::string& sql : refused) {
    EXPECT_EQ(RaisedNumber([&] { Report(sql); }), errnum::kDbStatementRejected) << sql;
  }
  EXPECT_FALSE(fs::exists(copy));

  // The connection those ran on serves the next calls unchanged.
  EXPECT_EQ(RaisedNumber([&] { Report("SELECT UserName, Password FROM o.IUser"); }),
            errnum::kDbStatementRejected);
  EXPECT_EQ(RaisedNumber([&] { Report("UPDATE IUser SET Rate = 12.5"); }), 0);
  Variant user("admin"), password("secret");
  const std::string token = CSecurityMgr{}.BeginUserSession(account, user, password);
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM SysSessions")), 1);
  Variant token_value(token);
  EXPECT_EQ(CStr(CSecurityMgr{}.GetSysSession(account, token_value)->UserName()), "admin");
}

TEST_F(ReportStatementTest, AStatementWithoutAnEndStopsAtItsBudget) {
  SetReportTimeBudget(std::chrono::milliseconds(200));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RaisedNumber([&] {
              Report(
                  "WITH RECURSIVE k(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM k) SELECT MAX(x) "
                  "FROM k");
            }),
            errnum::kDbTimeout);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  SetReportTimeBudget(std::chrono::seconds(30));
  EXPECT_EQ(CStr(Report("SELECT COUNT(*) FROM IUser")->Field(0)), "1") << "the file still serves";
}

// A service that must stop interrupts the calls still running: the
// statement raises on its own thread long before its budget, and the
// database serves the next call.
TEST_F(ReportStatementTest, AStatementRunningOnAnotherThreadStopsWhenInterrupted) {
  SetReportTimeBudget(std::chrono::minutes(2));
  const auto start = std::chrono::steady_clock::now();
  auto running = std::async(std::launch::async, [&] {
    return RaisedNumber([&] {
      Report("WITH RECURSIVE k(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM k) SELECT MAX(x) FROM k");
    });
  });
  // Until the statement has begun, an interrupt finds nothing to stop.
  while (running.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
    InterruptRunningStatements();
  }
  EXPECT_EQ(running.get(), errnum::kDbTimeout);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::minutes(1));
  SetReportTimeBudget(std::chrono::seconds(30));
  EXPECT_EQ(CStr(Report("SELECT COUNT(*) FROM IUser")->Field(0)), "1") << "the file still serves";
}

TEST_F(ReportStatementTest, FunctionsReachingPastTheDatabaseAreRefused) {
  struct Case {
    const char* sql;
    std::int32_t raised;
  };
  const Case cases[] = {
      {"SELECT fts3_tokenizer('simple')", errnum::kDbStatementRejected},
      {"SELECT FTS3_Tokenizer('porter') IS NULL", errnum::kDbStatementRejected},
      {"SELECT pg_advisory_lock(1)", errnum::kDbStatementRejected},
      {"SELECT pg_catalog.pg_advisory_xact_lock /* a lock */ (7)", errnum::kDbStatementRejected},
      {"SELECT \"pg_terminate_backend\"(1)", errnum::kDbStatementRejected},
      {"SELECT U&\"pg_cancel_backend\"(1)", errnum::kDbStatementRejected},
      {"SELECT query_to_xml('SELECT 1', true, true, '')", errnum::kDbStatementRejected},
      {"SELECT lo_from_bytea(0, 'x')", errnum::kDbStatementRejected},
      // Their names elsewhere than before "(" are no call.
      {"SELECT 'pg_advisory_lock(1)' AS lo_note, UserName AS pg_notify FROM IUser", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RaisedNumber([&] { Report(c.sql); }), c.raised) << c.sql;
  }
}

TEST_F(ReportStatementTest, AResultPastACeilingStopsAsItsRowsAreRead) {
  // Past a ceiling means stopped while read: a statement without an end would
  // otherwise run into its time budget, and raise that instead.
  SetReportTimeBudget(std::chrono::seconds(20));
  constexpr const char* kEndless = "WITH RECURSIVE k(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM k) ";
  struct Case {
    ReportCeilings ceilings;
    std::string sql;
    const char* description;  // the ceiling named; nullptr: the whole result comes back
  };
  const Case cases[] = {
      {{10, 1 << 20},
       "WITH RECURSIVE k(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM k WHERE x<10) SELECT x FROM k",
       nullptr},
      {{9, 1 << 20},
       "WITH RECURSIVE k(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM k WHERE x<10) SELECT x FROM k",
       "ceiling of 9 rows."},
      {{1000, 1 << 30}, std::string(kEndless) + "SELECT x, x FROM k", "ceiling of 1000 rows."},
      {{1 << 30, 4096},
       std::string(kEndless) + "SELECT 'a text of some length to count' || x AS t FROM k",
       "ceiling of 4096 bytes."},
      // One value of 2 MiB, past a ceiling of 1 MiB.
      {{10, 1 << 20},
       "WITH RECURSIVE s(t, i) AS (SELECT 'xxxxxxxx', 1 UNION ALL SELECT t || t, i + 1 FROM s "
       "WHERE i < 19) SELECT t FROM s WHERE i = 19",
       "ceiling of 1048576 bytes."},
  };
  for (const Case& c : cases) {
    SetReportResultCeilings(c.ceilings);
    if (c.description == nullptr) {
      std::shared_ptr<Recordset> rows;
      EXPECT_EQ(RaisedNumber([&] { rows = Report(c.sql); }), 0) << c.sql;
      if (rows) {
        EXPECT_EQ(rows->RecordCount(), c.ceilings.rows) << c.sql;
      }
      continue;
    }
    const Error error = ExpectError([&] { Report(c.sql); }, errnum::kDbLimitReached);
    EXPECT_NE(error.Description().find(c.description), std::string::npos)
        << c.sql << ": " << error.Description();
  }
  SetReportResultCeilings({});
  SetReportTimeBudget(std::chrono::seconds(30));
  EXPECT_EQ(CStr(Report("SELECT COUNT(*) FROM IUser")->Field(0)), "1")
      << "the account still serves";
}

}  // namespace
}  // namespace brivos::testing
