#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "brivos/brivos.hpp"
#include "brivos/database/Migration.hpp"
#include "tests/invoicing/InvoiceFixture.hpp"
#include "tests/support/SubscriberFixture.hpp"

namespace brivos::testing {
namespace {

// Two subscribers in one PostgreSQL database: a report statement of one,
// even one naming the other's schema, reaches only its own tables, and what
// it changes in its session is gone for the next caller.
TEST(PostgreSQL, ReportsOfOneSubscriberNeverReachAnother) {
  if (std::getenv("BRIVOS_DATABASE_URL") == nullptr) GTEST_SKIP() << "runs on PostgreSQL only";
  TempDir dir;
  const Variant a(dir.Path() + "\\A100"), b(dir.Path() + "\\B200");
  CreateSubscriberDatabase(CStr(a), "Acme Consulting", "admin", "secret");
  CreateSubscriberDatabase(CStr(b), "Bolt Legal", "admin", "secret");
  const auto report = [](const Variant& account, const std::string& sql) {
    Variant text(sql);
    return CReportMgr{}.ExecReportQuery(account, text);
  };
  const std::string own = CStr(report(a, "SELECT current_schema()")->Field(0));
  const std::string other = CStr(report(b, "SELECT current_schema()")->Field(0));
  ASSERT_NE(own, other);
  for (const std::string& sql : std::vector<std::string>{
           "SELECT UserName FROM " + other + ".IUser", "UPDATE " + other + ".IUser SET Password='x'",
        "SET search_path = " + other, "SET ROLE NONE", "BEGIN", "CREATE TEMP TABLE T (N integer)",
        "SELECT * INTO TEMP T FROM IUser"}) {
    ExpectError([&] { report(a, sql); }, -2147217900);
  }
  report(a, "SELECT set_config('search_path', '" + other + "', false)");
  EXPECT_EQ(CStr(report(a, "SELECT current_schema()")->Field(0)), own);
  EXPECT_EQ(CStr(report(a, "SELECT CompanyName FROM ISubScriber")->Field(0)), "Acme Consulting");
}

// Only a SELECT's own INTO clause refuses a report, as a file database
// knows no SELECT ... INTO; the word in a literal, a comment, a name or an
// INSERT does not.
TEST(PostgreSQL, OnlyASelectsOwnIntoClauseRefusesAReport) {
  if (std::getenv("BRIVOS_DATABASE_URL") == nullptr) GTEST_SKIP() << "runs on PostgreSQL only";
  TempDir dir;
  const Variant a(dir.Path() + "\\A100");
  CreateSubscriberDatabase(CStr(a), "Acme Consulting", "admin", "secret");
  const auto report = [&](const std::string& sql) {
    Variant text(sql);
    return CReportMgr{}.ExecReportQuery(a, text);
  };
  for (const char* sql :
       {"SELECT 'walk into' AS t", "SELECT $$walk into$$ AS t", "SELECT $q$it's into$q$ AS t",
        "SELECT E'it\\'s into' AS t", "SELECT 1 AS into", "SELECT 1 /* into /* into */ into */",
        "SELECT i.UserName AS into_x, 2 AS \"into\" FROM IUser i -- into",
        "WITH n AS (INSERT INTO SysSessions (Account, UserName, Token) VALUES ('a', 'b', 'c') "
        "RETURNING Token) SELECT Token FROM n"}) {
    EXPECT_EQ(RaisedNumber([&] { report(sql); }), 0) << sql;
  }
  for (const char* sql : {"SELECT * INTO Copied FROM IUser",
                          "SELECT UserName /* into */ INTO Copied FROM IUser",
                          "WITH u AS (SELECT UserName FROM IUser) SELECT UserName INTO Copied FROM u",
                          "SELECT * FROM Copied"}) {
    EXPECT_EQ(RaisedNumber([&] { report(sql); }), errnum::kDbStatementRejected) << sql;
  }
}

// A move whose copy fails leaves no schema, role or row behind; a subscriber
// whose schema exists is refused and kept as it was.
TEST(PostgreSQL, AFailedMoveLeavesNothingAndAnExistingSubscriberIsKept) {
  if (std::getenv("BRIVOS_DATABASE_URL") == nullptr) GTEST_SKIP() << "runs on PostgreSQL only";
  TempDir dir;
  const Variant a(dir.Path() + "\\A100");
  sqlite3* file = nullptr;
  ASSERT_EQ(sqlite3_open((dir.Path() + "/A100.mdb").c_str(), &file), SQLITE_OK);
  sqlite3_exec(file, "CREATE TABLE Stray (N INTEGER); INSERT INTO Stray VALUES (1);", nullptr,
               nullptr, nullptr);
  sqlite3_close(file);
  const auto move = [&] {
    CopyFileIntoActiveDatabase(a, [&] { CreateSubscriberDatabase(CStr(a), "Moved", "m", "m"); });
  };
  EXPECT_EQ(RaisedNumber(move), errnum::kDbStatementRejected);
  CreateSubscriberDatabase(CStr(a), "Acme Consulting", "admin", "secret");
  // Its owner, its writer and its reader.
  EXPECT_EQ(CLng(OpenRecordset(a, "SELECT COUNT(*) FROM pg_roles WHERE rolname LIKE "
                                  "current_schema() || '\\_%'")
                     ->Field(0)),
            3);
  EXPECT_EQ(RaisedNumber(move), errnum::kDbFailure);
  EXPECT_EQ(CStr(OpenRecordset(a, "SELECT CompanyName FROM ISubScriber")->Field(0)),
            "Acme Consulting");
}

}  // namespace
}  // namespace brivos::testing

