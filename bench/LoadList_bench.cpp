// Loading 10,000 time slips of one project as IProjectTransaction records
// through the shared record loader, against plain sqlite3 code running the
// same SELECT on a connection it keeps open and copying every column of
// every row into memory.

#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <variant>
#include <vector>

#include "bench/BenchSupport.hpp"
#include "brivos/brivos.hpp"

namespace {

constexpr int kSlips = 10000;

void Check(int rc, sqlite3* db) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
    std::abort();
  }
}

// A subscriber with one project holding kSlips time slips, every column set
// (InvoiceID and StopTime Null on half of them, as on unbilled or running
// slips).
struct Subscriber {
  Subscriber() {
    std::string templ = (std::filesystem::temp_directory_path() / "brivos-bench-XXXXXX").string();
    dir = mkdtemp(templ.data());
    account = brivos::Variant(dir + "\\A100");
    brivos::CreateSubscriberDatabase(dir + "\\A100", "Acme", "admin", "secret");
    file = dir + "/A100.mdb";

    sqlite3* db = nullptr;
    Check(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), db);
    Check(sqlite3_exec(db, "BEGIN; INSERT INTO IProject (Parent,Name,Status) VALUES (1,'Bench',2);",
                       nullptr, nullptr, nullptr),
          db);
    project = sqlite3_last_insert_rowid(db);
    sqlite3_stmt* insert = nullptr;
    Check(sqlite3_prepare_v2(
              db,
              "INSERT INTO IProjectTransaction (Parent,TransDate,StartTime,StopTime,Description,"
              "StaffRate,StaffCost,OTCost,OTRate,Error,Status,ApprovedBy,ApprovedOn,OverTime,"
              "TaskID,StaffID,InvoiceID) VALUES (?,?,?,?,?,95.5,60,90,140.25,'',?,'admin',?,?,"
              "?,?,?);",
              -1, &insert, nullptr),
          db);
    const double day0 = brivos::Date::FromParts(2024, 1, 1).Serial();
    for (int i = 0; i < kSlips; ++i) {
      const double day = day0 + i / 8;
      const double start = day + (8 + i % 8) / 24.0;
      const std::string text = "Work item " + std::to_string(i) + " on the bench project";
      sqlite3_bind_int64(insert, 1, project);
      sqlite3_bind_double(insert, 2, day);
      sqlite3_bind_double(insert, 3, start);
      if (i % 2) {
        sqlite3_bind_double(insert, 4, start + 1 / 24.0);
      } else {
        sqlite3_bind_null(insert, 4);
      }
      sqlite3_bind_text(insert, 5, text.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int(insert, 6, i % 4);
      sqlite3_bind_double(insert, 7, day + 1);
      sqlite3_bind_int(insert, 8, i % 3 == 0);
      sqlite3_bind_int(insert, 9, 1 + i % 5);
      sqlite3_bind_int(insert, 10, 1 + i % 7);
      if (i % 2) {
        sqlite3_bind_int(insert, 11, 1 + i % 11);
      } else {
        sqlite3_bind_null(insert, 11);
      }
      Check(sqlite3_step(insert), db);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Check(sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr), db);
    sqlite3_close(db);
  }
  ~Subscriber() {
    brivos::ReleaseIdleConnections();
    std::filesystem::remove_all(dir);
  }
  std::string dir;
  std::string file;
  brivos::Variant account;
  std::int64_t project = 0;
};

Subscriber& Db() {
  static Subscriber db;
  return db;
}

std::string Filter() { return "Parent=" + std::to_string(Db().project); }

void BM_Library_LoadList(benchmark::State& state) {
  const brivos::Variant where(Filter());
  for (auto _ : state) {
    auto slips = brivos::IProjectTransaction::LoadList(Db().account, brivos::Variant(), where);
    if (slips->Count() != kSlips) std::abort();
    benchmark::DoNotOptimize(slips);
  }
  state.SetItemsProcessed(state.iterations() * kSlips);
}

// The database layer's share of the above: the same statement into a
// disconnected result set, no records made.
void BM_Library_OpenRecordset(benchmark::State& state) {
  const std::string sql = brivos::IProjectTransaction::Schema().select + " WHERE " + Filter() + ";";
  for (auto _ : state) {
    auto rows = brivos::OpenRecordset(Db().account, sql);
    if (rows->RecordCount() != kSlips) std::abort();
    benchmark::DoNotOptimize(rows);
  }
  state.SetItemsProcessed(state.iterations() * kSlips);
}

// One value per column, as plain C++ reading code would keep it.
using RawValue = std::variant<std::monostate, std::int64_t, double, std::string>;

void BM_Raw_Sqlite(benchmark::State& state) {
  sqlite3* db = nullptr;
  Check(sqlite3_open_v2(Db().file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), db);
  const std::string sql = brivos::IProjectTransaction::Schema().select + " WHERE " + Filter() + ";";
  for (auto _ : state) {
    sqlite3_stmt* stmt = nullptr;
    Check(sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr), db);
    const int columns = sqlite3_column_count(stmt);
    std::vector<std::vector<RawValue>> rows;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      std::vector<RawValue>& row = rows.emplace_back(columns);
      for (int c = 0; c < columns; ++c) {
        switch (sqlite3_column_type(stmt, c)) {
          case SQLITE_INTEGER:
            row[c] = static_cast<std::int64_t>(sqlite3_column_int64(stmt, c));
            break;
          case SQLITE_FLOAT:
            row[c] = sqlite3_column_double(stmt, c);
            break;
          case SQLITE_TEXT:
            row[c] = std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt, c)),
                                 static_cast<std::size_t>(sqlite3_column_bytes(stmt, c)));
            break;
          default:
            break;
        }
      }
    }
    sqlite3_finalize(stmt);
    if (rows.size() != kSlips) std::abort();
    benchmark::DoNotOptimize(rows);
  }
  state.SetItemsProcessed(state.iterations() * kSlips);
  sqlite3_close(db);
}

BENCHMARK(BM_Library_LoadList)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Library_OpenRecordset)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Raw_Sqlite)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  Db();
  brivos::bench::RatioReporter reporter(
      {{"BM_Library_LoadList", "BM_Raw_Sqlite"}, {"BM_Library_OpenRecordset", "BM_Raw_Sqlite"}});
  return brivos::bench::RunWithRatios(argc, argv, reporter);
}
