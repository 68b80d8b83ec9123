#pragma once

// Subscriber databases at a real subscriber's size, shared by the benchmark
// programs. A file is built once (library provisioning, then rows written with
// plain sqlite3) and kept in <temp>/brivos-bench-cache under a name made of
// its size and a hash of the schema the library provisions, so a schema
// change builds it again. Each run works on its own copy, which it removes at
// the end.
//
// Every user has one session. The file with slips is a subscriber of five
// years' work: 100 staff users record time on weekdays on 100 active,
// billable projects of 20 clients (each with a tax code), 5 tasks each, a
// team of staff rows each. Slips are entered in the order of their days, in
// random project order: one project holds kBigProjectSlips slips, one
// kSmallProjectSlips, the others the rest. The oldest 85% are billed on
// issued invoices, the next kApprovedSlips are approved and wait for an
// invoice, the newest are entered, a few running or paused. Expenses follow
// the same periods: billed, kApprovedExpenses approved and unbilled, a few
// not yet approved.

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
inline constexpr int kStaffUsers = 100;  // users 0..99 record time
inline constexpr int kClients = 20;
inline constexpr int kTasksPerProject = 5;
inline constexpr int kWorkDays = 1250;  // Monday to Friday, from kFirstWorkDay
inline const Date kFirstWorkDay = Date::FromParts(2019, 1, 7);
inline constexpr int kBilledSlips = 850000;
inline constexpr int kApprovedSlips = 100000;
inline constexpr int kRunningSlips = 100;  // the newest; half running, half paused
inline constexpr int kBilledExpenses = 34000;
inline constexpr int kApprovedExpenses = 10000;
inline constexpr int kOpenExpenses = 2000;

// Bumped whenever the rows written below change.
inline constexpr const char* kDataVersion = "subscriber-data-2";

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

// The week day `work_day` (0-based, Monday to Friday only) of the data, as a
// day serial.
inline double WorkDaySerial(int work_day) {
  return kFirstWorkDay.Serial() + (work_day / 5) * 7 + work_day % 5;
}

