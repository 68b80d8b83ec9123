// Timesheet and project-slip queries through CProjectMgr, late-bound as a
// presentation layer calls them, on a subscriber holding 1,000,000 slips:
// GetTransactionsForWeek of one staff member's latest week, and
// GetProjTransactionsByStatus of the approved slips (errors left out) of a
// project of average size. Against plain sqlite3 running the same statements
// on a kept connection; the plain week query binds the day serials the
// library's CDATE calls give, since plain sqlite3 has no CDATE.

#include <cstdint>
#include <string>
#include <vector>

#include "bench/BenchSupport.hpp"
#include "bench/PlainSqlite.hpp"

namespace brivos::bench {
namespace {

// A staff user on ten projects, as most are.
constexpr int kWeekUser = 42;
// A project of about 9,000 slips, about 900 of them approved.
constexpr const char* kStatusProject = "Project 2";
constexpr int kApproved = eTransStatus::tsApproved;

// Monday of the data's last week.
Date WeekStart() { return Date::FromSerial(WorkDaySerial(kWorkDays - 5)); }

void LibraryWeek(benchmark::State& state, const Subscriber* db) {
  auto mgr = CreateObject("BRIVOS.CProjectMgr");
  const Variant user(UserNameOf(kWeekUser));
  const Variant week(WeekStart());
  std::int32_t rows = 0;
  LibraryLoop(state, [&] {
    std::vector<Variant> args{db->account(), user, Variant(kAnyToken), week, user};
    auto list = CollectionOf(mgr->Invoke("GetTransactionsForWeek", args));
    rows = list->Count();
    benchmark::DoNotOptimize(list);
  });
  state.counters["rows"] = rows;
}

void PlainWeek(benchmark::State& state, const Subscriber* db) {
  const std::string user = UserNameOf(kWeekUser);
  const double first = WeekStart().Serial(), last = first + 6;
  PlainDb conn(db->file());
  PlainCaller caller(conn, db->account());
  PlainStatement week(
      conn,
      "SELECT * FROM IProjectTransaction WHERE TransDate>=? AND TransDate<=? AND StaffID IN "
      "(SELECT IProjectStaffID FROM IProjectStaff WHERE UserID=?) ORDER BY Parent ASC, TransDate "
      "ASC, StartTime ASC;");
  std::size_t rows = 0;
  for (auto _ : state) {
    const RawRow& found = caller.Find(user);
    week.Bind(1, first).Bind(2, last).Bind(3, std::get<std::int64_t>(found[IUser::kIUserID]));
    std::vector<RawRow> slips = week.ReadAll();
    rows = slips.size();
    benchmark::DoNotOptimize(slips);
  }
  state.counters["rows"] = static_cast<double>(rows);
}

void LibraryByStatus(benchmark::State& state, const Subscriber* db) {
  auto mgr = CreateObject("BRIVOS.CProjectMgr");
  const Variant project(static_cast<std::int32_t>(db->ProjectNamed(kStatusProject)));
  std::int32_t rows = 0;
  LibraryLoop(state, [&] {
    std::vector<Variant> args{db->account(), Variant("admin"),   Variant(kAnyToken),
                              project,       Variant(kApproved), Variant(false)};
    auto list = CollectionOf(mgr->Invoke("GetProjTransactionsByStatus", args));
    rows = list->Count();
    benchmark::DoNotOptimize(list);
  });
  state.counters["rows"] = rows;
}

void PlainByStatus(benchmark::State& state, const Subscriber* db) {
  const std::int64_t project = db->ProjectNamed(kStatusProject);
  PlainDb conn(db->file());
  PlainStatement select(conn, IProjectTransaction::Schema().select +
                                  " WHERE Parent=? AND (Status=?) AND (Error IS NULL OR "
                                  "Error='') ORDER BY TransDate ASC;");
  std::size_t rows = 0;
  for (auto _ : state) {
    select.Bind(1, project).Bind(2, std::int64_t{kApproved});
    std::vector<RawRow> slips = select.ReadAll();
    rows = slips.size();
    benchmark::DoNotOptimize(slips);
  }
  state.counters["rows"] = static_cast<double>(rows);
}

}  // namespace

Program ThisProgram() {
  Program program{{kLarge},
                  [](const Subscriber& db) {
                    Twins("GetTransactionsForWeek", {}, LibraryWeek, PlainWeek, &db);
                    Twins("GetProjTransactionsByStatus", {}, LibraryByStatus, PlainByStatus, &db);
                  },
                  {}};
  // Each query against plain, its time per call, and the slips each side listed.
  for (const auto& [query, which] :
       {std::pair<std::string, const char*>{"GetTransactionsForWeek", "one user"},
        {"GetProjTransactionsByStatus", "approved"}}) {
    const std::string library = query + "/library", plain = query + "/plain";
    program.comparisons.push_back(
        Comparison::Time(query + ", " + which + ": library/plain", library, plain, 1.5));
    program.comparisons.push_back(
        Comparison::Absolute(query + ", library: time per call", library, 5, "ms"));
    program.comparisons.push_back(
        Comparison::Counter(query + ": slips listed, library/plain", library, plain, "rows"));
  }
  return program;
}

}  // namespace brivos::bench
