#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "brivos/database/Database.hpp"
#include "tests/support/SubscriberFixture.hpp"

namespace brivos {
namespace {

// Sets the soft descriptor limit for the scope (none: leaves it).
class DescriptorLimit {
 public:
  explicit DescriptorLimit(rlim_t soft) {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    const rlimit low{soft == 0 ? saved_.rlim_cur : soft, saved_.rlim_max};
    ::setrlimit(RLIMIT_NOFILE, &low);
  }
  ~DescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }

 private:
  rlimit saved_{};
};

TEST(ConnectionPool, ManySubscribersKeepTheirWorkUnderAnyDescriptorLimit) {
  constexpr int kFiles = 60;
  constexpr int kRounds = 3;
  struct Case {
    const char* name;
    rlim_t soft_limit;  // 0: as the process has it
  };
  for (const Case& c : {Case{"the process's limit", 0}, Case{"a low limit", 120}}) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    std::vector<Variant> accounts;
    for (int i = 0; i < kFiles; ++i) {
      accounts.emplace_back(dir.Path() + "\\F" + std::to_string(i));
      CreateDatabase(accounts.back(), "CREATE TABLE Counter (N); INSERT INTO Counter VALUES (0);");
    }
    DescriptorLimit limit(c.soft_limit);
    // A connection in use throughout, with a transaction open: never evicted.
    Connection held = Connection::Open(accounts[0]);
    held.Execute("BEGIN");
    held.Execute("UPDATE Counter SET N=100");
    for (int call = 0; call < kRounds * (kFiles - 1); ++call) {
      EXPECT_EQ(
          Connection::Open(accounts[1 + call % (kFiles - 1)]).Execute("UPDATE Counter SET N=N+1"),
          1);
    }
    held.Execute("COMMIT");
    // Each file read again, most of them on connections opened anew.
    for (int i = 0; i < kFiles; ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(CLng(Connection::Open(accounts[i]).Query("SELECT N FROM Counter")->Field(0)),
                i == 0 ? 100 : kRounds);
      // Closing a connection keeps the file's log for the next opening.
      EXPECT_TRUE(std::filesystem::exists(dir.Path() + "/F" + std::to_string(i) + ".mdb-wal"));
    }
    ReleaseIdleConnections();
  }
}

// What this process holds mapped of the files' shared log indexes, in KiB.
long LogIndexKiB() {
  std::ifstream maps("/proc/self/smaps");
  long kib = 0;
  bool index = false;
  for (std::string line; std::getline(maps, line);) {
    if (line.ends_with(".mdb-shm")) {
      index = true;
    } else if (line.starts_with("Rss:")) {
      if (index) kib += std::stol(line.substr(4));
      index = false;
    }
  }
  return kib;
}

TEST(ConnectionPool, IdleConnectionsOfManySubscribersKeepOnlyTheLogIndexPagesCallsRead) {
  constexpr int kFiles = 40;
  testing::TempDir dir;
  std::vector<Variant> accounts;
  for (int i = 0; i < kFiles; ++i) {
    accounts.emplace_back(dir.Path() + "\\F" + std::to_string(i));
    CreateDatabase(accounts.back(), "CREATE TABLE Counter (N); INSERT INTO Counter VALUES (0);");
  }
  ReleaseIdleConnections();  // each log folded into its file: empty
  // A whole index is 32 KiB. The header's page stays (and perhaps one more);
  // with frames in the log, their page numbers and the hash table (16 KiB).
  const long page_kib = ::sysconf(_SC_PAGESIZE) / 1024;
  struct Case {
    const char* sql;
    long kib_per_file;
  };
  for (const Case& c : {Case{"SELECT N FROM Counter", 2 * page_kib},
                        Case{"UPDATE Counter SET N=N+1", 2 * page_kib + 16}}) {
    SCOPED_TRACE(c.sql);
    for (int round = 0; round < 2; ++round) {
      for (const Variant& account : accounts) Connection::Open(account).Execute(c.sql);
    }
    EXPECT_LE(LogIndexKiB(), kFiles * c.kib_per_file);
  }
  for (const Variant& account : accounts) {
    EXPECT_EQ(CLng(Connection::Open(account).Query("SELECT N FROM Counter")->Field(0)), 2);
  }
  ReleaseIdleConnections();
}

}  // namespace
}  // namespace brivos
