// Threads in several processes work on one subscriber file at once: signing
// in, drawing numbers, adding and deleting users, adding expense reports.
// No number may be handed out twice or skipped, no lock error may reach a
// caller, no user may hold two sessions, no name two users.

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "tests/reliability/Reliability.hpp"

namespace brivos {
namespace {

using namespace reliability;

constexpr std::uint64_t kSeed = 0xC0C0;
constexpr int kProcesses = 3;  // this one and two forked
constexpr int kThreads = 3;    // in each process
constexpr long kOpsPerWorker = 100;
constexpr double kSecondsPerWorker = 30;

// Each number sequence: the member that draws it and the column that holds
// the next number.
struct Sequence {
  const char* draw;
  const char* counter;
};
constexpr Sequence kSequences[] = {
    {"GetNextInvoiceNumber", "NextInvoiceNumber"},
    {"GetNextExpenseReportNumber", "NextExpenseReportNumber"},
    {"GetNextClientAccountNumber", "NextClientAccountNumber"},
};
constexpr std::size_t kExpenseSequence = 1;

// The users that sign in, with their passwords.
constexpr std::pair<const char*, const char*> kUsers[] = {
    {"admin", "secret"}, {"ann", "pw-ann"}, {"bob", "pw-bob"}};

// What the workers of one process saw.
struct Log {
  std::vector<std::int32_t> drawn[std::size(kSequences)];
  std::vector<std::string> faults;
  long ops = 0;

  void Merge(const Log& other) {
    for (std::size_t s = 0; s < std::size(kSequences); ++s) {
      drawn[s].insert(drawn[s].end(), other.drawn[s].begin(), other.drawn[s].end());
    }
    faults.insert(faults.end(), other.faults.begin(), other.faults.end());
    ops += other.ops;
  }
  // The first ten faults, and how many more there were.
  std::vector<std::string> FirstFaults() const {
    std::vector<std::string> first(faults.begin(),
                                   faults.begin() + std::min<long>(10, faults.size()));
    if (faults.size() > 10) first.push_back(std::to_string(faults.size() - 10) + " more faults");
    return first;
  }
};

// What a worker does, chosen at random each step.
constexpr const char* kOperations[] = {"a sign-in", "a draw", "a user added and deleted",
                                       "a shared name added", "an expense report added"};
constexpr std::size_t kSharedName = 3;

class Worker {
 public:
  Worker(const std::string& account, std::uint64_t seed, int id)
      : account_(account), rng_(seed), id_(id) {}

  void Run(Log& log) {
    Budget budget(kOpsPerWorker, kSecondsPerWorker);
    for (long i = 0; budget.Next(); ++i, ++log.ops) {
      const std::size_t op = rng_() % std::size(kOperations);
      try {
        Step(op, i, log);
      } catch (const Error& e) {
        if (op == kSharedName && e.Number() == errCUserManager::eUserNameExists) continue;
        log.faults.push_back(std::string(IsBusyError(e) ? "a lock error escaped" : "an error") +
                             " in " + kOperations[op] + ": " + std::to_string(e.Number()) + " " +
                             e.Description());
      } catch (const std::exception& e) {
        log.faults.push_back(std::string("not an Error in ") + kOperations[op] + ": " + e.what());
      }
    }
  }

 private:
  Variant Call(const char* cls, const char* member, std::map<std::string, Variant> named) {
    named.emplace("Account", account_);
    named.emplace("UserName", "admin");
    return CallByName(cls, member, named);
  }

  std::int32_t Count(const std::string& sql) {
    auto rows = Call("CReportMgr", "ExecReportQuery", {{"sSQL", sql}}).AsObject();
    std::vector<Variant> first{Variant(0)};
    return CLng(rows->Invoke("Fields", first));
  }

