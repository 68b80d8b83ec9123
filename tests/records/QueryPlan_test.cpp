#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "brivos/database/internal/StatementLog.hpp"
#include "tests/support/SubscriberFixture.hpp"

namespace brivos {
namespace {

// Tables that hold a handful of rows per subscriber file: reading them whole
// costs nothing.
const std::set<std::string, std::less<>> kSmallTables = {"ISubScriber", "ISubscriberLocation",
                                                         "CITaxCode", "FirmSetting"};
// The tables a subscriber owns directly: their Parent has one value per
// file. A statement that filters one of them by Parent reads the whole
// subscriber's list (users, clients, projects), and may scan it.
const std::set<std::string, std::less<>> kSubscriberTables = {"IUser", "SFAProspect", "IProject",
                                                              "CITaxCode", "ISubscriberLocation"};
// Other statements that read a whole list of the subscriber by nature: the
// clients whose name starts with a letter, the active projects an invoicing
// run walks through.
const std::vector<std::string_view> kWholeSubscriberReads = {
    "FROM SFAProspect WHERE UCASE(LEFT(CompanyName,1))=?", "FROM IProject WHERE Status=?"};
// Columns with one value per subscriber file: an index search on them alone
// reads every row of the table.
const std::set<std::string, std::less<>> kSingleValued = {
    "IUser.Parent",         "SFAProspect.Parent",         "IProject.Parent",
    "CITaxCode.Parent",     "ISubscriberLocation.Parent", "SysSessions.Account",
    "ISubScriber.AccountNo"};

// Runs every method of every creatable manager late-bound, with arguments
// chosen by their names, and returns the statements the library ran.
std::set<std::string> StatementsOfEveryManager(const Variant& account, const Variant& token) {
  std::set<std::string> seen;
  internal::ObserveStatements([&](std::string_view sql) { seen.emplace(sql); });
  const auto argument = [&](const std::string& name) -> Variant {
    if (name.find("Account") != std::string::npos) return account;
    if (name.find("UserName") != std::string::npos) return Variant("admin");
    if (name == "Token") return token;
    if (name.find("Password") != std::string::npos) return Variant("secret");
    if (name.size() > 2 && name.substr(name.size() - 2) == "ID") return Variant(1);
    if (name.find("Date") != std::string::npos) return Variant(Date::FromParts(2024, 3, 5));
    return Variant("1");
  };
  for (const ClassInfo* info : RegisteredClasses()) {
    if (!info->Creatable() || info->Name() == "CReportMgr") continue;  // caller's own SQL
    auto object = info->Create();
    for (const MemberInfo& member : info->Members()) {
      std::vector<Variant> args;
      for (const std::string& name : member.arg_names) args.push_back(argument(name));
      try {
        object->Invoke(member.name, args);
      } catch (const Error&) {
        // Refusals are expected with arguments chosen by name.
      }
    }
  }
  internal::ObserveStatements(nullptr);
  return seen;
}

class QueryPlanTest : public testing::SubscriberTest {
 protected:
  // A subscriber of some size, so that the plans are those of a real file.
  void Populate() {
    UnitOfWork work(account);
    work.Db().Execute(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<2000) "
        "INSERT INTO IUser (Parent,UserName,Password,AllowLogon,LastName,ReportsToID) "
        "SELECT 1,'user'||i,'pw',1,'Last'||i,NULL FROM n");
    work.Db().Execute(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<5000) "
        "INSERT INTO SysSessions (Account,UserName,Token) SELECT 'x','user'||i,'T'||i FROM n");
    work.Db().Execute(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<2000) "
        "INSERT INTO IExpenseReport (Parent,ReportNo,Name) SELECT 1+i%2000,i,'r' FROM n");
    work.Db().Execute(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<5000) "
        "INSERT INTO IProjectExpense (Parent,ExpenseReportID,StaffID,Description) "
        "SELECT 1+i%50,1+i%2000,1+i%100,'e' FROM n");
    work.Commit();
  }
};

TEST_F(QueryPlanTest, EveryStatementOfTheManagersUsesAnIndexThatNarrowsTheSearch) {
  Populate();
  Variant user("admin"), password("secret");
  Variant token(CSecurityMgr{}.BeginUserSession(account, user, password));
  const std::set<std::string> statements = StatementsOfEveryManager(account, token);
  ASSERT_GT(statements.size(), 15u);

  Connection db = Connection::Open(account);
  for (const std::string& sql : statements) {
    if (sql.rfind("BEGIN", 0) == 0 || sql.rfind("COMMIT", 0) == 0) continue;
    auto plan = db.Query("EXPLAIN QUERY PLAN " + sql);
    for (; !plan->Eof(); plan->MoveNext()) {
      const std::string detail = CStr(plan->Field("detail"));
      const std::size_t space = detail.find(' ', 5);
      const std::string table = detail.substr(detail.find(' ') + 1, space - detail.find(' ') - 1);
      if (detail.rfind("SCAN ", 0) == 0) {
        bool whole = kSubscriberTables.count(table) &&
                     sql.find("FROM " + table + " WHERE Parent=?") != std::string::npos;
        for (std::string_view read : kWholeSubscriberReads) {
          whole |= sql.find(read) != std::string::npos;
        }
        EXPECT_TRUE(whole || kSmallTables.count(table)) << sql << "\n" << detail;
      } else if (detail.rfind("SEARCH ", 0) == 0 && detail.find(" INDEX ") != std::string::npos) {
        // "SEARCH T USING INDEX IX (a=? AND b=?)": some column must narrow it.
        const std::string terms = detail.substr(detail.find('(') + 1);
        bool narrows = false;
        for (std::size_t at = 0; at < terms.size();) {
          const std::size_t eq = terms.find_first_of("=<>", at);
          if (eq == std::string::npos) break;
          narrows |= !kSingleValued.count(table + "." + terms.substr(at, eq - at));
          const std::size_t next = terms.find(" AND ", eq);
          at = next == std::string::npos ? terms.size() : next + 5;
        }
        EXPECT_TRUE(narrows) << sql << "\n" << detail;
      }
    }
  }
}

}  // namespace
}  // namespace brivos
