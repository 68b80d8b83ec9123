// Time slips and projects through CProjectMgr, late-bound as a presentation
// layer calls it, on a subscriber holding 1,000,000 slips:
// - AddTransaction by the staff member who worked it, for every staff row in
//   turn, against plain sqlite3 running the same INSERT, one autocommit
//   statement per slip with the same durability. Each run adds a fixed
//   number of slips, since every one waits for a disk sync.
// - GetTransaction of 1,000 different keys in turn, and GetProjects of the
//   subscriber's 100 projects: time per call, and against plain sqlite3
//   running the same statements.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/BenchData.hpp"
#include "bench/BenchSupport.hpp"
#include "bench/PlainSqlite.hpp"
#include "brivos/brivos.hpp"
#include "brivos/database/Database.hpp"

namespace {

using brivos::Currency;
using brivos::Date;
using brivos::Variant;
using brivos::bench::Comparison;
using brivos::bench::PlainDb;
using brivos::bench::PlainStatement;
using brivos::bench::RawRow;
using brivos::bench::Subscriber;

// 10 runs of 1,000 slips: 10,000 slips added by each side.
constexpr int kSlipsPerRun = 1000;
constexpr int kAddRuns = 10;
constexpr int kKeys = 1000;
constexpr const char* kToken = "0123456789ABCDEF0123456789ABCDEF";

const Subscriber* g_db = nullptr;

// What one new slip names: the staff row of the user entering it, its
// project, one of the project's tasks, the row's rates, and the time of day.
struct NewSlip {
  std::string user;
  std::int32_t staff = 0;
  std::int32_t project = 0;
  std::int32_t task = 0;
  double rate = 0;
  double cost = 0;
  double ot_rate = 0;
  double ot_cost = 0;
  int start_hour = 0;
  int start_minute = 0;
  int end_hour = 0;
  int end_minute = 0;
  std::string description;
};

// Every staff row in a fixed random order, each with one of its project's
// tasks and a time of day.
std::vector<NewSlip> NewSlips() {
  PlainDb conn(g_db->file());
  std::map<std::int64_t, std::vector<std::int64_t>> tasks;
  PlainStatement task_rows(conn, "SELECT Parent, IProjectTaskID FROM IProjectTask;");
  while (task_rows.Step()) tasks[task_rows.Int(0)].push_back(task_rows.Int(1));
  task_rows.Reset();
  PlainStatement rows(conn,
                      "SELECT s.IProjectStaffID, s.Parent, u.UserName, s.Rate, s.Cost, s.OTRate, "
                      "s.OTCost FROM IProjectStaff s JOIN IUser u ON u.IUserID=s.UserID ORDER BY "
                      "s.IProjectStaffID;");
  std::vector<NewSlip> slips;
  while (rows.Step()) {
    const int n = static_cast<int>(slips.size());
    NewSlip& s = slips.emplace_back();
    s.staff = static_cast<std::int32_t>(rows.Int(0));
    s.project = static_cast<std::int32_t>(rows.Int(1));
    s.user = rows.Text(2);
    s.rate = rows.Real(3);
    s.cost = rows.Real(4);
    s.ot_rate = rows.Real(5);
    s.ot_cost = rows.Real(6);
    const std::vector<std::int64_t>& of_project = tasks.at(s.project);
    s.task = static_cast<std::int32_t>(of_project[static_cast<std::size_t>(n) % of_project.size()]);
    s.start_hour = 8 + n % 9;
    s.start_minute = n % 4 * 15;
    s.end_hour = s.start_hour + 1;
    s.end_minute = n % 3 * 10;
    s.description = "Bench slip " + std::to_string(n) + " of the day";
  }
  rows.Reset();
  if (slips.size() < 1000) std::abort();
  std::shuffle(slips.begin(), slips.end(), std::mt19937_64(41));
  return slips;
}

// The work day after the data's last, when the new slips are worked.
Date NewSlipDay() {
  return Date::FromSerial(brivos::bench::WorkDaySerial(brivos::bench::kWorkDays));
}

void LibraryAdd(benchmark::State& state) {
  auto mgr = brivos::CreateObject("BRIVOS.CProjectMgr");
  const Variant day(NewSlipDay());
  std::vector<std::vector<Variant>> calls;
  for (const NewSlip& s : NewSlips()) {
    calls.push_back({g_db->account(), Variant(s.user), Variant(kToken), Variant(s.project), day,
                     Variant(s.start_hour), Variant(s.start_minute), Variant(s.end_hour),
                     Variant(s.end_minute), Variant(s.description), Variant(1),
                     Variant(Currency::FromDouble(s.rate)), Variant(Currency::FromDouble(s.cost)),
                     Variant(Currency::FromDouble(s.ot_cost)),
                     Variant(Currency::FromDouble(s.ot_rate)), Variant(""), Variant(s.task),
                     Variant(s.staff), Variant(false)});
  }
  std::size_t next = 0;
  brivos::bench::LibraryLoop(state, [&] {
    std::vector<Variant> args = calls[next++ % calls.size()];
    Variant key = mgr->Invoke("AddTransaction", args);
    if (CLng(key) <= 0) throw std::runtime_error("no key");
    benchmark::DoNotOptimize(key);
  });
}

void PlainAdd(benchmark::State& state) {
  const std::vector<NewSlip> slips = NewSlips();
  const double day = NewSlipDay().Serial();
  PlainDb conn(g_db->file());
  PlainStatement insert(
      conn,
      "INSERT INTO IProjectTransaction (Parent,TransDate,StartTime,StopTime,Description,Status,"
      "StaffRate,StaffCost,OTCost,OTRate,Error,TaskID,StaffID,OverTime) VALUES "
      "(?,?,?,?,?,?,?,?,?,?,?,?,?,?);");
  std::size_t next = 0;
  for (auto _ : state) {
    const NewSlip& s = slips[next++ % slips.size()];
    insert.Bind(1, std::int64_t{s.project})
        .Bind(2, day)
        .Bind(3, brivos::bench::SlipStamp(day, s.start_hour * 60 + s.start_minute))
        .Bind(4, brivos::bench::SlipStamp(day, s.end_hour * 60 + s.end_minute))
        .Bind(5, s.description)
        .Bind(6, std::int64_t{1})
        .Bind(7, s.rate)
        .Bind(8, s.cost)
        .Bind(9, s.ot_cost)
        .Bind(10, s.ot_rate)
        .Bind(11, "")
        .Bind(12, std::int64_t{s.task})
        .Bind(13, std::int64_t{s.staff})
        .Bind(14, std::int64_t{0})
        .Run();
    std::int64_t key = sqlite3_last_insert_rowid(conn.get());
    benchmark::DoNotOptimize(key);
  }
}

// kKeys slip keys drawn at random (fixed seed) from the file's slips.
std::vector<std::int32_t> SlipKeys() {
  PlainDb conn(g_db->file());
  PlainStatement range(conn,
                       "SELECT MIN(IProjectTransactionID), MAX(IProjectTransactionID) FROM "
                       "IProjectTransaction;");
  if (!range.Step()) std::abort();
  std::uniform_int_distribution<std::int64_t> pick(range.Int(0), range.Int(1));
  range.Reset();
  std::mt19937_64 rng(53);
  std::vector<std::int32_t> keys;
  for (int i = 0; i < kKeys; ++i) keys.push_back(static_cast<std::int32_t>(pick(rng)));
  return keys;
}

void LibraryGetTransaction(benchmark::State& state) {
  auto mgr = brivos::CreateObject("BRIVOS.CProjectMgr");
  const std::vector<std::int32_t> keys = SlipKeys();
  std::size_t next = 0;
  brivos::bench::LibraryLoop(state, [&] {
    std::vector<Variant> args{g_db->account(), Variant("admin"), Variant(kToken),
                              Variant(keys[next++ % keys.size()])};
    Variant slip = mgr->Invoke("GetTransaction", args);
    if (slip.AsObject() == nullptr) throw std::runtime_error("no slip");
    benchmark::DoNotOptimize(slip);
  });
}

void PlainGetTransaction(benchmark::State& state) {
  const std::vector<std::int32_t> keys = SlipKeys();
  PlainDb conn(g_db->file());
  PlainStatement find(
      conn, brivos::IProjectTransaction::Schema().select + " WHERE IProjectTransactionID=?;");
  RawRow row;
  std::size_t next = 0;
  for (auto _ : state) {
    find.Bind(1, std::int64_t{keys[next++ % keys.size()]});
    if (!find.Step()) std::abort();
    find.Read(row);
    find.Reset();
    benchmark::DoNotOptimize(row);
  }
}

void LibraryGetProjects(benchmark::State& state) {
  auto mgr = brivos::CreateObject("BRIVOS.CProjectMgr");
  brivos::bench::LibraryLoop(state, [&] {
    std::vector<Variant> args{g_db->account(), Variant("admin"), Variant(kToken), Variant(0)};
    auto list =
        std::dynamic_pointer_cast<brivos::Collection>(mgr->Invoke("GetProjects", args).AsObject());
    if (!list || list->Count() != brivos::bench::kSlipProjects) {
      throw std::runtime_error("wrong project count");
    }
    benchmark::DoNotOptimize(list);
  });
}

void PlainGetProjects(benchmark::State& state) {
  const std::string account_number = brivos::AccountNumberOf(g_db->account());
  PlainDb conn(g_db->file());
  PlainStatement caller(conn, brivos::IUser::Schema().select +
                                  " WHERE UserName=? AND Parent=(SELECT ISubScriberID FROM "
                                  "ISubScriber WHERE AccountNo=?);");
  PlainStatement projects(
      conn, brivos::IProject::Schema().select + " WHERE Parent=? ORDER BY ClientID ASC, Name ASC;");
  RawRow user;
  for (auto _ : state) {
    caller.Bind(1, "admin").Bind(2, account_number);
    if (!caller.Step()) std::abort();
    caller.Read(user);
    caller.Reset();
    // The subscriber key is the user's Parent, the second column.
    projects.Bind(1, std::get<std::int64_t>(user[1]));
    std::vector<RawRow> rows = projects.ReadAll();
    if (rows.size() != std::size_t{brivos::bench::kSlipProjects}) std::abort();
    benchmark::DoNotOptimize(rows);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (!brivos::bench::InitBenchmarks(argc, argv)) return 1;
  Subscriber large(brivos::bench::kLarge);
  g_db = &large;
  for (auto* b : {benchmark::RegisterBenchmark("AddTransaction/library", LibraryAdd),
                  benchmark::RegisterBenchmark("AddTransaction/plain", PlainAdd)}) {
    b->Unit(benchmark::kMicrosecond)->Iterations(kSlipsPerRun)->Repetitions(kAddRuns);
  }
  benchmark::RegisterBenchmark("GetTransaction/library", LibraryGetTransaction)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("GetTransaction/plain", PlainGetTransaction)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("GetProjects/library", LibraryGetProjects)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("GetProjects/plain", PlainGetProjects)
      ->Unit(benchmark::kMicrosecond);
  brivos::bench::RatioReporter reporter({
      Comparison::Time("AddTransaction, autocommit each: library/plain", "AddTransaction/library",
                       "AddTransaction/plain", 1.5),
      Comparison::Absolute("AddTransaction, library: time per slip", "AddTransaction/library", 0,
                           "ms"),
      Comparison::Absolute("AddTransaction, plain: time per slip", "AddTransaction/plain", 0, "ms"),
      Comparison::Absolute("GetTransaction by key of 1M, library: time per call",
                           "GetTransaction/library", 1000, "us"),
      Comparison::Time("GetTransaction by key of 1M: library/plain", "GetTransaction/library",
                       "GetTransaction/plain"),
      Comparison::Absolute("GetProjects, 100 projects, library: time per call",
                           "GetProjects/library", 1, "ms"),
      Comparison::Time("GetProjects, 100 projects: library/plain", "GetProjects/library",
                       "GetProjects/plain"),
  });
  brivos::bench::RunWithRatios(reporter);
  return 0;
}
