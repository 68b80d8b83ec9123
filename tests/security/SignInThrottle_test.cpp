#include "brivos/security/SignInThrottle.hpp"

#include <gtest/gtest.h>

#include "brivos/records/IUser.hpp"
#include "brivos/security/SessionActivity.hpp"
#include "tests/support/SubscriberFixture.hpp"

namespace brivos {
namespace {

using testing::ExpectError;

const Date kStart = Date::FromParts(2024, 3, 5, 9, 0, 0);

class ThrottleTest : public testing::SubscriberTest {
 protected:
  ThrottleTest() {
    SetClock([this] { return Date::FromSerial(kStart.Serial() + seconds_ / 86400.0); });
  }
  ~ThrottleTest() override { SetClock(nullptr); }

  // What an attempt came to: "passed", "refused" or "waits N".
  std::string Attempt(const std::string& user, const std::string& address, bool right) {
    try {
      const long wait = ThrottledAttempt(account, user, address, limits_, [&] {
        if (!right) Raise(errCSecurityMgr::eInvalidUserInfo, "refused");
      });
      return wait > 0 ? "waits " + std::to_string(wait) : "passed";
    } catch (const Error& e) {
      if (e.Number() != errCSecurityMgr::eInvalidUserInfo) throw;
      return "refused";
    }
  }

