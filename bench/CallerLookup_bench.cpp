// Caller lookup, which every manager call runs: CUserManager::GetUserProfile
// with the caller's own name, late-bound as a presentation layer calls it,
// for 1,000 different callers in turn, on subscribers of 1,000 and 100,000
// users; against plain sqlite3 running the same lookup.

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/BenchData.hpp"
#include "bench/BenchSupport.hpp"
#include "bench/PlainSqlite.hpp"
#include "brivos/brivos.hpp"
#include "brivos/database/Database.hpp"

namespace {

using brivos::Variant;
using brivos::bench::Comparison;
using brivos::bench::PlainDb;
using brivos::bench::PlainStatement;
using brivos::bench::RawRow;
using brivos::bench::Subscriber;

constexpr int kCallers = 1000;

std::vector<std::string> CallerNames(const Subscriber& db) {
  std::vector<std::string> names;
  for (int i : db.RandomUsers(kCallers, 17)) names.push_back(brivos::bench::UserNameOf(i));
  return names;
}

void Library(benchmark::State& state, const Subscriber* db) {
  auto mgr = brivos::CreateObject("BRIVOS.CUserManager");
  std::vector<Variant> names;
  for (const std::string& name : CallerNames(*db)) names.emplace_back(name);
  const Variant token("0123456789ABCDEF0123456789ABCDEF");
  std::size_t next = 0;
  brivos::bench::LibraryLoop(state, [&] {
    const Variant& name = names[next++ % names.size()];
    std::vector<Variant> args{db->account(), name, token, db->account(), name};
    Variant profile = mgr->Invoke("GetUserProfile", args);
    if (profile.AsObject() == nullptr) throw std::runtime_error("no profile for " + CStr(name));
    benchmark::DoNotOptimize(profile);
  });
}

void Plain(benchmark::State& state, const Subscriber* db) {
  const std::vector<std::string> names = CallerNames(*db);
  const std::string account_number = brivos::AccountNumberOf(db->account());
  PlainDb conn(db->file());
  PlainStatement find(conn, brivos::IUser::Schema().select +
                                " WHERE UserName=? AND Parent=(SELECT ISubScriberID FROM "
                                "ISubScriber WHERE AccountNo=?);");
  RawRow row;
  std::size_t next = 0;
  for (auto _ : state) {
    find.Bind(1, names[next++ % names.size()]).Bind(2, account_number);
    if (!find.Step()) std::abort();
    find.Read(row);
    find.Reset();
    benchmark::DoNotOptimize(row);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (!brivos::bench::InitBenchmarks(argc, argv)) return 1;
  Subscriber small(brivos::bench::kSmall);
  Subscriber large(brivos::bench::kLarge);
  for (const Subscriber* db : {&small, &large}) {
    const std::string size = db->size().label;
    benchmark::RegisterBenchmark(("CallerLookup/" + size + "/library").c_str(), Library, db)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("CallerLookup/" + size + "/plain").c_str(), Plain, db)
        ->Unit(benchmark::kMicrosecond);
  }
  brivos::bench::RatioReporter reporter({
      Comparison::Time("caller lookup, 1k users: library/plain", "CallerLookup/1k/library",
                       "CallerLookup/1k/plain"),
      Comparison::Time("caller lookup, 100k users: library/plain", "CallerLookup/100k/library",
                       "CallerLookup/100k/plain", 1.5),
      Comparison::Time("caller lookup, library: 100k users / 1k users", "CallerLookup/100k/library",
                       "CallerLookup/1k/library", 1.5),
      Comparison::Time("caller lookup, plain: 100k users / 1k users", "CallerLookup/100k/plain",
                       "CallerLookup/1k/plain"),
  });
  brivos::bench::RunWithRatios(reporter);
  return 0;
}
