#pragma once

// Subscriber databases at a real subscriber's size, shared by the benchmark
// programs. A file is built once (library provisioning, then rows written with
// plain sqlite3) and kept in <temp>/brivos-bench-cache under a name made of
// its size and a hash of the schema the library provisions, so a schema
// change builds it again. Each
// run works on its own copy, which it removes at the end.
//
// Every user has one session. Slips are spread over 100 projects, entered in
// random project order as they are over the years: one project holds
// kBigProjectSlips slips, one kSmallProjectSlips, the others the rest.

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/PlainSqlite.hpp"
#include "brivos/brivos.hpp"
#include "brivos/database/Database.hpp"

namespace brivos::bench {

struct DataSize {
  const char* label;  // how the results name this size
  int users;          // each with one session
  int slips;
};
inline constexpr DataSize kSmall{"1k", 1000, 0};
inline constexpr DataSize kLarge{"100k", 100000, 1000000};

inline constexpr int kBigProjectSlips = 100000;
inline constexpr int kSmallProjectSlips = 1000;
inline constexpr int kSlipProjects = 100;

// Bumped whenever the rows written below change.
inline constexpr const char* kDataVersion = "subscriber-data-1";

inline std::string Numbered(const char* prefix, int i) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%06d", prefix, i);
  return text;
}
inline std::string UserNameOf(int i) { return Numbered("user", i); }
inline std::string PasswordOf(int i) { return Numbered("pw", i); }
inline std::string SlipProjectName(int slips) { return "Slips " + std::to_string(slips); }

inline std::filesystem::path MakeTempDir(const std::filesystem::path& parent, const char* prefix) {
  std::string templ = (parent / (std::string(prefix) + "XXXXXX")).string();
  if (mkdtemp(templ.data()) == nullptr) {
    std::perror("mkdtemp");
    std::abort();
  }
  return templ;
}

namespace internal {

inline std::uint64_t Fnv1a(std::string_view text) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
  return h;
}

inline void FillUsersAndSessions(PlainDb& db, const DataSize& size, const std::string& account,
                                 std::mt19937_64& rng) {
  PlainStatement subscriber(db, "SELECT ISubScriberID FROM ISubScriber;");
  if (!subscriber.Step()) std::abort();
  const std::int64_t parent = subscriber.Int(0);
  subscriber.Reset();

  std::vector<int> order(static_cast<std::size_t>(size.users));
  for (int i = 0; i < size.users; ++i) order[static_cast<std::size_t>(i)] = i;
  std::shuffle(order.begin(), order.end(), rng);
  PlainStatement user(
      db,
      "INSERT INTO IUser (Parent,UserName,Password,FirstName,LastName,MiddleInitial,Admin,"
      "MainUser,AllowLogon,vmProjectsAccess,MinWeekHours,EMail,Rate,Cost,OTRate,OTCost,"
      "ReportsToID) VALUES (?,?,?,?,?,'Q',0,0,1,?,40,?,?,?,?,?,?);");
  for (int i : order) {
    user.Bind(1, parent)
        .Bind(2, UserNameOf(i))
        .Bind(3, PasswordOf(i))
        .Bind(4, Numbered("First", i))
        .Bind(5, Numbered("Lastname", i))
        .Bind(6, std::int64_t{i % 3})
        .Bind(7, UserNameOf(i) + "@example.com")
        .Bind(8, 95.5 + i % 50)
        .Bind(9, 60.25)
        .Bind(10, 140.0)
        .Bind(11, 90.0);
    if (i % 10 == 0) {
      user.BindNull(12);
    } else {
      user.Bind(12, std::int64_t{1 + i % 10});
    }
    user.Run();
  }

  std::shuffle(order.begin(), order.end(), rng);
  PlainStatement session(
      db, "INSERT INTO SysSessions (Account,UserName,Token,LastUpdate) VALUES (?,?,?,?);");
  const double now = LocalNowSerial();
  char token[33];
  for (int i : order) {
    std::snprintf(token, sizeof token, "%016llX%016llX", static_cast<unsigned long long>(rng()),
                  static_cast<unsigned long long>(rng()));
    session.Bind(1, account)
        .Bind(2, UserNameOf(i))
        .Bind(3, std::string_view(token, 32))
        .Bind(4, now - static_cast<double>(i % 1000) / 1440.0)
        .Run();
  }
}

