// Sign-in and session lookup through the library (late-bound, as a
// presentation layer calls them) against plain sqlite3 code running the same
// statements on a connection it keeps open.

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/BenchSupport.hpp"
#include "brivos/brivos.hpp"

namespace {

struct Subscriber {
  Subscriber() {
    std::string templ = (std::filesystem::temp_directory_path() / "brivos-bench-XXXXXX").string();
    dir = mkdtemp(templ.data());
    account = brivos::Variant(dir + "\\A100");
    brivos::CreateSubscriberDatabase(dir + "\\A100", "Acme", "admin", "secret");
    file = dir + "/A100.mdb";
  }
  ~Subscriber() {
    brivos::ReleaseIdleConnections();
    std::filesystem::remove_all(dir);
  }
  std::string dir;
  std::string file;
  brivos::Variant account;
};

Subscriber& Db() {
  static Subscriber db;
  return db;
}

sqlite3* OpenRaw() {
  sqlite3* db = nullptr;
  sqlite3_open_v2(Db().file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  sqlite3_busy_timeout(db, 10000);
  sqlite3_exec(db, "PRAGMA synchronous=FULL;", nullptr, nullptr, nullptr);
  return db;
}

void Check(int rc, sqlite3* db) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
    std::abort();
  }
}

void BM_Library_BeginUserSession(benchmark::State& state) {
  auto mgr = brivos::CreateObject("BRIVOS.CSecurityMgr");
  for (auto _ : state) {
    std::vector<brivos::Variant> args{Db().account, brivos::Variant("admin"),
                                      brivos::Variant("secret")};
    benchmark::DoNotOptimize(mgr->Invoke("BeginUserSession", args));
  }
}
BENCHMARK(BM_Library_BeginUserSession);

void BM_Raw_BeginUserSession(benchmark::State& state) {
  sqlite3* db = OpenRaw();
  const std::string account = brivos::CStr(Db().account);
  sqlite3_stmt *select, *del, *insert;
  sqlite3_prepare_v2(db, "SELECT * FROM IUser WHERE UserName=? AND Password=? AND AllowLogon=1;",
                     -1, &select, nullptr);
  sqlite3_prepare_v2(db, "DELETE FROM SysSessions WHERE Account=? AND UserName=?;", -1, &del,
                     nullptr);
  sqlite3_prepare_v2(db, "INSERT INTO SysSessions (Account,UserName,Token) VALUES (?,?,?);", -1,
                     &insert, nullptr);
  for (auto _ : state) {
    Check(sqlite3_exec(db, "BEGIN IMMEDIATE;", nullptr, nullptr, nullptr), db);
    sqlite3_bind_text(select, 1, "admin", -1, SQLITE_STATIC);
    sqlite3_bind_text(select, 2, "secret", -1, SQLITE_STATIC);
    int rows = 0;
    while (sqlite3_step(select) == SQLITE_ROW) {
      for (int c = 0; c < sqlite3_column_count(select); ++c) {
        benchmark::DoNotOptimize(sqlite3_column_text(select, c));
      }
      ++rows;
    }
    sqlite3_reset(select);
    if (rows == 0) std::abort();
    sqlite3_bind_text(del, 1, account.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_text(del, 2, "admin", -1, SQLITE_STATIC);
    Check(sqlite3_step(del), db);
    sqlite3_reset(del);
    std::string token = brivos::CreateGUIDString();
    sqlite3_bind_text(insert, 1, account.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_text(insert, 2, "admin", -1, SQLITE_STATIC);
    sqlite3_bind_text(insert, 3, token.c_str(), -1, SQLITE_STATIC);
    Check(sqlite3_step(insert), db);
    sqlite3_reset(insert);
    Check(sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr), db);
  }
  sqlite3_finalize(select);
  sqlite3_finalize(del);
  sqlite3_finalize(insert);
  sqlite3_close(db);
}
BENCHMARK(BM_Raw_BeginUserSession);

std::string SignedInToken() {
  brivos::CSecurityMgr mgr;
  brivos::Variant account = Db().account, user("admin"), password("secret");
  return mgr.BeginUserSession(account, user, password);
}

void BM_Library_GetSysSession(benchmark::State& state) {
  auto mgr = brivos::CreateObject("BRIVOS.CSecurityMgr");
  const brivos::Variant token(SignedInToken());
  for (auto _ : state) {
    std::vector<brivos::Variant> args{Db().account, token};
    benchmark::DoNotOptimize(mgr->Invoke("GetSysSession", args));
  }
}
BENCHMARK(BM_Library_GetSysSession);

void BM_Raw_GetSysSession(benchmark::State& state) {
  sqlite3* db = OpenRaw();
  const std::string sql =
      "SELECT SysSessionsID,Account,UserName,Token,LastUpdate FROM SysSessions WHERE Token='" +
      SignedInToken() + "';";
  for (auto _ : state) {
    sqlite3_stmt* stmt = nullptr;
    Check(sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr), db);
    int rows = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      benchmark::DoNotOptimize(sqlite3_column_int(stmt, 0));
      benchmark::DoNotOptimize(sqlite3_column_text(stmt, 1));
      benchmark::DoNotOptimize(sqlite3_column_text(stmt, 2));
      benchmark::DoNotOptimize(sqlite3_column_text(stmt, 3));
      benchmark::DoNotOptimize(sqlite3_column_double(stmt, 4));
      ++rows;
    }
    sqlite3_finalize(stmt);
    if (rows != 1) std::abort();
  }
  sqlite3_close(db);
}
BENCHMARK(BM_Raw_GetSysSession);

}  // namespace

int main(int argc, char** argv) {
  brivos::bench::RatioReporter reporter({{"BM_Library_BeginUserSession", "BM_Raw_BeginUserSession"},
                                         {"BM_Library_GetSysSession", "BM_Raw_GetSysSession"}});
  return brivos::bench::RunWithRatios(argc, argv, reporter);
}