  void Step(std::size_t op, long i, Log& log) {
    switch (op) {
      case 0: {  // a user signs in; then the user has exactly one session
        const auto& [user, password] = kUsers[rng_() % std::size(kUsers)];
        Call("CSecurityMgr", "BeginUserSession", {{"UserName", user}, {"Password", password}});
        const std::int32_t sessions =
            Count(std::string("SELECT COUNT(*) FROM SysSessions WHERE UserName='") + user + "'");
        if (sessions != 1) {
          log.faults.push_back(std::string(user) + " holds " + std::to_string(sessions) +
                               " sessions after signing in");
        }
        break;
      }
      case 1: {  // a number drawn
        const std::size_t s = rng_() % std::size(kSequences);
        log.drawn[s].push_back(CLng(Call("CAccountMgr", kSequences[s].draw, {})));
        break;
      }
      case 2: {  // a user of this worker's own added, found and deleted
        const std::string name = "w" + std::to_string(id_) + "_" + std::to_string(i);
        Call("CUserManager", "AddUserProfile", {{"ProfileUserName", name}, {"Password", "pw"}});
        const std::map<std::string, Variant> lookup = {{"ProfileAccount", "A100"},
                                                       {"ProfileUserName", name}};
        auto profile = Call("CUserManager", "GetUserProfile", lookup).AsObject();
        if (!profile) {
          log.faults.push_back("user " + name + " not found after its addition");
          break;
        }
        std::vector<Variant> none;
        const Variant id = profile->Invoke("IUserID", none);
        Call("CUserManager", "DeleteUserProfile", {{"UserID", id}});
        if (!Call("CUserManager", "GetUserProfile", lookup).IsNothing()) {
          log.faults.push_back("user " + name + " still there after its deletion");
        }
        break;
      }
      case 3:  // a name every worker tries to add: the first add wins
        Call("CUserManager", "AddUserProfile",
             {{"ProfileUserName", "dup" + std::to_string(rng_() % 4)}, {"Password", "pw"}});
        break;
      case 4:  // an expense report, numbered from the expense report sequence
        if (CLng(Call("CUserManager", "AddExpenseReport", {{"Name", "Trip"}})) <= 0) {
          log.faults.push_back("an expense report without a key");
        }
        break;
    }
  }

  std::string account_;
  std::mt19937_64 rng_;
  int id_;
};

// Runs the threads of process `process` and gathers what they saw.
Log RunProcess(const std::string& account, std::uint64_t seed, int process) {
  Log logs[kThreads];
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const int id = process * kThreads + t;
      Worker(account, seed + static_cast<std::uint64_t>(id), id).Run(logs[t]);
    });
  }
  for (std::thread& t : threads) t.join();
  Log all;
  for (const Log& l : logs) all.Merge(l);
  return all;
}

// A forked process runs its threads, reports each number drawn, its count
// of operations (sequence -1) and of faults (-2) through a pipe, prints its
// faults and ends with status 1 if it had any.
struct Child {
  pid_t pid;
  int out;
};

Child ForkProcess(const std::string& account, std::uint64_t seed, int process) {
  int fds[2];
  if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
  ReleaseIdleConnections();  // no SQLite connection crosses the fork
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    const Log log = RunProcess(account, seed, process);
    for (std::size_t s = 0; s < std::size(kSequences); ++s) {
      for (std::int32_t n : log.drawn[s]) Send(fds[1], {static_cast<std::int32_t>(s), n});
    }
    Send(fds[1], {-1, static_cast<std::int32_t>(log.ops)});
    Send(fds[1], {-2, static_cast<std::int32_t>(log.faults.size())});
    for (const std::string& f : log.FirstFaults()) {
      std::fprintf(stderr, "worker process: %s\n", f.c_str());
    }
    ::_exit(log.faults.empty() ? 0 : 1);
  }
  ::close(fds[1]);
  return Child{pid, fds[0]};
}

// The values of the first column of `sql`, as texts.
std::vector<std::string> Column(const std::string& account, const std::string& sql) {
  std::vector<std::string> values;
  auto rows = Connection::Open(Variant(account)).Query(sql);
  for (const auto& row : rows->Rows()) values.push_back(CStr(row[0]));
  return values;
}

