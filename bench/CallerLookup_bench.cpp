// Caller lookup, which every manager call runs: CUserManager::GetUserProfile
// with the caller's own name, late-bound as a presentation layer calls it,
// for 1,000 different callers in turn, on subscribers of 1,000 and 100,000
// users; against plain sqlite3 running the same lookup.

#include <stdexcept>
#include <string>
#include <vector>

#include "bench/BenchSupport.hpp"
#include "bench/PlainSqlite.hpp"

namespace brivos::bench {
namespace {

constexpr int kCallers = 1000;

std::vector<std::string> CallerNames(const Subscriber& db) {
  std::vector<std::string> names;
  for (int i : db.RandomUsers(kCallers, 17)) names.push_back(UserNameOf(i));
  return names;
}

void Library(benchmark::State& state, const Subscriber* db) {
  auto mgr = CreateObject("BRIVOS.CUserManager");
  std::vector<Variant> names;
  for (const std::string& name : CallerNames(*db)) names.emplace_back(name);
  const Variant token(kAnyToken);
  std::size_t next = 0;
  LibraryLoop(state, [&] {
    const Variant& name = names[next++ % names.size()];
    std::vector<Variant> args{db->account(), name, token, db->account(), name};
    Variant profile = mgr->Invoke("GetUserProfile", args);
    if (profile.AsObject() == nullptr) throw std::runtime_error("no profile for " + CStr(name));
    benchmark::DoNotOptimize(profile);
  });
}

void Plain(benchmark::State& state, const Subscriber* db) {
  const std::vector<std::string> names = CallerNames(*db);
  PlainDb conn(db->file());
  PlainCaller caller(conn, db->account());
  std::size_t next = 0;
  for (auto _ : state) benchmark::DoNotOptimize(caller.Find(names[next++ % names.size()]));
}

}  // namespace

Program ThisProgram() {
  return {{kSmall, kLarge},
          [](const Subscriber& db) {
            Twins(std::string("CallerLookup/") + db.size().label, {}, Library, Plain, &db);
          },
          {
              Comparison::Time("caller lookup, 1k users: library/plain", "CallerLookup/1k/library",
                               "CallerLookup/1k/plain"),
              Comparison::Time("caller lookup, 100k users: library/plain",
                               "CallerLookup/100k/library", "CallerLookup/100k/plain", 1.5),
              Comparison::Time("caller lookup, library: 100k users / 1k users",
                               "CallerLookup/100k/library", "CallerLookup/1k/library", 1.5),
              Comparison::Time("caller lookup, plain: 100k users / 1k users",
                               "CallerLookup/100k/plain", "CallerLookup/1k/plain"),
          }};
}

}  // namespace brivos::bench
