// Timesheet and project-slip queries through CProjectMgr, late-bound as a
// presentation layer calls them, on a subscriber holding 1,000,000 slips:
// GetTransactionsForWeek of one staff member's latest week, and
// GetProjTransactionsByStatus of the approved slips (errors left out) of a
// project of average size. Against plain sqlite3 running the same statements
// on a kept connection; the plain week query binds the day serials the
// library's CDATE calls give, since plain sqlite3 has no CDATE.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/BenchData.hpp"
#include "bench/BenchSupport.hpp"
#include "bench/PlainSqlite.hpp"
#include "brivos/brivos.hpp"
#include "brivos/database/Database.hpp"

namespace {

using brivos::Date;
using brivos::Variant;
using brivos::bench::Comparison;
using brivos::bench::PlainDb;
using brivos::bench::PlainStatement;
using brivos::bench::RawRow;
using brivos::bench::Subscriber;

constexpr const char* kToken = "0123456789ABCDEF0123456789ABCDEF";
// A staff user on ten projects, as most are.
constexpr int kWeekUser = 42;
// A project of about 9,000 slips, about 900 of them approved.
constexpr const char* kStatusProject = "Project 2";
constexpr int kApproved = 2;

const Subscriber* g_db = nullptr;

// Monday of the data's last week.
Date WeekStart() {
  return Date::FromSerial(brivos::bench::WorkDaySerial(brivos::bench::kWorkDays - 5));
}

std::shared_ptr<brivos::Collection> AsCollection(const Variant& v) {
  auto list = std::dynamic_pointer_cast<brivos::Collection>(v.AsObject());
  if (!list) throw std::runtime_error("no collection");
  return list;
}

void LibraryWeek(benchmark::State& state) {
  auto mgr = brivos::CreateObject("BRIVOS.CProjectMgr");
  const Variant user(brivos::bench::UserNameOf(kWeekUser));
  const Variant week(WeekStart());
  std::int32_t rows = 0;
  brivos::bench::LibraryLoop(state, [&] {
    std::vector<Variant> args{g_db->account(), user, Variant(kToken), week, user};
    auto list = AsCollection(mgr->Invoke("GetTransactionsForWeek", args));
    rows = list->Count();
    benchmark::DoNotOptimize(list);
  });
  state.counters["rows"] = rows;
}

void PlainWeek(benchmark::State& state) {
  const std::string user = brivos::bench::UserNameOf(kWeekUser);
  const std::string account_number = brivos::AccountNumberOf(g_db->account());
  const double first = WeekStart().Serial(), last = first + 6;
  PlainDb conn(g_db->file());
  PlainStatement caller(conn, brivos::IUser::Schema().select +
                                  " WHERE UserName=? AND Parent=(SELECT ISubScriberID FROM "
                                  "ISubScriber WHERE AccountNo=?);");
  PlainStatement week(
      conn,
      "SELECT * FROM IProjectTransaction WHERE TransDate>=? AND TransDate<=? AND StaffID IN "
      "(SELECT IProjectStaffID FROM IProjectStaff WHERE UserID=?) ORDER BY Parent ASC, TransDate "
      "ASC, StartTime ASC;");
  RawRow found;
  std::size_t rows = 0;
  for (auto _ : state) {
    caller.Bind(1, user).Bind(2, account_number);
    if (!caller.Step()) std::abort();
    caller.Read(found);
    caller.Reset();
    week.Bind(1, first).Bind(2, last).Bind(3, std::get<std::int64_t>(found[0]));
    std::vector<RawRow> slips = week.ReadAll();
    rows = slips.size();
    benchmark::DoNotOptimize(slips);
  }
  state.counters["rows"] = static_cast<double>(rows);
}

void LibraryByStatus(benchmark::State& state) {
  auto mgr = brivos::CreateObject("BRIVOS.CProjectMgr");
  const Variant project(static_cast<std::int32_t>(g_db->ProjectNamed(kStatusProject)));
  std::int32_t rows = 0;
  brivos::bench::LibraryLoop(state, [&] {
    std::vector<Variant> args{g_db->account(), Variant("admin"),   Variant(kToken),
                              project,         Variant(kApproved), Variant(false)};
    auto list = AsCollection(mgr->Invoke("GetProjTransactionsByStatus", args));
    rows = list->Count();
    benchmark::DoNotOptimize(list);
  });
  state.counters["rows"] = rows;
}

void PlainByStatus(benchmark::State& state) {
  const std::int64_t project = g_db->ProjectNamed(kStatusProject);
  PlainDb conn(g_db->file());
  PlainStatement select(conn, brivos::IProjectTransaction::Schema().select +
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

int main(int argc, char** argv) {
  if (!brivos::bench::InitBenchmarks(argc, argv)) return 1;
  Subscriber large(brivos::bench::kLarge);
  g_db = &large;
  benchmark::RegisterBenchmark("GetTransactionsForWeek/library", LibraryWeek)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("GetTransactionsForWeek/plain", PlainWeek)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("GetProjTransactionsByStatus/library", LibraryByStatus)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("GetProjTransactionsByStatus/plain", PlainByStatus)
      ->Unit(benchmark::kMicrosecond);
  brivos::bench::RatioReporter reporter({
      Comparison::Time("GetTransactionsForWeek, one user: library/plain",
                       "GetTransactionsForWeek/library", "GetTransactionsForWeek/plain", 1.5),
      Comparison::Absolute("GetTransactionsForWeek, library: time per call",
                           "GetTransactionsForWeek/library", 5, "ms"),
      Comparison::Counter("GetTransactionsForWeek: slips listed, library/plain",
                          "GetTransactionsForWeek/library", "GetTransactionsForWeek/plain", "rows"),
      Comparison::Time("GetProjTransactionsByStatus, approved: library/plain",
                       "GetProjTransactionsByStatus/library", "GetProjTransactionsByStatus/plain",
                       1.5),
      Comparison::Absolute("GetProjTransactionsByStatus, library: time per call",
                           "GetProjTransactionsByStatus/library", 5, "ms"),
      Comparison::Counter("GetProjTransactionsByStatus: slips listed, library/plain",
                          "GetProjTransactionsByStatus/library",
                          "GetProjTransactionsByStatus/plain", "rows"),
  });
  brivos::bench::RunWithRatios(reporter);
  return 0;
}
