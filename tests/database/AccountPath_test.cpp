#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "brivos/brivos.hpp"
#include "tests/support/SubscriberFixture.hpp"

namespace brivos::testing {
namespace {

namespace fs = std::filesystem;

// Runs the test from another working directory, for relative Account paths.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::string& dir) : before_(fs::current_path()) {
    fs::current_path(dir);
  }
  ~WorkingDirectory() { fs::current_path(before_); }
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

 private:
  fs::path before_;
};

// The file an Account path names is the file opened, byte for byte.
class AccountPathTest : public SubscriberTest {
 protected:
  static void SignIn(const std::string& acct) {
    Variant a(acct), user("admin"), password("secret");
    CSecurityMgr{}.BeginUserSession(a, user, password);
  }
  static std::string Company(const std::string& acct) {
    Variant a(acct), sql("SELECT CompanyName FROM ISubScriber");
    return CStr(CReportMgr{}.ExecReportQuery(a, sql)->Field(0));
  }
  // Expects the cannot-open error, tagged once at the end of its description.
  static void ExpectCannotOpen(const std::function<void()>& call, const std::string& what) {
    const Error e = ExpectError(call, errnum::kDbCannotOpen);
    EXPECT_TRUE(e.Description().ends_with("\r\n >VelmarERR@-2147467259"))
        << what << ": " << e.Description();
  }
};

TEST_F(AccountPathTest, ASemicolonIsPartOfTheFileName) {
  const std::string ab = dir.Path() + "\\A;B";
  CreateSubscriberDatabase(ab, "Semicolon Co", "admin", "secret");
  EXPECT_TRUE(fs::exists(dir.Path() + "/A;B.mdb"));
  EXPECT_FALSE(fs::exists(dir.Path() + "/A"));
  EXPECT_EQ(Company(ab), "Semicolon Co");
  SignIn(ab);
  ExpectCannotOpen([&] { SignIn(dir.Path() + "\\A;C"); }, "A;C");
}

TEST_F(AccountPathTest, ANulIsRefusedRatherThanCuttingThePath) {
  const std::string nul(1, '\0');
  // Cut at the NUL, these would name A100.mdb and a new file B200.
  ExpectCannotOpen([&] { SignIn(dir.Path() + "\\A100.mdb" + nul + "x"); }, "open");
  ExpectCannotOpen(
      [&] { CreateSubscriberDatabase(dir.Path() + "/B200" + nul + "\\C1", "Nul Co", "a", "b"); },
      "create");
  EXPECT_FALSE(fs::exists(dir.Path() + "/B200"));
}

TEST_F(AccountPathTest, ARelativeAccountBeginningWithFileIsAFileNameNotAUri) {
  WorkingDirectory in(dir.Path());
  CreateSubscriberDatabase("file:A100", "Uri Co", "admin", "secret");
  EXPECT_TRUE(fs::exists("file:A100.mdb"));
  EXPECT_EQ(Company("file:A100"), "Uri Co");
  EXPECT_EQ(Company("A100"), "Acme Consulting");
}

TEST_F(AccountPathTest, AFileThatIsNoSubscriberDatabaseCannotBeOpened) {
  struct Case {
    const char* what;
    std::function<void(const std::string& file)> make;
  };
  const std::vector<Case> cases = {
      {"zero bytes", [](const std::string& file) { std::ofstream{file}; }},
      {"text", [](const std::string& file) { std::ofstream{file} << std::string(4096, 'x'); }},
      {"database without tables",
       [](const std::string& file) {
         sqlite3* db = nullptr;
         sqlite3_open(file.c_str(), &db);
         sqlite3_exec(db, "PRAGMA user_version=7", nullptr, nullptr, nullptr);
         sqlite3_close(db);
       }},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string acct = dir.Path() + "\\Z" + std::to_string(++n);
    const std::string file = dir.Path() + "/Z" + std::to_string(n) + ".mdb";
    c.make(file);
    const auto size = fs::file_size(file);
    ExpectCannotOpen([&] { SignIn(acct); }, c.what);
    ExpectCannotOpen([&] { Company(acct); }, c.what);
    EXPECT_EQ(fs::file_size(file), size) << c.what;
  }
}

TEST_F(AccountPathTest, TheMarkerInsideAnAccountDoesNotCostTheTag) {
  Variant acct(" >VelmarERR@1"), user("x");
  ExpectCannotOpen([&] { CSecurityMgr{}.EndUserSession(acct, user); }, "marker");
}

}  // namespace
}  // namespace brivos::testing