inline void FillSlips(PlainDb& db, const DataSize& size, std::mt19937_64& rng) {
  if (size.slips == 0) return;
  PlainStatement project(db, "INSERT INTO IProject (Parent,Name,Status) VALUES (1,?,2);");
  std::vector<std::int64_t> projects;
  for (int p = 0; p < kSlipProjects; ++p) {
    const std::string name = p == 0   ? SlipProjectName(kBigProjectSlips)
                             : p == 1 ? SlipProjectName(kSmallProjectSlips)
                                      : "Project " + std::to_string(p);
    project.Bind(1, name).Run();
    projects.push_back(sqlite3_last_insert_rowid(db.get()));
  }
  std::vector<std::int64_t> owner(static_cast<std::size_t>(size.slips));
  for (std::size_t i = 0; i < owner.size(); ++i) {
    if (i < kBigProjectSlips) {
      owner[i] = projects[0];
    } else if (i < kBigProjectSlips + kSmallProjectSlips) {
      owner[i] = projects[1];
    } else {
      owner[i] = projects[2 + i % (kSlipProjects - 2)];
    }
  }
  std::shuffle(owner.begin(), owner.end(), rng);

  PlainStatement slip(
      db,
      "INSERT INTO IProjectTransaction (Parent,TransDate,StartTime,StopTime,Description,"
      "StaffRate,StaffCost,OTCost,OTRate,Error,Status,ApprovedBy,ApprovedOn,OverTime,"
      "TaskID,StaffID,InvoiceID) VALUES (?,?,?,?,?,95.5,60,90,140.25,'',?,'admin',?,?,"
      "?,?,?);");
  const double day0 = Date::FromParts(2014, 1, 1).Serial();
  for (int i = 0; i < size.slips; ++i) {
    const double day = day0 + i / 300;
    const double start = day + (8 + i % 8) / 24.0;
    slip.Bind(1, owner[static_cast<std::size_t>(i)]).Bind(2, day).Bind(3, start);
    if (i % 2) {
      slip.Bind(4, start + 1 / 24.0);
    } else {
      slip.BindNull(4);
    }
    slip.Bind(5, "Work item " + std::to_string(i) + " on the bench project")
        .Bind(6, std::int64_t{i % 4})
        .Bind(7, day + 1)
        .Bind(8, std::int64_t{i % 3 == 0})
        .Bind(9, std::int64_t{1 + i % 5})
        .Bind(10, std::int64_t{1 + i % 7});
    if (i % 2) {
      slip.Bind(11, std::int64_t{1 + i % 11});
    } else {
      slip.BindNull(11);
    }
    slip.Run();
  }
}

// The schema the library's provisioning gives a new subscriber file, as
// its statement texts.
inline std::string ProvisionedSchema() {
  const std::filesystem::path dir =
      MakeTempDir(std::filesystem::temp_directory_path(), "brivos-bench-schema-");
  CreateSubscriberDatabase(dir.string() + "\\A100", "Acme", "admin", "secret");
  ReleaseIdleConnections();
  std::string schema;
  {
    PlainDb db((dir / "A100.mdb").string());
    PlainStatement read(db, "SELECT type, name, sql FROM sqlite_master ORDER BY type, name;");
    while (read.Step()) schema += read.Text(0) + " " + read.Text(1) + ": " + read.Text(2) + "\n";
  }
  std::filesystem::remove_all(dir);
  return schema;
}

// Builds the subscriber file of `size` at `target`.
inline void BuildSubscriber(const DataSize& size, const std::filesystem::path& target) {
  const auto started = std::chrono::steady_clock::now();
  std::fprintf(stderr, "building the %s subscriber (%d users and sessions, %d slips) ...\n",
               size.label, size.users, size.slips);
  const std::filesystem::path dir = MakeTempDir(target.parent_path(), "build-");
  const std::string account = dir.string() + "\\A100";
  CreateSubscriberDatabase(account, "Acme", "admin", "secret");
  ReleaseIdleConnections();
  const std::string file = (dir / "A100.mdb").string();
  {
    PlainDb db(file);
    db.Exec("PRAGMA synchronous=OFF; PRAGMA cache_size=-262144; BEGIN;");
    std::mt19937_64 rng(20240601);
    FillUsersAndSessions(db, size, account, rng);
    FillSlips(db, size, rng);
    db.Exec("COMMIT; PRAGMA wal_checkpoint(TRUNCATE);");
  }
  std::filesystem::rename(file, target);
  std::filesystem::remove_all(dir);
  std::fprintf(stderr, "built %s in %.1f s\n", target.c_str(),
               std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
}

}  // namespace internal