// Numbers 1..n, each handed out once, and the counter at n + 1.
void ExpectContiguous(std::vector<std::int32_t> drawn, std::int32_t counter, const char* what) {
  std::sort(drawn.begin(), drawn.end());
  std::vector<std::int32_t> duplicates, missing;
  for (std::size_t i = 1; i < drawn.size(); ++i) {
    if (drawn[i] == drawn[i - 1]) duplicates.push_back(drawn[i]);
  }
  for (std::int32_t n = 1; n < counter; ++n) {
    if (!std::binary_search(drawn.begin(), drawn.end(), n)) missing.push_back(n);
  }
  EXPECT_TRUE(duplicates.empty()) << what << ": " << duplicates.size()
                                  << " numbers handed out twice, the first " << duplicates[0];
  EXPECT_TRUE(missing.empty()) << what << ": " << missing.size() << " numbers skipped, the first "
                               << missing[0];
  EXPECT_EQ(counter, static_cast<std::int32_t>(drawn.size()) + 1) << what;
}

TEST(Concurrency, ThreadsAndProcessesShareOneFileWithoutLosingAnything) {
  const std::uint64_t seed = Seed(kSeed);
  SCOPED_TRACE("seed " + std::to_string(seed) + " (set BRIVOS_RELIABILITY_SEED to replay)");
  Watchdog watchdog("the concurrency run", 120 * Scale());
  testing::TempDir dir;
  const std::string account = NewSubscriber(dir.Path());
  for (const auto& [user, password] : kUsers) {
    if (std::string(user) == "admin") continue;
    CallByName("CUserManager", "AddUserProfile",
               {{"Account", account},
                {"UserName", "admin"},
                {"ProfileUserName", user},
                {"Password", password},
                {"AllowLogon", true}});
  }

  const auto start = std::chrono::steady_clock::now();
  std::vector<Child> children;
  for (int p = 1; p < kProcesses; ++p) children.push_back(ForkProcess(account, seed, p));
  Log log = RunProcess(account, seed, 0);
  long child_faults = 0;
  for (const Child& child : children) {
    for (const Drawn& d : ReceiveAll(child.out)) {
      if (d.sequence == -1) {
        log.ops += d.number;
      } else if (d.sequence == -2) {
        child_faults += d.number;
      } else {
        log.drawn[d.sequence].push_back(d.number);
      }
    }
    int status = 0;
    ::waitpid(child.pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "a worker process ended with status " << status << " (its faults are printed above)";
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  for (const std::string& fault : log.FirstFaults()) ADD_FAILURE() << fault;
  long drawn = 0;
  for (std::size_t s = 0; s < std::size(kSequences); ++s) {
    std::vector<std::int32_t> numbers = log.drawn[s];
    if (s == kExpenseSequence) {
      for (const std::string& n : Column(account, "SELECT ReportNo FROM IExpenseReport")) {
        numbers.push_back(std::stoi(n));
      }
    }
    drawn += static_cast<long>(numbers.size());
    const std::string counter =
        std::string("SELECT ") + kSequences[s].counter + " FROM ISubScriber";
    ExpectContiguous(numbers, std::stoi(Column(account, counter).at(0)), kSequences[s].draw);
  }
  EXPECT_EQ(Column(account,
                   "SELECT UserName FROM SysSessions GROUP BY Account, UserName "
                   "HAVING COUNT(*) > 1"),
            std::vector<std::string>{})
      << "users with more than one session";
  EXPECT_EQ(Column(account, "SELECT UserName FROM IUser GROUP BY UserName HAVING COUNT(*) > 1"),
            std::vector<std::string>{})
      << "names held by more than one user";
  EXPECT_EQ(Column(account, "SELECT UserName FROM IUser WHERE UserName LIKE 'w%'"),
            std::vector<std::string>{})
      << "users left after their deletion";
  ReleaseIdleConnections();
  EXPECT_EQ(IntegrityCheck(FileOf(account)), "ok");
  Report("seed=" + std::to_string(seed) + " workers=" + std::to_string(kProcesses * kThreads) +
         " (" + std::to_string(kProcesses) + " processes) operations=" + std::to_string(log.ops) +
         " numbers=" + std::to_string(drawn) +
         " faults=" + std::to_string(static_cast<long>(log.faults.size()) + child_faults) +
         " seconds=" + std::to_string(seconds));
}

}  // namespace
}  // namespace brivos
