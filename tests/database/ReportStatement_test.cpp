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

}  // namespace
}  // namespace brivos::testing