// The cached file of `size`, built when missing.
inline std::filesystem::path CachedSubscriber(const DataSize& size) {
  const std::filesystem::path cache = std::filesystem::temp_directory_path() / "brivos-bench-cache";
  std::filesystem::create_directories(cache);
  static const std::string key = kDataVersion + internal::ProvisionedSchema();
  char prefix[64];
  std::snprintf(prefix, sizeof prefix, "subscriber-%du-%ds-", size.users, size.slips);
  char name[96];
  std::snprintf(name, sizeof name, "%s%016llx.mdb", prefix,
                static_cast<unsigned long long>(internal::Fnv1a(key)));
  const std::filesystem::path file = cache / name;
  if (std::filesystem::exists(file)) return file;
  // Files of this size built for an older schema are of no further use.
  for (const auto& entry : std::filesystem::directory_iterator(cache)) {
    if (entry.path().filename().string().starts_with(prefix)) {
      std::error_code ignored;
      std::filesystem::remove(entry.path(), ignored);
    }
  }
  internal::BuildSubscriber(size, file);
  return file;
}

// This run's own copy of the subscriber of `size`: its sessions name this
// copy's Account path, as they would on the subscriber's own file.
class Subscriber {
 public:
  explicit Subscriber(const DataSize& size) : size_(size) {
    const std::filesystem::path cached = CachedSubscriber(size);
    const auto started = std::chrono::steady_clock::now();
    dir_ = MakeTempDir(std::filesystem::temp_directory_path(), "brivos-bench-");
    file_ = (dir_ / "A100.mdb").string();
    std::filesystem::copy_file(cached, file_);
    account_text_ = dir_.string() + "\\A100";
    account_ = Variant(account_text_);
    PlainDb db(file_);
    PlainStatement(db, "UPDATE SysSessions SET Account=?;").Bind(1, account_text_).Run();
    std::fprintf(stderr, "copied %s to %s in %.1f s\n", cached.c_str(), file_.c_str(),
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  }
  Subscriber(const Subscriber&) = delete;
  Subscriber& operator=(const Subscriber&) = delete;
  ~Subscriber() {
    ReleaseIdleConnections();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  const DataSize& size() const { return size_; }
  const std::string& file() const { return file_; }
  const Variant& account() const { return account_; }
  const std::string& account_text() const { return account_text_; }

  // `n` users picked at random (fixed seed), by index.
  std::vector<int> RandomUsers(int n, std::uint64_t seed) const {
    std::mt19937_64 rng(seed);
    std::uniform_int_distribution<int> pick(0, size_.users - 1);
    std::vector<int> users;
    for (int i = 0; i < n; ++i) users.push_back(pick(rng));
    return users;
  }
  // The tokens of `n` sessions picked at random, as they are now.
  std::vector<std::string> RandomTokens(int n) const {
    PlainDb db(file_);
    PlainStatement pick(db, "SELECT Token FROM SysSessions ORDER BY random() LIMIT ?;");
    pick.Bind(1, std::int64_t{n});
    std::vector<std::string> tokens;
    while (pick.Step()) tokens.push_back(pick.Text(0));
    if (static_cast<int>(tokens.size()) != n) std::abort();
    return tokens;
  }
  // The key of the project holding `slips` slips.
  std::int64_t SlipProject(int slips) const {
    PlainDb db(file_);
    PlainStatement find(db, "SELECT IProjectID FROM IProject WHERE Name=?;");
    find.Bind(1, SlipProjectName(slips));
    if (!find.Step()) std::abort();
    return find.Int(0);
  }

 private:
  DataSize size_;
  std::filesystem::path dir_;
  std::string file_;
  std::string account_text_;
  Variant account_;
};

}  // namespace brivos::bench
