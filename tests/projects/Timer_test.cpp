#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/projects/ProjectFixture.hpp"

namespace brivos {
namespace {

using testing::ExpectError;
using testing::RaisedNumber;

Date At(int h, int m, int day = 5) { return Date::FromParts(2024, 3, day, h, m, 0); }

class TimerTest : public testing::ProjectTest {
 protected:
  TimerTest() {
    project_ = AddProject();
    task_ = AddTask(project_);
    staff_ = AddStaff(project_, 1);
  }
  ~TimerTest() override { SetClock(nullptr); }
  void Now(const Date& now) {
    SetClock([now] { return now; });
  }
  void Start(Variant task, const std::string& as = "admin") {
    Variant who(as), desc("timed");
    typed.StartTransaction(account, who, token, task, desc);
  }
  void Call(const char* method, const std::string& as = "admin") {
    std::vector<Variant> args{account, Variant(as), token};
    mgr->Invoke(method, args);
  }
  std::shared_ptr<IProjectTransaction> Active(const std::string& as = "admin") {
    Variant who(as);
    return typed.GetActiveTransaction(account, who, token);
  }
  int Running() { return CLng(Scalar("SELECT COUNT(*) FROM IProjectTransaction WHERE Status=0")); }
};

TEST_F(TimerTest, StartStopsTheRunningSlipAndCopiesTheStaffRates) {
  EXPECT_EQ(Active(), nullptr);
  Now(At(9, 5));
  Start(task_);
  auto first = Active();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(CDate(first->StartTime()), Date::FromParts(2024, 3, 5, 9, 5, 1));
  EXPECT_EQ(CDate(first->StopTime()), CDate(first->StartTime()));
  EXPECT_EQ(CStr(first->Error()), "");
  EXPECT_FALSE(CBool(first->OverTime()));
  EXPECT_EQ(CCur(first->StaffRate()).Scaled(), 1000000);
  EXPECT_EQ(CCur(first->OTCost()).Scaled(), 900000);

  // A task the caller is not on the staff of: refused, and the timer keeps running.
  std::int32_t elsewhere = AddTask(AddProject("Elsewhere"));
  Error e = ExpectError([&] { Start(elsewhere); }, errCProjectMgr::eInvalidTask);
  EXPECT_EQ(e.Description().rfind("You are not allowed to perform this task.  Please make sure", 0),
            0u);
  EXPECT_EQ(RaisedNumber([&] { Start(Variant(999)); }), errCProjectMgr::eInvalidTask);
  EXPECT_EQ(Running(), 1);

  Now(At(10, 40));
  Start(task_);
  auto done = Slip(CLng(first->IProjectTransactionID()));
  EXPECT_EQ(CLng(done->Status()), 1);
  EXPECT_EQ(CDate(done->StopTime()), Date::FromParts(2024, 3, 5, 10, 40, 1));
  EXPECT_EQ(Running(), 1);
  Call("StopActiveTransaction");
  Call("StopActiveTransaction");  // nothing running: nothing changes
  EXPECT_EQ(Running(), 0);
}

TEST_F(TimerTest, PauseRoundsTheStopUpToTheProjectsChunk) {
  struct Case {
    int chunk;
    Date start, now, stop;
  };
  const std::vector<Case> cases = {
      {15, At(9, 0), At(9, 7), At(9, 15)},       {15, At(9, 0), At(9, 15), At(9, 30)},
      {15, At(9, 50), At(10, 5), At(10, 20)},    {7, At(9, 50), At(10, 5), At(10, 8)},
      {60, At(9, 10), At(11, 12), At(12, 10)},   {0, At(9, 0), At(9, 4), At(9, 5)},
      {15, At(23, 50), At(23, 58), At(0, 5, 6)},  // past midnight: the next day
  };
  for (const Case& c : cases) {
    Exec("UPDATE IProject SET TimeChunk=" + std::to_string(c.chunk));
    Now(c.start);
    Start(task_);
    const Variant id = Active()->IProjectTransactionID();
    Now(c.now);
    Call("PauseActiveTransaction");
    auto paused = Slip(CLng(id));
    EXPECT_EQ(CLng(paused->Status()), 4);
    EXPECT_EQ(CDate(paused->StopTime()),
              Date::FromParts(2024, 3, c.stop.Day(), c.stop.Hour(), c.stop.Minute(), 1))
        << c.chunk << " " << c.start.ToString() << " " << c.now.ToString();
    EXPECT_EQ(Active(), nullptr);  // a paused slip is not running
  }
}

TEST_F(TimerTest, PauseIsAllOrNothing) {
  Now(At(9, 0));
  Start(task_);
  // A second running slip whose project is gone: pausing fails and pauses neither.
  Exec(
      "INSERT INTO IProjectTransaction (Parent,Status,StaffID,TaskID,StartTime,TransDate) "
      "VALUES (999,0," +
      std::to_string(staff_) + "," + std::to_string(task_) + ",45356.4,45356)");
  Now(At(9, 7));
  EXPECT_EQ(RaisedNumber([&] { Call("PauseActiveTransaction"); }), 91);
  EXPECT_EQ(Running(), 2);
}

TEST_F(TimerTest, RestartCompletesTheSlipAndRunsACopy) {
  Now(At(9, 0));
  Start(task_);
  Variant id = Active()->IProjectTransactionID();
  Now(At(9, 7));
  Call("PauseActiveTransaction");
  Now(At(13, 0));
  typed.RestartTransaction(account, user, token, id);
  auto old = Slip(CLng(id));
  EXPECT_EQ(CLng(old->Status()), 1);
  EXPECT_EQ(CDate(old->StopTime()), Date::FromParts(2024, 3, 5, 9, 15, 1));
  auto copy = Active();
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(CStr(copy->Description()), "timed");
  EXPECT_EQ(CLng(copy->StaffID()), staff_);
  EXPECT_EQ(CDate(copy->StartTime()), Date::FromParts(2024, 3, 5, 13, 0, 1));
  Variant unknown(999);
  EXPECT_EQ(RaisedNumber([&] { typed.RestartTransaction(account, user, token, unknown); }), 9);
  EXPECT_EQ(Running(), 1);
}

TEST_F(TimerTest, StatusChangesStampTheApprovalAndRefuseUnknownSlips) {
  std::int32_t slip = AddSlip(9, 0);
  Now(At(18, 0));
  struct Step {
    int status;
    bool approved;
  };
  for (Step step : {Step{2, true}, Step{3, true}, Step{1, false}}) {
    Variant id(slip), status(step.status), boss("boss");
    typed.UpdateTransactionStatus(account, boss, token, id, status);
    EXPECT_EQ(Slip(slip)->ApprovedBy().IsNull(), !step.approved) << step.status;
  }
  Variant unknown(999), status(2), text("1;"), two(2);
  EXPECT_EQ(
      RaisedNumber([&] { typed.UpdateTransactionStatus(account, user, token, unknown, status); }),
      3021);
  EXPECT_EQ(RaisedNumber([&] { typed.UpdateTransactionStatus(account, user, token, text, two); }),
            13);
}

TEST_F(TimerTest, ANameWithAnApostropheRunsTheWholeCycle) {
  std::int32_t obrien = AddUser("O'Brien", "pw");
  AddStaff(project_, obrien);
  Now(At(9, 0));
  Start(task_, "O'Brien");
  Now(At(9, 20));
  Call("PauseActiveTransaction", "O'Brien");
  Variant who("O'Brien"), id(CLng(Scalar("SELECT MAX(IProjectTransactionID) FROM "
                                         "IProjectTransaction")));
  typed.RestartTransaction(account, who, token, id);
  ASSERT_NE(Active("O'Brien"), nullptr);
  Call("StopActiveTransaction", "O'Brien");
  EXPECT_EQ(Running(), 0);
}

TEST_F(TimerTest, ConcurrentStartsLeaveOneRunningSlip) {
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) threads.emplace_back([&] { Start(task_); });
  for (auto& t : threads) t.join();
  EXPECT_EQ(Running(), 1);
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM IProjectTransaction")), 4);
}

}  // namespace
}  // namespace brivos
