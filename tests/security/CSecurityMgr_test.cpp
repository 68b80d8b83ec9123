#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "brivos/security/Guid.hpp"
#include "tests/support/SubscriberFixture.hpp"

namespace brivos {
namespace {

using testing::ExpectError;

class SecurityTest : public testing::SubscriberTest {
 protected:
  std::string SignIn(const std::string& user, const std::string& password) {
    Variant u(user), p(password);
    return mgr.BeginUserSession(account, u, p);
  }
  std::int32_t SessionCount(const std::string& user) {
    return CLng(Scalar("SELECT COUNT(*) FROM SysSessions WHERE UserName=" + SqlQuote(user)));
  }
  CSecurityMgr mgr;
};

bool IsToken(const std::string& t) {
  return t.size() == 32 && t.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

TEST(GuidTest, TokensAre32UppercaseHexDigitsAndDistinct) {
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    std::string t = CreateGUIDString();
    EXPECT_TRUE(IsToken(t)) << t;
    seen.insert(t);
  }
  EXPECT_EQ(seen.size(), 200u);
}

TEST_F(SecurityTest, SignInRecordsASessionThatResolvesAndEnds) {
  std::string token = SignIn("admin", "secret");
  EXPECT_TRUE(IsToken(token));
  Variant t(token);
  auto session = mgr.GetSysSession(account, t);
  EXPECT_EQ(CStr(session->Account()), CStr(account));
  EXPECT_EQ(CStr(session->UserName()), "admin");
  EXPECT_EQ(session->LastUpdate().Type(), VarType::Date);
  EXPECT_LT(std::abs(CDate(session->LastUpdate()).Serial() - Now().Serial()), 1.0 / 24);

  // The database stamps a new session with the library's clock.
  SetClock([] { return Date::FromParts(2024, 3, 5, 9, 30, 12); });
  Variant again(SignIn("admin", "secret"));
  SetClock(nullptr);
  EXPECT_EQ(CDate(mgr.GetSysSession(account, again)->LastUpdate()),
            Date::FromParts(2024, 3, 5, 9, 30, 12));

  Variant user("admin");
  mgr.EndUserSession(account, user);
  EXPECT_EQ(SessionCount("admin"), 0);
  Error e = ExpectError([&] { mgr.GetSysSession(account, t); }, 9);
  EXPECT_NE(e.Description().find(" >VelmarERR@9"), std::string::npos);
  mgr.EndUserSession(account, user);  // no session: silently nothing
}

TEST_F(SecurityTest, SecondSignInReplacesTheSession) {
  std::string first = SignIn("admin", "secret");
  std::string second = SignIn("admin", "SECRET");  // the database compares without case
  EXPECT_NE(first, second);
  EXPECT_EQ(SessionCount("admin"), 1);
  Variant old(first);
  ExpectError([&] { mgr.GetSysSession(account, old); }, 9);
}

TEST_F(SecurityTest, RefusalsShareOneMessageAndTouchNoSession) {
  AddUser("locked", "pw", false);
  std::string token = SignIn("admin", "secret");
  for (auto [user, password] :
       {std::pair{"admin", "wrong"}, {"nobody", "secret"}, {"locked", "pw"}}) {
    Error e = ExpectError([&] { SignIn(user, password); }, errCSecurityMgr::eInvalidUserInfo);
    EXPECT_EQ(e.Description(),
              "The logon information you entered was incorrect.\r\n >VelmarERR@-2147221503");
    EXPECT_EQ(e.Source(), "BRIVOS.CSecurityMgr");
  }
  Variant t(token);
  EXPECT_EQ(CStr(mgr.GetSysSession(account, t)->UserName()), "admin");
}

TEST_F(SecurityTest, ApostrophesInNamesAndPathsAreQuoted) {
  AddUser("O'Brien", "pw");
  std::string token = SignIn("O'Brien", "pw");
  Variant t(token), u("O'Brien");
  EXPECT_EQ(CStr(mgr.GetSysSession(account, t)->UserName()), "O'Brien");
  Variant bad("x' OR '1'='1");
  ExpectError([&] { mgr.GetSysSession(account, bad); }, 9);
  mgr.EndUserSession(account, u);
  EXPECT_EQ(SessionCount("O'Brien"), 0);
}

TEST_F(SecurityTest, AccountPathIsMatchedAsGiven) {
  Variant other(dir.Path() + "/.\\A100");  // the same file under another text
  Variant u("admin"), p("secret");
  mgr.BeginUserSession(account, u, p);
  mgr.BeginUserSession(other, u, p);
  EXPECT_EQ(SessionCount("admin"), 2);
  mgr.EndUserSession(other, u);
  EXPECT_EQ(SessionCount("admin"), 1);
}

TEST_F(SecurityTest, ConcurrentSignInsLeaveExactlyOneSession) {
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] {
      CSecurityMgr m;
      for (int n = 0; n < 25; ++n) {
        try {
          Variant a = account, u("admin"), p("secret");
          m.BeginUserSession(a, u, p);
        } catch (const Error&) {
          ++failures;
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(SessionCount("admin"), 1);
}

TEST_F(SecurityTest, ChangePasswordOnlyWithTheOldOne) {
  std::string token = SignIn("admin", "secret");
  Variant u("admin"), wrong("nope"), old("secret"), fresh("n3w");
  mgr.ChangeUserPassword(account, u, wrong, fresh);  // silent
  EXPECT_EQ(CStr(Scalar("SELECT Password FROM IUser WHERE UserName='admin'")), "secret");
  mgr.ChangeUserPassword(account, u, old, fresh);
  ExpectError([&] { SignIn("admin", "secret"); }, errCSecurityMgr::eInvalidUserInfo);
  SignIn("admin", "n3w");
  EXPECT_EQ(SessionCount("admin"), 1);
}

TEST_F(SecurityTest, LateBoundCallsAndDatabaseFailures) {
  auto mgr_object = CreateObject("BRIVOS.CSecurityMgr");
  std::vector<Variant> args{account, Variant("admin"), Variant("secret")};
  Variant token = mgr_object->Invoke("beginusersession", args);
  std::vector<Variant> lookup{account, token};
  auto session = mgr_object->Invoke("GetSysSession", lookup).AsObject();
  std::vector<Variant> none;
  EXPECT_EQ(CStr(session->Invoke("Token", none)), CStr(token));

  std::vector<Variant> missing{Variant(dir.Path() + "\\Nope"), Variant("admin"), Variant("secret")};
  Error e = ExpectError([&] { mgr_object->Invoke("BeginUserSession", missing); }, -2147467259);
  std::string d = e.Description();
  EXPECT_EQ(d.find(kErrorMarker), d.rfind(kErrorMarker));

  std::vector<Variant> too_long{account, Variant(std::string(300, 'u')), Variant("x")};
  AddUser("short", "x");
  ExpectError([&] { mgr_object->Invoke("BeginUserSession", too_long); },
              errCSecurityMgr::eInvalidUserInfo);
}

TEST_F(SecurityTest, ReportQueryReturnsDisconnectedRows) {
  CReportMgr reports;
  Variant sql("SELECT UserName, Admin FROM IUser ORDER BY UserName");
  auto rows = reports.ExecReportQuery(account, sql);
  ReleaseIdleConnections();
  ASSERT_FALSE(rows->Eof());
  EXPECT_EQ(CStr(rows->Field("username")), "admin");
  EXPECT_EQ(rows->Field("Admin").Type(), VarType::Boolean);
  Variant none_sql("SELECT * FROM IUser WHERE 1=0");
  EXPECT_TRUE(reports.ExecReportQuery(account, none_sql)->Eof());
  Variant null_sql = Variant::Null();
  ExpectError([&] { reports.ExecReportQuery(account, null_sql); }, 94);
  Variant bad("SELEC nonsense");
  ExpectError([&] { reports.ExecReportQuery(account, bad); }, -2147217900);
}

}  // namespace
}  // namespace brivos
