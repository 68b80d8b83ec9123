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
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/BenchSupport.hpp"
#include "bench/PlainSqlite.hpp"

namespace brivos::bench {
namespace {

// 10 runs of 1,000 slips: 10,000 slips added by each side.
constexpr int kSlipsPerRun = 1000;
constexpr int kAddRuns = 10;
constexpr int kKeys = 1000;

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
std::vector<NewSlip> NewSlips(const Subscriber& db) {
  PlainDb conn(db.file());
  std::map<std::int64_t, std::vector<std::int64_t>> tasks;
  PlainStatement task_rows(conn, "SELECT Parent, IProjectTaskID FROM IProjectTask;");
  while (task_rows.Step()) tasks[task_rows.Int(0)].push_back(task_rows.Int(1));
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
  if (slips.size() < 1000) std::abort();
  std::shuffle(slips.begin(), slips.end(), std::mt19937_64(41));
  return slips;
}

// The work day after the data's last, when the new slips are worked.
Date NewSlipDay() { return Date::FromSerial(WorkDaySerial(kWorkDays)); }

void LibraryAdd(benchmark::State& state, const Subscriber* db) {
  auto mgr = CreateObject("BRIVOS.CProjectMgr");
  const Variant day(NewSlipDay());
  std::vector<std::vector<Variant>> calls;
  for (const NewSlip& s : NewSlips(*db)) {
    calls.push_back({db->account(), Variant(s.user), Variant(kAnyToken), Variant(s.project), day,
                     Variant(s.start_hour), Variant(s.start_minute), Variant(s.end_hour),
                     Variant(s.end_minute), Variant(s.description), Variant(1),
                     Variant(Currency::FromDouble(s.rate)), Variant(Currency::FromDouble(s.cost)),
                     Variant(Currency::FromDouble(s.ot_cost)),
                     Variant(Currency::FromDouble(s.ot_rate)), Variant(""), Variant(s.task),
                     Variant(s.staff), Variant(false)});
  }
  std::size_t next = 0;
  LibraryLoop(state, [&] {
    std::vector<Variant> args = calls[next++ % calls.size()];
    Variant key = mgr->Invoke("AddTransaction", args);
    if (CLng(key) <= 0) throw std::runtime_error("no key");
    benchmark::DoNotOptimize(key);
  });
}

void PlainAdd(benchmark::State& state, const Subscriber* db) {
  const std::vector<NewSlip> slips = NewSlips(*db);
  const double day = NewSlipDay().Serial();
  PlainDb conn(db->file());
  using X = IProjectTransaction;
  PlainInsert<X> insert(conn);
  std::size_t next = 0;
  for (auto _ : state) {
    const NewSlip& s = slips[next++ % slips.size()];
    std::int64_t key =
        insert.Row({{X::kProjectID, s.project},
                    {X::kTransDate, day},
                    {X::kStartTime, SlipStamp(day, s.start_hour * 60 + s.start_minute)},
                    {X::kStopTime, SlipStamp(day, s.end_hour * 60 + s.end_minute)},
                    {X::kDescription, s.description},
                    {X::kStatus, eTransStatus::tsComplete},
                    {X::kStaffRate, s.rate},
                    {X::kStaffCost, s.cost},
                    {X::kOTCost, s.ot_cost},
                    {X::kOTRate, s.ot_rate},
                    {X::kError, ""},
                    {X::kTaskID, s.task},
                    {X::kStaffID, s.staff},
                    {X::kOverTime, false}});
    benchmark::DoNotOptimize(key);
  }
}

// kKeys slip keys drawn at random (fixed seed) from the file's slips.
std::vector<std::int32_t> SlipKeys(const Subscriber& db) {
  PlainDb conn(db.file());
  std::uniform_int_distribution<std::int64_t> pick(
      IntOf(conn, "SELECT MIN(IProjectTransactionID) FROM IProjectTransaction;"),
      IntOf(conn, "SELECT MAX(IProjectTransactionID) FROM IProjectTransaction;"));
  std::mt19937_64 rng(53);
  std::vector<std::int32_t> keys;
  for (int i = 0; i < kKeys; ++i) keys.push_back(static_cast<std::int32_t>(pick(rng)));
  return keys;
}

void LibraryGetTransaction(benchmark::State& state, const Subscriber* db) {
  auto mgr = CreateObject("BRIVOS.CProjectMgr");
  const std::vector<std::int32_t> keys = SlipKeys(*db);
  std::size_t next = 0;
  LibraryLoop(state, [&] {
    std::vector<Variant> args{db->account(), Variant("admin"), Variant(kAnyToken),
                              Variant(keys[next++ % keys.size()])};
    Variant slip = mgr->Invoke("GetTransaction", args);
    if (slip.AsObject() == nullptr) throw std::runtime_error("no slip");
    benchmark::DoNotOptimize(slip);
  });
}

void PlainGetTransaction(benchmark::State& state, const Subscriber* db) {
  const std::vector<std::int32_t> keys = SlipKeys(*db);
  PlainDb conn(db->file());
  PlainStatement find(conn,
                      IProjectTransaction::Schema().select + " WHERE IProjectTransactionID=?;");
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

void LibraryGetProjects(benchmark::State& state, const Subscriber* db) {
  auto mgr = CreateObject("BRIVOS.CProjectMgr");
  LibraryLoop(state, [&] {
    std::vector<Variant> args{db->account(), Variant("admin"), Variant(kAnyToken), Variant(0)};
    auto list = CollectionOf(mgr->Invoke("GetProjects", args));
    if (list->Count() != kSlipProjects) throw std::runtime_error("wrong count");
    benchmark::DoNotOptimize(list);
  });
}

void PlainGetProjects(benchmark::State& state, const Subscriber* db) {
  PlainDb conn(db->file());
  PlainCaller caller(conn, db->account());
  PlainStatement projects(
      conn, IProject::Schema().select + " WHERE Parent=? ORDER BY ClientID ASC, Name ASC;");
  for (auto _ : state) {
    const RawRow& user = caller.Find("admin");
    projects.Bind(1, std::get<std::int64_t>(user[IUser::kSubscriberID]));
    std::vector<RawRow> rows = projects.ReadAll();
    if (rows.size() != std::size_t{kSlipProjects}) std::abort();
    benchmark::DoNotOptimize(rows);
  }
}

}  // namespace

Program ThisProgram() {
  return {{kLarge},
          [](const Subscriber& db) {
            Twins("AddTransaction", {.iterations = kSlipsPerRun, .repetitions = kAddRuns},
                  LibraryAdd, PlainAdd, &db);
            Twins("GetTransaction", {}, LibraryGetTransaction, PlainGetTransaction, &db);
            Twins("GetProjects", {}, LibraryGetProjects, PlainGetProjects, &db);
          },
          {
              Comparison::Time("AddTransaction, autocommit each: library/plain",
                               "AddTransaction/library", "AddTransaction/plain", 1.5),
              Comparison::Absolute("AddTransaction, library: time per slip",
                                   "AddTransaction/library", 0, "ms"),
              Comparison::Absolute("AddTransaction, plain: time per slip", "AddTransaction/plain",
                                   0, "ms"),
              Comparison::Absolute("GetTransaction by key of 1M, library: time per call",
                                   "GetTransaction/library", 1000, "us"),
              Comparison::Time("GetTransaction by key of 1M: library/plain",
                               "GetTransaction/library", "GetTransaction/plain"),
              Comparison::Absolute("GetProjects, 100 projects, library: time per call",
                                   "GetProjects/library", 1, "ms"),
              Comparison::Time("GetProjects, 100 projects: library/plain", "GetProjects/library",
                               "GetProjects/plain"),
          }};
}

}  // namespace brivos::bench
