#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/projects/ProjectFixture.hpp"

namespace brivos {
namespace {

using testing::ExpectError;
using testing::ProjectTest;
using testing::RaisedNumber;

TEST_F(ProjectTest, TimeChunkIsClampedAndWrittenBackTypedAndLateBound) {
  const std::vector<std::pair<int, int>> cases = {{0, 1},   {-5, 1},  {1, 1},
                                                  {60, 60}, {61, 60}, {90, 60}};
  for (auto [given, stored] : cases) {
    Variant chunk(given);
    std::int32_t id = AddProject("P" + std::to_string(given), chunk);
    EXPECT_EQ(CLng(chunk), stored) << given;
    EXPECT_EQ(CLng(Scalar("SELECT TimeChunk FROM IProject WHERE IProjectID=" + std::to_string(id))),
              stored);
    // The typed form writes back too.
    Variant pid(id), client(0), name("P"), desc(""), status(2), empty(""), billable(true),
        money(0.0), ot(false), typed_chunk(given), manager(1);
    typed.UpdateProject(account, user, token, pid, client, name, desc, status, empty, empty,
                        billable, money, money, ot, typed_chunk, manager);
    EXPECT_EQ(CLng(typed_chunk), stored) << given;
  }
}

TEST_F(ProjectTest, DatesAreNullWhenLeftOutAndRefusedWhenNotDates) {
  Variant chunk(15);
  std::int32_t empty = AddProject("Empty", chunk, Variant(""));
  std::int32_t dated = AddProject("Dated", chunk, Variant("2024-03-05"));
  EXPECT_TRUE(
      Scalar("SELECT StartDate FROM IProject WHERE IProjectID=" + std::to_string(empty)).IsNull());
  EXPECT_EQ(
      CDate(Scalar("SELECT StartDate FROM IProject WHERE IProjectID=" + std::to_string(dated))),
      Date::FromParts(2024, 3, 5));
  EXPECT_EQ(RaisedNumber([&] { AddProject("Bad", chunk, Variant("not a date")); }), 13);
  EXPECT_EQ(Count("IProject"), 2);
}

TEST_F(ProjectTest, AddsReturnTheirOwnRowsEvenForEqualValues) {
  std::set<std::int32_t> projects{AddProject("Same"), AddProject("Same")};
  std::int32_t project = *projects.begin();
  std::set<std::int32_t> tasks{AddTask(project, "T"), AddTask(project, "T")};
  std::set<std::int32_t> staff{AddStaff(project, 1), AddStaff(AddProject("Other"), 1)};
  std::set<std::int32_t> slips{AddSlip(9, 5), AddSlip(9, 5)};
  for (const auto* keys : {&projects, &tasks, &staff, &slips}) EXPECT_EQ(keys->size(), 2u);
}

TEST_F(ProjectTest, UnknownCallerWritesNothing) {
  Variant stranger("nobody"), chunk(15);
  user = stranger;
  EXPECT_EQ(RaisedNumber([&] { AddProject("X", chunk); }), 91);
  Variant order(2);
  EXPECT_EQ(RaisedNumber([&] { typed.GetProjects(account, stranger, token, order); }), 91);
  EXPECT_EQ(Count("IProject"), 0);
}

TEST_F(ProjectTest, DeleteRefusesInvoicesThenSlipsThenExpensesAndKeepsStaffAndTasks) {
  std::int32_t project = AddProject();
  AddTask(project);
  AddStaff(project);
  const std::string id = std::to_string(project);
  Exec("INSERT INTO IProjectInvoice (Parent) VALUES (" + id + ")");
  Exec("INSERT INTO IProjectTransaction (Parent) VALUES (" + id + ")");
  Exec("INSERT INTO IProjectExpense (Parent) VALUES (" + id + ")");
  Variant pid(project);
  const std::vector<std::pair<std::string, std::int32_t>> refusals = {
      {"IProjectInvoice", errCProjectMgr::eProjectHasInvoices},
      {"IProjectTransaction", errCProjectMgr::eProjectHasTransactions},
      {"IProjectExpense", errCProjectMgr::eProjectHasExpenses}};
  for (const auto& [table, number] : refusals) {
    Error e = ExpectError([&] { typed.DeleteProject(account, user, token, pid); }, number);
    EXPECT_NE(e.Description().find("You must remove the"), std::string::npos);
    Exec("DELETE FROM " + table);
  }
  typed.DeleteProject(account, user, token, pid);
  EXPECT_EQ(Count("IProject"), 0);
  EXPECT_EQ(Count("IProjectTask") + Count("IProjectStaff"), 2);
  EXPECT_EQ(RaisedNumber([&] { typed.DeleteProject(account, user, token, pid); }), 9);
}

TEST_F(ProjectTest, ListsAndLookups) {
  AddProject("Beta");
  std::int32_t alpha = AddProject("Alpha");
  Variant order(2), bad(7), pid(alpha), unknown(999), text("x");
  auto list = typed.GetProjects(account, user, token, order);
  ASSERT_EQ(list->Count(), 2);
  EXPECT_EQ(CStr(list->ItemAs<IProject>(1)->Name()), "Alpha");
  EXPECT_EQ(RaisedNumber([&] { typed.GetProjects(account, user, token, bad); }), -2147217900);
  EXPECT_EQ(typed.GetProjTasksAlphaSort(account, user, token, pid)->Count(), 0);
  AddTask(alpha, "b");
  AddTask(alpha, "A");
  EXPECT_EQ(
      CStr(typed.GetProjTasksAlphaSort(account, user, token, pid)->ItemAs<IProjectTask>(1)->Name()),
      "A");
  for (const char* method : {"GetProject", "GetTask", "GetStaff", "GetTransaction"}) {
    std::vector<Variant> missing{account, user, token, unknown}, wrong{account, user, token, text};
    EXPECT_EQ(RaisedNumber([&] { mgr->Invoke(method, missing); }), 9) << method;
    EXPECT_EQ(RaisedNumber([&] { mgr->Invoke(method, wrong); }), 13) << method;
  }
  for (const char* method : {"DeleteProject", "DeleteStaff", "DeleteTask", "DeleteTransaction",
                             "GetProjTasksAlphaSort"}) {
    std::vector<Variant> args{account, user, token, Variant("1 OR 1=1")};
    EXPECT_EQ(RaisedNumber([&] { mgr->Invoke(method, args); }), 13) << method;
  }
  // An unknown project is not reported by an update.
  Variant chunk(15), client(0), name("N"), desc(""), status(2), empty(""), b(true), money(0.0),
      ot(false), manager(1);
  typed.UpdateProject(account, user, token, unknown, client, name, desc, status, empty, empty, b,
                      money, money, ot, chunk, manager);
  EXPECT_EQ(Count("IProject"), 2);
}

TEST_F(ProjectTest, StaffAppearsOncePerProjectEvenUnderConcurrentAdds) {
  std::int32_t project = AddProject();
  AddStaff(project, 5);
  Error e = ExpectError([&] { AddStaff(project, 5); }, errCProjectMgr::eStaffExists);
  EXPECT_EQ(e.Description().rfind("This user has already been assigned to the project as a staff "
                                  "member.",
                                  0),
            0u);
  std::atomic<int> added{0}, refused{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] {
      int n = RaisedNumber([&] { AddStaff(project, 6); });
      (n == 0 ? added : refused) += n == 0 || n == errCProjectMgr::eStaffExists;
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(added, 1);
  EXPECT_EQ(refused, 3);
  EXPECT_EQ(Count("IProjectStaff"), 2);
}

TEST_F(ProjectTest, SlipTimesAreTheMinutePlusOneSecondOnTheDay) {
  struct Case {
    Variant sh, sm, eh, em;
    Date start, stop;
  };
  const std::vector<Case> cases = {
      {9, 5, 17, 30, Date::FromParts(2024, 3, 5, 9, 5, 1), Date::FromParts(2024, 3, 5, 17, 30, 1)},
      {22, 0, 1, 0, Date::FromParts(2024, 3, 5, 22, 0, 1), Date::FromParts(2024, 3, 5, 1, 0, 1)},
      {"8", "0", 8, 0, Date::FromParts(2024, 3, 5, 8, 0, 1), Date::FromParts(2024, 3, 5, 8, 0, 1)},
  };
  for (const Case& c : cases) {
    auto slip = Slip(AddSlip(c.sh, c.sm, c.eh, c.em));
    EXPECT_EQ(CDate(slip->StartTime()), c.start);
    EXPECT_EQ(CDate(slip->StopTime()), c.stop);
  }
  const int stored = Count("IProjectTransaction");
  for (const auto& [h, m] : std::vector<std::pair<Variant, Variant>>{{24, 0},
                                                                     {-1, 0},
                                                                     {9, 60},
                                                                     {9.5, 0},
                                                                     {"nine", 0},
                                                                     {Variant::Null(), 0},
                                                                     {Variant(), 0}}) {
    EXPECT_EQ(RaisedNumber([&] { AddSlip(h, m); }), 13) << CStr(h.IsNull() ? Variant("Null") : h);
  }
  EXPECT_EQ(Count("IProjectTransaction"), stored);
}

TEST_F(ProjectTest, SlipNamingMissingRowsIsRefusedUnwritten) {
  AddSlip(9, 0);  // a project, task and staff row to name
  Variant day(Date::FromParts(2024, 3, 5)), h(9), m(0), desc(""), status(1), money(0.0), err(""),
      ot(false), missing(999), p(project_), t(task_), s(staff_), stranger("nobody");
  struct Case {
    Variant *who, *project, *task, *staff;
    std::int32_t number;
  };
  for (const Case& c : std::vector<Case>{{&stranger, &p, &t, &s, 91},
                                         {&user, &p, &t, &missing, 9},
                                         {&user, &missing, &t, &s, 9},
                                         {&user, &p, &missing, &s, 9}}) {
    EXPECT_EQ(RaisedNumber([&] {
                typed.AddTransaction(account, *c.who, token, *c.project, day, h, m, h, m, desc,
                                     status, money, money, money, money, err, *c.task, *c.staff,
                                     ot);
              }),
              c.number);
  }
  EXPECT_EQ(Count("IProjectTransaction"), 1);
}

TEST_F(ProjectTest, ApprovalIsStampedFromTheStatusReplaced) {
  std::int32_t slip = AddSlip(9, 5);
  SetClock([] { return Date::FromParts(2024, 3, 6, 8, 0, 0); });
  struct Step {
    int status;
    bool approved;
  };
  for (Step step : {Step{2, true}, Step{3, true}, Step{1, false}, Step{4, false}, Step{2, false}}) {
    SetStatus(slip, step.status, "boss");
    auto t = Slip(slip);
    EXPECT_EQ(t->ApprovedBy().IsNull(), !step.approved) << step.status;
    if (step.approved) {
      EXPECT_EQ(CStr(t->ApprovedBy()), "boss");
      EXPECT_EQ(CDate(t->ApprovedOn()), Date::FromParts(2024, 3, 6, 8, 0, 0));
    }
  }
  SetClock(nullptr);
  // The slip follows its task to another project; an unknown slip writes nothing.
  std::int32_t other = AddProject("Other");
  std::int32_t task = AddTask(other);
  task_ = task;
  Variant id(slip), day(Date::FromParts(2024, 3, 5)), h(9), m(5), desc(""), st(1), money(0.0),
      err(""), t(task), s(staff_), ot(false), unknown(999);
  typed.UpdateTransaction(account, user, token, id, day, h, m, h, m, desc, st, money, money, money,
                          money, err, t, s, ot);
  EXPECT_EQ(CLng(typed.GetTransaction(account, user, token, id)->ProjectID()), other);
  EXPECT_EQ(RaisedNumber([&] {
              typed.UpdateTransaction(account, user, token, unknown, day, h, m, h, m, desc, st,
                                      money, money, money, money, err, t, s, ot);
            }),
            9);
  // Billed slips are deleted like any other.
  SetStatus(slip, 3);
  typed.DeleteTransaction(account, user, token, id);
  EXPECT_EQ(Count("IProjectTransaction"), 0);
}

}  // namespace
}  // namespace brivos
