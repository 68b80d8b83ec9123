// Many subscribers served by one process: GetSysSession,
// GetNextInvoiceNumber and GetTransactionsForWeek, each call on the next of
// N subscriber files in turn (round robin, the worst order for a pool that
// keeps the most recently used), for N = 1, 100, 1,000 and 10,000. Reports
// the time per call and the process's peak memory (VmHWM) during the run,
// with the pool's bounds as the environment sets them.
//
// The files are copies of one provisioned subscriber, made in a scratch
// directory under the temporary directory and removed at the end.

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/BenchSupport.hpp"
#include "bench/PlainSqlite.hpp"
#include "brivos/database/Database.hpp"

namespace brivos::bench {
namespace {

namespace fs = std::filesystem;

constexpr int kSizes[] = {1, 100, 1000, 10000};
constexpr const char* kUser = "admin";

struct Farm {
  fs::path dir;
  std::string token;
  std::vector<Variant> accounts;  // kSizes' largest count
};

Farm& TheFarm() {
  static Farm farm;
  return farm;
}

// One provisioned subscriber with a session, copied 10,000 times. Each copy
// is in a directory of its own: its account number is in its rows.
void BuildFarm() {
  Farm& farm = TheFarm();
  std::string templ = (fs::temp_directory_path() / "brivos-many-XXXXXX").string();
  if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("no scratch directory");
  farm.dir = templ;
  for (int i = 0; i < kSizes[std::size(kSizes) - 1]; ++i) {
    const fs::path dir = farm.dir / std::to_string(i);
    fs::create_directory(dir);
    farm.accounts.push_back(Variant(dir.string() + "\\S0"));
    if (i == 0) {
      CreateSubscriberDatabase(CStr(farm.accounts[0]), "Firm", kUser, "secret");
      farm.token =
          CSecurityMgr{}.BeginUserSession(farm.accounts[0], Variant(kUser), Variant("secret"));
      ReleaseIdleConnections();  // the last connection checkpoints: the file is whole
    } else {
      fs::copy_file(farm.dir / "0" / "S0.mdb", dir / "S0.mdb");
    }
  }
}

void RemoveFarm() {
  ReleaseIdleConnections();
  std::error_code ignored;
  fs::remove_all(TheFarm().dir, ignored);
}

// Resets the process's peak resident size to its present size.
void ResetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

// The process's peak resident size in MB.
double PeakMemoryMb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0;
}

enum class Call { kSession, kInvoiceNumber, kWeek };

void RunCall(const Variant& account, Call call) {
  const Farm& farm = TheFarm();
  const Variant user(kUser);
  const Variant token(farm.token);
  switch (call) {
    case Call::kSession:
      if (!CSecurityMgr{}.GetSysSession(account, token)) throw std::runtime_error("no session");
      break;
    case Call::kInvoiceNumber:
      benchmark::DoNotOptimize(CAccountMgr{}.GetNextInvoiceNumber(account, user, token));
      break;
    case Call::kWeek:
      benchmark::DoNotOptimize(CProjectMgr{}.GetTransactionsForWeek(
          account, user, token, Variant(Date::FromParts(2024, 3, 4)), user));
      break;
  }
}

void Rotate(benchmark::State& state, Call call, int subscribers) {
  const std::vector<Variant>& accounts = TheFarm().accounts;
  ReleaseIdleConnections();
  malloc_trim(0);  // what an earlier run left in the heap is no part of this one's peak
  ResetPeakMemory();
  // A first round opens every subscriber, as a server that has been running.
  try {
    for (int i = 0; i < subscribers; ++i) RunCall(accounts[static_cast<std::size_t>(i)], call);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
  std::size_t next = 0;
  LibraryLoop(state, [&] {
    RunCall(accounts[next], call);
    if (++next == static_cast<std::size_t>(subscribers)) next = 0;
  });
  state.counters["peak_MB"] = PeakMemoryMb();
}

// The floor of a call on a subscriber whose connection was evicted: plain
// sqlite3 opening the file (SQLite parses its schema), reading the session
// and closing it again (the last connection to a file checkpoints its log).
void PlainReopen(benchmark::State& state, int subscribers) {
  const Farm& farm = TheFarm();
  std::size_t next = 0;
  LibraryLoop(state, [&] {
    PlainDb db((farm.dir / std::to_string(next) / "S0.mdb").string());
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db.get(), "SELECT * FROM SysSessions WHERE Token=?", -1, &stmt, nullptr);
    sqlite3_bind_text(stmt, 1, farm.token.c_str(), -1, SQLITE_STATIC);
    const int rc = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_ROW) throw std::runtime_error("no session");
    if (++next == static_cast<std::size_t>(subscribers)) next = 0;
  });
}

std::string NameOf(const char* call, int subscribers) {
  return std::string(call) + "/" + std::to_string(subscribers);
}

}  // namespace

Program ThisProgram() {
  BuildFarm();
  struct Named {
    const char* name;
    Call call;
    int write_iterations;  // 0: reads, as many as a whole round and more
  };
  const Named calls[] = {{"GetSysSession", Call::kSession, 0},
                         {"GetNextInvoiceNumber", Call::kInvoiceNumber, 1500},
                         {"GetTransactionsForWeek", Call::kWeek, 0}};
  std::vector<Comparison> comparisons;
  for (const Named& c : calls) {
    for (int n : kSizes) {
      Settings settings;
      settings.repetitions = 1;
      settings.iterations = c.write_iterations > 0 ? c.write_iterations : std::max(n, 5000);
      Register(NameOf(c.name, n), settings, Rotate, c.call, n);
    }
    comparisons.push_back(Comparison::Time(std::string(c.name) + ", 1,000 subscribers / 1",
                                           NameOf(c.name, 1000), NameOf(c.name, 1), 3));
    comparisons.push_back(Comparison::Worst(std::string(c.name) + ", peak memory at 1,000",
                                            NameOf(c.name, 1000), "peak_MB", 150, "MB"));
  }
  Settings reopen;
  reopen.repetitions = 1;
  reopen.iterations = 10000;
  Register("GetSysSession/10000/plain-reopen", reopen, PlainReopen, 10000);
  comparisons.push_back(Comparison::Absolute("GetSysSession, 10,000 subscribers",
                                             NameOf("GetSysSession", 10000), 300, "us"));
  comparisons.push_back(Comparison::Absolute("plain sqlite3 opening, reading, closing, 10,000",
                                             "GetSysSession/10000/plain-reopen", 0, "us"));
  comparisons.push_back(Comparison::Time("GetSysSession, 10,000 subscribers / plain reopening",
                                         NameOf("GetSysSession", 10000),
                                         "GetSysSession/10000/plain-reopen"));
  for (int n : {100, 10000}) {
    comparisons.push_back(Comparison::Worst("GetSysSession, peak memory at " + std::to_string(n),
                                            NameOf("GetSysSession", n), "peak_MB", 0, "MB"));
  }
  return Program{{}, nullptr, std::move(comparisons), RemoveFarm};
}

}  // namespace brivos::bench