// The moment `minutes` after midnight of `day`, plus the one second every
// slip stamp carries, as the library stores it.
inline double SlipStamp(double day, int minutes) {
  return Date::FromSerial(day + (minutes * 60 + 1) / 86400.0).Serial();
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

// The projects with their clients, tax codes, tasks and staff, then the slips
// in the order of their days, then the expenses. Slip i is dated on work day
// i / (slips / kWorkDays); its project is drawn (as `owner` below), its staff
// member from the project's team, its task from the project's tasks. The
// oldest kBilledSlips are billed: each project's slips go on invoices of a
// tenth of its slips each (the big project's invoices hold 10,000 slips
// each). The next kApprovedSlips are approved and not yet invoiced, the rest
// entered, 2% of them with an error text; the last kRunningSlips are running
// or paused.
inline void FillWork(PlainDb& db, const DataSize& size, std::mt19937_64& rng) {
  if (size.slips == 0) return;
  PlainStatement subscriber_row(db, "SELECT ISubScriberID FROM ISubScriber;");
  if (!subscriber_row.Step()) std::abort();
  const std::int64_t subscriber = subscriber_row.Int(0);
  subscriber_row.Reset();
  PlainStatement user_key(db, "SELECT IUserID FROM IUser WHERE UserName=?;");
  const auto key_of_user = [&](const std::string& name) {
    user_key.Bind(1, name);
    if (!user_key.Step()) std::abort();
    const std::int64_t key = user_key.Int(0);
    user_key.Reset();
    return key;
  };
  const std::int64_t admin = key_of_user("admin");
  std::vector<std::int64_t> staff_users;
  for (int u = 0; u < kStaffUsers; ++u) staff_users.push_back(key_of_user(UserNameOf(u)));

  // Tax codes: both taxes, the second on top of the first; both taxes apart;
  // the first only.
  PlainStatement tax_code(
      db,
      "INSERT INTO CITaxCode (Parent,TaxCode,Description,Tax1Rate,Tax1Name,Tax1Exempt,Tax2Rate,"
      "Tax2Name,Tax2Exempt,Tax2PiggyBack,Inactive) VALUES (?,?,?,5,'GST',0,?,?,?,?,0);");
  struct TaxCode {
    const char* code;
    double rate2;
    const char* name2;
    int exempt2;
    int piggyback;
  };
  std::vector<std::int64_t> tax_codes;
  for (const TaxCode& t : {TaxCode{"Q", 9.975, "QST", 0, 1}, TaxCode{"B", 7, "PST", 0, 0},
                           TaxCode{"A", 0, "", 1, 0}}) {
    tax_code.Bind(1, subscriber)
        .Bind(2, t.code)
        .Bind(3, std::string("Tax code ") + t.code)
        .Bind(4, t.rate2)
        .Bind(5, t.name2)
        .Bind(6, std::int64_t{t.exempt2})
        .Bind(7, std::int64_t{t.piggyback})
        .Run();
    tax_codes.push_back(sqlite3_last_insert_rowid(db.get()));
  }
  PlainStatement client(db,
                        "INSERT INTO SFAProspect (Parent,CompanyName,City,Country,AccountNumber,"
                        "Inactive,LastUpdateDateTime,DefaultTerms,TaxCodeID) VALUES "
                        "(?,?,'Montreal','Canada',?,0,?,'Net 30',?);");
  std::vector<std::int64_t> clients;
  for (int c = 0; c < kClients; ++c) {
    client.Bind(1, subscriber)
        .Bind(2, Numbered("Client ", c))
        .Bind(3, std::to_string(1000 + c))
        .Bind(4, WorkDaySerial(0))
        .Bind(5, tax_codes[static_cast<std::size_t>(c) % tax_codes.size()])
        .Run();
    clients.push_back(sqlite3_last_insert_rowid(db.get()));
  }

  // Projects: the big one, the small one, the others alike. A project's team
  // is a run of staff users, with a step prime to their number so that no
  // one is on a team twice.
  struct Project {
    std::int64_t key = 0;
    std::vector<std::int64_t> tasks;
    std::vector<std::int64_t> staff;  // staff rows, one per team member
    std::vector<double> rates;        // each staff row's rate
    std::vector<std::int64_t> invoices;
    int slips = 0;
    int seen = 0;
  };
  std::vector<Project> projects(kSlipProjects);
  std::vector<std::int64_t> owner(static_cast<std::size_t>(size.slips));
  for (std::size_t i = 0; i < owner.size(); ++i) {
    if (i < kBigProjectSlips) {
      owner[i] = 0;
    } else if (i < kBigProjectSlips + kSmallProjectSlips) {
      owner[i] = 1;
    } else {
      owner[i] = static_cast<std::int64_t>(2 + i % (kSlipProjects - 2));
    }
  }
  std::shuffle(owner.begin(), owner.end(), rng);
  for (std::int64_t p : owner) ++projects[static_cast<std::size_t>(p)].slips;

  PlainStatement project(
      db,
      "INSERT INTO IProject (Parent,Name,Description,CreateDate,Status,StartDate,Billable,EstCost,"
      "EstRevenue,OTAllowed,TimeChunk,CreatorID,ManagerID,ClientID) VALUES "
      "(?,?,?,?,2,?,1,250000,400000,1,15,?,?,?);");
  PlainStatement task(db,
                      "INSERT INTO IProjectTask (Parent,Name,Description,EffectiveDate,Inactive,"
                      "PlannedStart,PlannedDuration,PlannedFinish) VALUES (?,?,?,?,0,?,?,?);");
  PlainStatement staff(db,
                       "INSERT INTO IProjectStaff (Parent,Rate,Cost,OTRate,OTCost,CreateDate,"
                       "UserID) VALUES (?,?,60,?,90,?,?);");
  static constexpr const char* kTaskNames[] = {"Design", "Build", "Test", "Meetings", "Support"};
  const double day0 = WorkDaySerial(0);
  for (int p = 0; p < kSlipProjects; ++p) {
    Project& pr = projects[static_cast<std::size_t>(p)];
    const std::string name = p == 0   ? SlipProjectName(kBigProjectSlips)
                             : p == 1 ? SlipProjectName(kSmallProjectSlips)
                                      : "Project " + std::to_string(p);
    const int team = p == 0 ? 30 : p == 1 ? 3 : 10;
    const auto member = [&](int j) { return (p * 13 + j * 7) % kStaffUsers; };
    project.Bind(1, subscriber)
        .Bind(2, name)
        .Bind(3, "Work for client " + std::to_string(p % kClients))
        .Bind(4, day0)
        .Bind(5, day0)
        .Bind(6, admin)
        .Bind(7, staff_users[static_cast<std::size_t>(member(0))])
        .Bind(8, clients[static_cast<std::size_t>(p % kClients)])
        .Run();
    pr.key = sqlite3_last_insert_rowid(db.get());
    for (int t = 0; t < kTasksPerProject; ++t) {
      task.Bind(1, pr.key)
          .Bind(2, kTaskNames[t % 5])
          .Bind(3, std::string(kTaskNames[t % 5]) + " for " + name)
          .Bind(4, day0)
          .Bind(5, day0 + 30 * t)
          .Bind(6, 30.0)
          .Bind(7, day0 + 30 * t + 30)
          .Run();
      pr.tasks.push_back(sqlite3_last_insert_rowid(db.get()));
    }
    for (int j = 0; j < team; ++j) {
      const double rate = 95.5 + member(j) % 10 * 5;
      staff.Bind(1, pr.key)
          .Bind(2, rate)
          .Bind(3, rate * 1.5)
          .Bind(4, day0)
          .Bind(5, staff_users[static_cast<std::size_t>(member(j))])
          .Run();
      pr.staff.push_back(sqlite3_last_insert_rowid(db.get()));
      pr.rates.push_back(rate);
    }
  }

  PlainStatement invoice(
      db,
      "INSERT INTO IProjectInvoice (Parent,InvoiceDate,InvoiceNumber,Status,CreateDate,CreatedBy,"
      "LastModified,LastModifiedBy,Terms,Notes,Format) VALUES "
      "(?,?,?,2,?,'admin',?,'admin','Net 30','Thank you',0);");
  int next_invoice_number = 1;
  const auto new_invoice = [&](Project& pr, double day) {
    invoice.Bind(1, pr.key)
        .Bind(2, day)
        .Bind(3, std::to_string(next_invoice_number++))
        .Bind(4, day)
        .Bind(5, day)
        .Run();
    pr.invoices.push_back(sqlite3_last_insert_rowid(db.get()));
  };

  PlainStatement slip(
      db,
      "INSERT INTO IProjectTransaction (Parent,TransDate,StartTime,StopTime,Description,"
      "StaffRate,StaffCost,OTCost,OTRate,Error,Status,ApprovedBy,ApprovedOn,OverTime,"
      "TaskID,StaffID,InvoiceID) VALUES (?,?,?,?,?,?,60,90,?,?,?,?,?,?,?,?,?);");
  const int per_day = size.slips / kWorkDays;
  const int running_from = size.slips - kRunningSlips;
  for (int i = 0; i < size.slips; ++i) {
    Project& pr = projects[static_cast<std::size_t>(owner[static_cast<std::size_t>(i)])];
    const double day = WorkDaySerial(i / per_day);
    const std::size_t member = static_cast<std::size_t>(rng() % pr.staff.size());
    const int start = (8 + i % 9) * 60 + i % 4 * 15;
    const int status = i < kBilledSlips                    ? 3
                       : i < kBilledSlips + kApprovedSlips ? 2
                       : i < running_from                  ? 1
                       : i % 2                             ? 4
                                                           : 0;
    slip.Bind(1, pr.key).Bind(2, day).Bind(3, SlipStamp(day, start));
    if (status == 0) {
      slip.BindNull(4);
    } else {
      slip.Bind(4, SlipStamp(day, start + 15 * (1 + i % 8)));
    }
    slip.Bind(5, "Work item " + std::to_string(i) + " on " + kTaskNames[i % 5])
        .Bind(6, pr.rates[member])
        .Bind(7, pr.rates[member] * 1.5)
        .Bind(8, status == 1 && i % 50 == 0 ? "The task was closed" : "")
        .Bind(9, std::int64_t{status});
    if (status == 2 || status == 3) {
      slip.Bind(10, "admin").Bind(11, SlipStamp(day + 2, 9 * 60));
    } else {
      slip.BindNull(10).BindNull(11);
    }
    slip.Bind(12, std::int64_t{i % 20 == 0})
        .Bind(13, pr.tasks[rng() % pr.tasks.size()])
        .Bind(14, pr.staff[member]);
    if (status == 3) {
      const std::size_t chunk =
          static_cast<std::size_t>(pr.seen) * 10 / static_cast<std::size_t>(pr.slips);
      while (pr.invoices.size() <= chunk) new_invoice(pr, day);
      slip.Bind(15, pr.invoices[chunk]);
    } else {
      slip.BindNull(15);
    }
    slip.Run();
    ++pr.seen;
  }

  // Expenses: billed on one of their project's invoices, approved and
  // waiting to be invoiced, or not yet approved, dated in the same periods
  // as the slips of that status.
  PlainStatement expense(
      db,
      "INSERT INTO IProjectExpense (Parent,ExpenseDate,PONumber,Amount,Markup,Description,Billed,"
      "Approved,ApprovedBy,ApprovedOn,ExpenseType,ExchangeRate,PaymentType,Establishment,City,"
      "StaffID,InvoiceID) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,'Hotel','Toronto',?,?);");
  struct Period {
    int count;
    int first_day;
    int last_day;
    bool billed;
    bool approved;
  };
  const int approved_day = kBilledSlips / per_day,
            open_day = approved_day + kApprovedSlips / per_day;
  const Period periods[] = {{kBilledExpenses, 0, approved_day, true, true},
                            {kApprovedExpenses, approved_day, open_day, false, true},
                            {kOpenExpenses, open_day, kWorkDays, false, false}};
  int j = 0;
  for (const Period& period : periods) {
    for (int k = 0; k < period.count; ++k, ++j) {
      Project& pr = projects[rng() % projects.size()];
      const double day = WorkDaySerial(
          period.first_day + static_cast<int>(static_cast<std::int64_t>(k) *
                                              (period.last_day - period.first_day) / period.count));
      expense.Bind(1, pr.key)
          .Bind(2, day)
          .Bind(3, "PO-" + std::to_string(j % 97))
          .Bind(4, 5 + j * 37 % 500 + 0.25)
          .Bind(5, j % 3 == 0 ? 10.0 : 0.0)
          .Bind(6, "Expense " + std::to_string(j))
          .Bind(7, std::int64_t{period.billed})
          .Bind(8, std::int64_t{period.approved});
      if (period.approved) {
        expense.Bind(9, "admin").Bind(10, day + 2);
      } else {
        expense.BindNull(9).BindNull(10);
      }
      expense.Bind(11, std::int64_t{j % 5})
          .Bind(12, j % 10 == 0 ? 1.35 : 1.0)
          .Bind(13, std::int64_t{j % 3})
          .Bind(14, pr.staff[rng() % pr.staff.size()]);
      if (period.billed) {
        expense.Bind(15, pr.invoices[rng() % pr.invoices.size()]);
      } else {
        expense.BindNull(15);
      }
      expense.Run();
    }
  }
  PlainStatement(db, "UPDATE ISubScriber SET NextInvoiceNumber=?;")
      .Bind(1, std::int64_t{next_invoice_number})
      .Run();
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
    FillWork(db, size, rng);
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
  std::int64_t SlipProject(int slips) const { return ProjectNamed(SlipProjectName(slips)); }
  // The key of the project named `name`.
  std::int64_t ProjectNamed(const std::string& name) const {
    PlainDb db(file_);
    PlainStatement find(db, "SELECT IProjectID FROM IProject WHERE Name=?;");
    find.Bind(1, name);
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