namespace brivos {
namespace {

// Eight processes at once draw expense report numbers and invoice every
// project of one subscriber: every number once, none skipped, every slip
// on one invoice of its project.
TEST_F(InvoiceTest, EightProcessesDrawAndInvoiceOneSubscriberOnPostgreSQL) {
  if (std::getenv("BRIVOS_DATABASE_URL") == nullptr) GTEST_SKIP() << "runs on PostgreSQL only";
  constexpr int kProcesses = 8, kDraws = 10, kProjects = 12;
  for (int p = 0, client = Client(); p < kProjects; ++p) {
    const std::int32_t project = Project(client);
    for (int d = 1; d <= 3; ++d) Slip(project, d);
  }
  ReleaseIdleConnections();  // no connection crosses the fork
  std::vector<std::pair<pid_t, int>> children;
  for (int i = 0; i < kProcesses; ++i) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    if (child == 0) {
      close(fds[0]);
      int failed = testing::RaisedNumber([&] { InvoiceAll(); }) != 0;
      for (int n = 0; n < kDraws; ++n) {
        std::int32_t drawn = 0;
        failed |= testing::RaisedNumber([&] {
          drawn = CAccountMgr{}.GetNextExpenseReportNumber(account, user, token);
        }) != 0;
        failed |= write(fds[1], &drawn, sizeof drawn) != sizeof drawn;
      }
      _exit(failed);
    }
    close(fds[1]);
    children.emplace_back(child, fds[0]);
  }
  std::vector<std::int32_t> numbers;
  for (const auto& [child, fd] : children) {
    for (std::int32_t n = 0; read(fd, &n, sizeof n) == sizeof n;) numbers.push_back(n);
    close(fd);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::sort(numbers.begin(), numbers.end());
  std::vector<std::int32_t> expected(kProcesses * kDraws);
  for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<std::int32_t>(i + 1);
  EXPECT_EQ(numbers, expected);
  EXPECT_EQ(Invoices(), kProjects);
  EXPECT_EQ(NextNumber(), kProjects + 1);
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(DISTINCT InvoiceNumber) FROM IProjectInvoice")), kProjects);
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM IProjectTransaction t JOIN IProjectInvoice i ON "
                        "i.IProjectInvoiceID=t.InvoiceID AND i.Parent=t.Parent WHERE t.Status=3")),
            kProjects * 3);
}

}  // namespace
}  // namespace brivos
