#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>
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

}  // namespace
}  // namespace brivos