  double seconds_ = 0;
  SignInLimits limits_{.per_address = 2, .per_user = 3, .window = std::chrono::seconds(60)};
};

TEST_F(ThrottleTest, RefusalsCountPerAddressAndPerUserWithinTheWindow) {
  struct Step {
    double advance;
    const char* user;
    const char* address;
    bool right;
    const char* outcome;
  };
  const Step steps[] = {
      {0, "Ann", "10.0.0.1", false, "refused"},
      {0, "ANN", "10.0.0.1", false, "refused"},
      {0, "ann", "10.0.0.1", true, "waits 60"},  // letter case names one user
      {0, "ann", "10.0.0.2", true, "passed"},    // another address has its own count
      {0, "ann", "10.0.0.2", false, "refused"},  // the third of the user's
      {10, "ann", "10.0.0.3", true, "waits 50"},
      {0, "bob", "10.0.0.3", true, "passed"},
      {51, "ann", "10.0.0.1", true, "passed"},  // the window is over
      {0, "ann", "10.0.0.1", false, "refused"},
      {0, "ann", "10.0.0.1", true, "passed"},  // a pass forgets the address's refusals
      {0, "ann", "10.0.0.1", false, "refused"},
      {0, "ann", "10.0.0.1", false, "refused"},
      {0, "ann", "10.0.0.1", false, "waits 60"},
  };
  int i = 0;
  for (const Step& step : steps) {
    seconds_ += step.advance;
    EXPECT_EQ(Attempt(step.user, step.address, step.right), step.outcome) << "step " << i++;
  }
}

// A name the database takes for the caller's (any letter case it folds, a
// dotted or dotless i where it folds them) shares the caller's count, and
// one it tells apart has its own: the count follows the database's
// comparison, whatever the backend.
TEST_F(ThrottleTest, NamesTheDatabaseTakesForOneUserShareOneCount) {
  const std::string name = CStr(main_user);
  int address = 0;
  for (const std::string& variant : {std::string("ADMIN"), std::string("adm\u0130n"),
                                    std::string("adm\u0131n"), std::string("admins")}) {
    const std::string from = "10.1.0." + std::to_string(++address);
    Attempt(name, from, false);
    Attempt(name, from, false);
    const bool same = CLng(Scalar("SELECT COUNT(*) FROM IUser WHERE UserName='" + variant + "'")) > 0;
    EXPECT_EQ(Attempt(variant, from, true), same ? "waits 60" : "passed") << variant;
    seconds_ += 61;  // the next variant starts with no count of the user's
  }
}

TEST_F(ThrottleTest, AnotherErrorOfTheCheckCountsNothing) {
  for (int i = 0; i < 3; ++i) {
    ExpectError([&] { ThrottledAttempt(account, "ann", "a", limits_, [] { RaiseRuntime(13); }); },
                13);
  }
  EXPECT_EQ(Attempt("ann", "a", true), "passed");
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM SignInAttempts")), 0);
}

TEST_F(ThrottleTest, OldCountsAreRemoved) {
  Attempt("ann", "a", false);
  Attempt("bob", "b", false);
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM SignInAttempts")), 4);
  seconds_ += 61;
  Attempt("cy", "c", true);
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM SignInAttempts")), 0);
}

TEST_F(ThrottleTest, ADatabaseMadeBeforeTheTablesGetsThem) {
  Exec("DROP TABLE SignInAttempts");
  Exec("DROP TABLE SessionUse");
  EXPECT_EQ(Attempt("ann", "a", false), "refused");
  EXPECT_EQ(CLng(Scalar("SELECT SUM(Failures) FROM SignInAttempts")), 2);
  Variant user("admin"), password("secret");
  const std::string token = CSecurityMgr{}.BeginUserSession(account, user, password);
  ASSERT_TRUE(FindSession(account, token));
  EXPECT_EQ(FindSession(account, token)->signed_in.Serial(), Now().Serial());
}

TEST_F(ThrottleTest, PasswordMatchesAnyUserOfThatNameAndPassword) {
  AddUser("kept", "pw", /*allow_logon=*/false);
  const struct {
    const char* user;
    const char* password;
    bool matches;
  } cases[] = {{"admin", "secret", true},   {"ADMIN", "secret", true}, {"admin", "wrong", false},
               {"nobody", "secret", false}, {"kept", "pw", true},      {"kept", "", false}};
  for (const auto& c : cases) {
    EXPECT_EQ(PasswordMatches(account, c.user, c.password), c.matches) << c.user << c.password;
  }
}

TEST_F(ThrottleTest, SessionsKeepTheirSignInAndLastUseAndExpire) {
  Variant user("admin"), password("secret");
  const std::string token = CSecurityMgr{}.BeginUserSession(account, user, password);
  NoteSignIn(account, token);
  seconds_ += 100;
  std::optional<SessionState> state = FindSession(account, token);
  ASSERT_TRUE(state);
  NoteUse(account, token, *state);
  state = FindSession(account, token);
  ASSERT_TRUE(state);
  EXPECT_EQ(CStr(state->user_name), "admin");
  EXPECT_EQ(state->signed_in.ToString(), "2024-03-05 09:00:00");
  EXPECT_EQ(state->last_use.ToString(), "2024-03-05 09:01:40");
  const auto at = [](double s) { return Date::FromSerial(kStart.Serial() + s / 86400.0); };
  EXPECT_EQ(RemoveExpiredSessions(account, at(-1), at(99)), 0);
  EXPECT_EQ(RemoveExpiredSessions(account, at(-1), at(101)), 1);
  EXPECT_FALSE(FindSession(account, token));
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM SessionUse")), 0);
  EXPECT_FALSE(FindSession(account, "0123"));
}

}  // namespace
TEST_F(ThrottleTest, ASessionIsFoundWithItsUserAsTheCallerLookupFindsIt) {
  Variant user("admin"), password("secret");
  const std::string token = CSecurityMgr{}.BeginUserSession(account, user, password);
  const std::shared_ptr<IUser> caller = IUser::Caller(account, user);
  const auto text = [](const Variant& v) { return v.IsNull() ? std::string("Null") : CStr(v); };
  for (const char* stored : {"admin", "ADMIN"}) {  // names compare without letter case
    Exec(std::string("UPDATE SysSessions SET UserName='") + stored + "'");
    const std::optional<SessionState> state = FindSession(account, token);
    ASSERT_TRUE(state && state->user) << stored;
    EXPECT_EQ(CStr(state->user_name), stored);
    for (std::size_t i = 0; i < IUser::Schema().columns.size(); ++i) {
      EXPECT_EQ(text(state->user->Field(i)), text(caller->Field(i))) << i;
    }
  }
  Exec("UPDATE IUser SET UserName='renamed' WHERE UserName='admin'");
  const std::optional<SessionState> orphan = FindSession(account, token);
  ASSERT_TRUE(orphan);
  EXPECT_EQ(orphan->user, nullptr);
}

}  // namespace brivos
