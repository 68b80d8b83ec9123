#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/projects/ProjectFixture.hpp"

namespace brivos {
namespace {

using testing::RaisedNumber;

class QueriesTest : public testing::ProjectTest {
 protected:
  // A slip of the fixture's staff row on 2024-03-`day`.
  std::int32_t SlipOn(int day, int start_hour, int status = 1, const std::string& error = "") {
    Variant p(project_), d(Date::FromParts(2024, 3, day)), sh(start_hour), m(0), eh(start_hour + 1),
        desc(""), st(status), money(0.0), err(error), t(task_), s(staff_), ot(false);
    return typed.AddTransaction(account, user, token, p, d, sh, m, eh, m, desc, st, money, money,
                                money, money, err, t, s, ot);
  }
  std::vector<std::int32_t> Keys(const std::shared_ptr<Collection>& list, const char* key) {
    std::vector<std::int32_t> keys;
    for (const Variant& item : list->Items()) {
      std::vector<Variant> none;
      keys.push_back(CLng(item.AsObject()->Invoke(key, none)));
    }
    return keys;
  }
};

TEST_F(QueriesTest, DayAndWeekListTheUsersSlipsInOrder) {
  AddSlip(9, 0);  // project, task and staff row for admin; a slip on the 5th
  const std::int32_t tue =
      CLng(Scalar("SELECT MAX(IProjectTransactionID) FROM IProjectTransaction"));
  const std::int32_t wed_late = SlipOn(6, 14), wed = SlipOn(6, 9), next_tue = SlipOn(12, 9);
  SlipOn(13, 9);  // the Wednesday after: outside the week
  Variant wednesday(Date::FromParts(2024, 3, 6)), at_noon(Date::FromParts(2024, 3, 6, 12, 0, 0)),
      empty_day(Date::FromParts(2024, 3, 7)), admin("admin"), stranger("nobody"), bad("x");
  EXPECT_EQ(
      Keys(typed.GetTransactionsForDay(account, user, token, wednesday), "IProjectTransactionID"),
      (std::vector<std::int32_t>{wed, wed_late}));
  EXPECT_EQ(typed.GetTransactionsForDay(account, user, token, at_noon)->Count(), 0);
  EXPECT_EQ(typed.GetTransactionsForDay(account, user, token, empty_day)->Count(), 0);
  // Another user asks for admin's week.
  AddUser("clerk", "pw");
  Variant clerk("clerk");
  EXPECT_EQ(Keys(typed.GetTransactionsForWeek(account, clerk, token, wednesday, admin),
                 "IProjectTransactionID"),
            (std::vector<std::int32_t>{wed, wed_late, next_tue}));
  EXPECT_EQ(typed.GetTransactionsForWeek(account, admin, token, wednesday, clerk)->Count(), 0);
  EXPECT_EQ(RaisedNumber(
                [&] { typed.GetTransactionsForWeek(account, admin, token, wednesday, stranger); }),
            91);
  EXPECT_EQ(RaisedNumber([&] { typed.GetTransactionsForDay(account, user, token, bad); }), 13);
  (void)tue;
}

TEST_F(QueriesTest, ProjectsAndTasksOfAUser) {
  const std::int32_t active = AddProject("Active");
  AddStaff(active, 1);
  const std::int32_t managed = AddProject("Managed");  // finished, managed by admin
  const std::int32_t staffed = AddProject("Staffed");  // finished, admin only on staff
  AddStaff(staffed, 1);
  Exec("UPDATE IProject SET Status=5, ManagerID=NULL WHERE IProjectID=" + std::to_string(staffed));
  Exec("UPDATE IProject SET Status=5 WHERE IProjectID=" + std::to_string(managed));
  Exec("UPDATE IProject SET ManagerID=NULL WHERE IProjectID=" + std::to_string(active));
  AddTask(managed);
  AddTask(staffed);
  const std::int32_t active_task = AddTask(active);
  Variant order(3), bad(9);
  EXPECT_EQ(Keys(typed.GetProjectsForUser(account, user, token, order), "IProjectID"),
            (std::vector<std::int32_t>{managed, active}));
  EXPECT_EQ(Keys(typed.GetPostableProjectsForUser(account, user, token), "IProjectID"),
            (std::vector<std::int32_t>{active}));
  EXPECT_EQ(typed.GetTasksForUser(account, user, token)->Count(), 2);
  EXPECT_EQ(RaisedNumber([&] { typed.GetProjectsForUser(account, user, token, bad); }),
            -2147217900);
  (void)active_task;
}

TEST_F(QueriesTest, ProjectSlipsByStatusAndErrors) {
  AddSlip(9, 0);  // complete
  const std::int32_t running = SlipOn(6, 9, 0), paused = SlipOn(7, 9, 4),
                     faulty = SlipOn(8, 9, 0, "overlaps");
  Variant p(project_), yes(true), no(false);
  const auto by_status = [&](int status, Variant& errors) {
    Variant st(status);
    return Keys(typed.GetProjTransactionsByStatus(account, user, token, p, st, errors),
                "IProjectTransactionID");
  };
  EXPECT_EQ(by_status(0, yes), (std::vector<std::int32_t>{running, paused, faulty}));
  EXPECT_EQ(by_status(0, no), (std::vector<std::int32_t>{running, paused}));
  EXPECT_EQ(by_status(4, yes), (std::vector<std::int32_t>{paused}));
  EXPECT_EQ(Keys(typed.GetProjErrorTransactions(account, user, token, p), "IProjectTransactionID"),
            (std::vector<std::int32_t>{faulty}));
  Variant text("0 OR 1=1");
  EXPECT_EQ(
      RaisedNumber([&] { typed.GetProjTransactionsByStatus(account, user, token, p, text, yes); }),
      13);
}

TEST_F(QueriesTest, TaskActualsAreTheEarliestDayAndTheHours) {
  project_ = AddProject();
  task_ = AddTask(project_);
  staff_ = AddStaff(project_);
  Variant p(project_), t(task_), none(0), out_start("untouched"), out_hours("untouched");
  auto actuals = typed.GetProjectTaskActuals(account, user, token, p, t, out_start, out_hours);
  EXPECT_EQ(CDbl(actuals.AsArray()[0]), 0);
  EXPECT_EQ(CDbl(actuals.AsArray()[1]), 0);
  Variant day3(Date::FromParts(2024, 3, 3)), day1(Date::FromParts(2024, 3, 1)), h9(9), h12(12),
      h13(13), h14(14), m0(0), m30(30), desc(""), st(1), money(0.0), err(""), s(staff_), ot(false);
  typed.AddTransaction(account, user, token, p, day3, h9, m0, h12, m30, desc, st, money, money,
                       money, money, err, t, s, ot);
  typed.AddTransaction(account, user, token, p, day1, h13, m0, h14, m0, desc, st, money, money,
                       money, money, err, t, s, ot);
  actuals = typed.GetProjectTaskActuals(account, user, token, p, t, out_start, out_hours);
  ASSERT_EQ(actuals.AsArray().size(), 3u);
  EXPECT_EQ(CDate(actuals.AsArray()[0]), Date::FromParts(2024, 3, 1));
  EXPECT_NEAR(CDbl(actuals.AsArray()[1]), 4.5, 1e-9);
  EXPECT_TRUE(actuals.AsArray()[2].IsEmpty());
  EXPECT_EQ(CStr(out_start), "untouched");
  (void)none;
}

}  // namespace
}  // namespace brivos
