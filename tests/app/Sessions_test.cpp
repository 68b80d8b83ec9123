// Sessions and sign-ins through the gate: how long a token holds, how often
// its use is written, which user names are counted.

#include <gtest/gtest.h>

#include "app/Calls.hpp"
#include "tests/support/SubscriberFixture.hpp"

namespace brivos::testing {
namespace {

const Date kStart = Date::FromParts(2024, 3, 5, 9, 0, 0);

class SessionTest : public SubscriberTest {
 protected:
  SessionTest() {
    SetClock([this] { return Date::FromSerial(kStart.Serial() + seconds_ / 86400.0); });
    firm = app::Tenant{"A100", account};
    policy.max_age_seconds = 3600;
    policy.idle_seconds = 600;
  }
  ~SessionTest() override { SetClock(nullptr); }

  // "ok", or the refusal's text.
  std::string Check(const std::string& token) {
    try {
      app::Authenticate(firm, token, policy);
      return "ok";
    } catch (const app::Refused& r) {
      return r.what();
    }
  }

  double seconds_ = 0;
  app::Tenant firm;
  app::SessionPolicy policy;
};

TEST_F(SessionTest, ASessionEndsUnusedOrAtItsMaxAge) {
  const std::string idle = "the session has expired after going unused";
  const std::string old = "the session has expired";
  struct Step {
    double advance;
    const std::string& outcome;
  };
  const std::string ok = "ok";
  const std::string token = app::SignIn(firm, "admin", "secret", "", policy);
  for (const Step& step : {Step{300, ok}, Step{500, ok}, Step{590, ok}, Step{601, idle}}) {
    seconds_ += step.advance;
    EXPECT_EQ(Check(token), step.outcome) << seconds_;
  }
  const std::string again = app::SignIn(firm, "admin", "secret", "", policy);
  for (int i = 0; i < 7; ++i) {
    seconds_ += 500;
    EXPECT_EQ(Check(again), "ok") << i;
  }
  seconds_ += 500;  // used 500 s ago, signed in 4000 s ago
  EXPECT_EQ(Check(again), old);
}

TEST_F(SessionTest, UseIsWrittenAtMostOnceAMinute) {
  const std::string token = app::SignIn(firm, "admin", "secret", "", policy);
  const auto last_use = [&] { return CDate(Scalar("SELECT LastUse FROM SessionUse")).ToString(); };
  for (const auto& [advance, written] :
       {std::pair{30.0, "2024-03-05 09:00:00"}, std::pair{29.0, "2024-03-05 09:00:00"},
        std::pair{1.0, "2024-03-05 09:01:00"}, std::pair{59.0, "2024-03-05 09:01:00"}}) {
    seconds_ += advance;
    ASSERT_EQ(Check(token), "ok");
    EXPECT_EQ(last_use(), written) << seconds_;
  }
}

TEST_F(SessionTest, AUserNameWiderThanTheDatabaseHoldsIsRefusedUncounted) {
  std::string accented;  // 30 characters in 60 bytes
  for (int i = 0; i < 30; ++i) accented += "\xC3\xA9";
  for (const auto& [name, rows] :
       {std::pair{std::string(31, 'x'), 0}, std::pair{std::string(30, 'x'), 2},
        std::pair{accented, 4}, std::pair{accented + "e", 4}}) {
    ExpectError([&] { app::SignIn(firm, name, "pw", "10.0.0.1", policy); },
                errCSecurityMgr::eInvalidUserInfo);
    EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM SignInAttempts")), rows) << name;
  }
}

}  // namespace
}  // namespace brivos::testing
