// Sign-in and session lookup through the library, late-bound as a
// presentation layer calls them, against plain sqlite3 running the same
// statements: on subscribers with 1,000 and 100,000 users and sessions,
// sign-in by 1,000 different users in turn, session lookup of 1,000 different
// tokens in turn, and lookup throughput on 2 threads (the cores here) against 1.

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/BenchSupport.hpp"
#include "bench/PlainSqlite.hpp"

namespace brivos::bench {
namespace {

constexpr int kSignIns = 1000;
// Sign-ins per repetition: each commits with a disk sync, whose cost swings
// with the machine's disk load, so the count is fixed rather than timed.
constexpr int kSignInsPerRun = 300;
constexpr int kTokens = 1000;

// The users who sign in, as (name, password).
std::vector<std::pair<std::string, std::string>> SigningIn(const Subscriber& db) {
  std::vector<std::pair<std::string, std::string>> users;
  for (int i : db.RandomUsers(kSignIns, 29)) users.emplace_back(UserNameOf(i), PasswordOf(i));
  return users;
}

void LibrarySignIn(benchmark::State& state, const Subscriber* db) {
  auto mgr = CreateObject("BRIVOS.CSecurityMgr");
  std::vector<std::pair<Variant, Variant>> users;
  for (const auto& [name, password] : SigningIn(*db)) users.emplace_back(name, password);
  std::size_t next = 0;
  LibraryLoop(state, [&] {
    const auto& [name, password] = users[next++ % users.size()];
    std::vector<Variant> args{db->account(), name, password};
    Variant token = mgr->Invoke("BeginUserSession", args);
    if (CStr(token).size() != 32) throw std::runtime_error("bad token " + CStr(token));
    benchmark::DoNotOptimize(token);
  });
}

void PlainSignIn(benchmark::State& state, const Subscriber* db) {
  const auto users = SigningIn(*db);
  const std::string& account = db->account_text();
  PlainDb conn(db->file());
  PlainStatement begin(conn, "BEGIN IMMEDIATE;");
  PlainStatement commit(conn, "COMMIT;");
  PlainStatement check(conn,
                       "SELECT * FROM IUser WHERE UserName=? AND Password=? AND AllowLogon=1;");
  PlainStatement remove(conn, "DELETE FROM SysSessions WHERE Account=? AND UserName=?;");
  using S = SysSessions;
  PlainInsert<S> insert(conn);
  RawRow row;
  std::size_t next = 0;
  for (auto _ : state) {
    const auto& [name, password] = users[next++ % users.size()];
    begin.Run();
    check.Bind(1, name).Bind(2, password);
    bool found = false;
    while (check.Step()) {
      check.Read(row);
      found = true;
    }
    check.Reset();
    if (!found) std::abort();
    remove.Bind(1, account).Bind(2, name).Run();
    const std::string token = NewToken();
    insert.Row({{S::kAccount, account},
                {S::kUserName, name},
                {S::kToken, token},
                {S::kLastUpdate, LocalNowSerial()}});
    commit.Run();
    benchmark::DoNotOptimize(token);
  }
}

// Each thread starts at its own place in the token list.
std::size_t FirstToken(const benchmark::State& state) {
  return static_cast<std::size_t>(state.thread_index()) * kTokens /
         static_cast<std::size_t>(state.threads());
}

void LibraryGetSysSession(benchmark::State& state, const Subscriber* db) {
  auto mgr = CreateObject("BRIVOS.CSecurityMgr");
  std::vector<Variant> tokens;
  for (const std::string& token : db->RandomTokens(kTokens)) tokens.emplace_back(token);
  std::size_t next = FirstToken(state);
  LibraryLoop(state, [&] {
    std::vector<Variant> args{db->account(), tokens[next++ % tokens.size()]};
    Variant session = mgr->Invoke("GetSysSession", args);
    if (session.AsObject() == nullptr) throw std::runtime_error("no session");
    benchmark::DoNotOptimize(session);
  });
}

void PlainGetSysSession(benchmark::State& state, const Subscriber* db) {
  const std::vector<std::string> tokens = db->RandomTokens(kTokens);
  PlainDb conn(db->file());
  PlainStatement find(conn, SysSessions::Schema().select + " WHERE Token=?;");
  RawRow row;
  std::size_t next = FirstToken(state);
  for (auto _ : state) {
    find.Bind(1, tokens[next++ % tokens.size()]);
    if (!find.Step()) std::abort();
    find.Read(row);
    find.Reset();
    benchmark::DoNotOptimize(row);
  }
}

}  // namespace

Program ThisProgram() {
  return {
      {kSmall, kLarge},
      [](const Subscriber& db) {
        const std::string size = db.size().label;
        Twins("SignIn/" + size, {.iterations = kSignInsPerRun}, LibrarySignIn, PlainSignIn, &db);
        const bool large = db.size().users == kLarge.users;
        Twins("GetSysSession/" + size,
              large ? Settings{.real_time = true, .threads = {1, 2}} : Settings{},
              LibraryGetSysSession, PlainGetSysSession, &db);
      },
      {
          Comparison::Time("sign-in, 1k sessions: library/plain", "SignIn/1k/library",
                           "SignIn/1k/plain"),
          Comparison::Time("sign-in, 100k sessions: library/plain", "SignIn/100k/library",
                           "SignIn/100k/plain", 1.5),
          Comparison::Time("sign-in, library: 100k sessions / 1k sessions", "SignIn/100k/library",
                           "SignIn/1k/library", 1.5),
          Comparison::Time("sign-in, plain: 100k sessions / 1k sessions", "SignIn/100k/plain",
                           "SignIn/1k/plain"),
          Comparison::Time("GetSysSession, 1k tokens of 1k: library/plain",
                           "GetSysSession/1k/library", "GetSysSession/1k/plain", 1.5),
          Comparison::Time("GetSysSession, 1k tokens of 100k: library/plain",
                           "GetSysSession/100k/library/threads:1",
                           "GetSysSession/100k/plain/threads:1", 1.5),
          Comparison::Time("GetSysSession, library: 100k sessions / 1k sessions",
                           "GetSysSession/100k/library/threads:1", "GetSysSession/1k/library"),
          Comparison::Throughput("GetSysSession, library: 2 threads / 1 thread",
                                 "GetSysSession/100k/library/threads:2",
                                 "GetSysSession/100k/library/threads:1", 1.6),
          Comparison::Throughput("GetSysSession, plain: 2 threads / 1 thread",
                                 "GetSysSession/100k/plain/threads:2",
                                 "GetSysSession/100k/plain/threads:1"),
          Comparison::Time("GetSysSession, 2 threads: library/plain (wall per call)",
                           "GetSysSession/100k/library/threads:2",
                           "GetSysSession/100k/plain/threads:2"),
      }};
}

}  // namespace brivos::bench
