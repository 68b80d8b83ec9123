// A child process draws numbers and is killed (SIGKILL) at random moments.
// After every kill the file passes its integrity check and the next number
// is above every number handed out before: a committed draw survives, and
// no number is handed out twice.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/reliability/Reliability.hpp"

namespace brivos {
namespace {

using namespace reliability;

constexpr std::uint64_t kSeed = 0x5161;

constexpr const char* kDraws[] = {"GetNextInvoiceNumber", "GetNextExpenseReportNumber",
                                  "GetNextClientAccountNumber"};

std::int32_t Draw(const std::string& account, std::size_t sequence) {
  return CLng(CallByName("CAccountMgr", kDraws[sequence], {{"Account", account}}));
}

// Draws numbers from every sequence in turn until killed, reporting each
// before drawing the next.
[[noreturn]] void DrawUntilKilled(const std::string& account, int out) {
  for (std::int32_t s = 0;; s = (s + 1) % static_cast<std::int32_t>(std::size(kDraws))) {
    Drawn d{s, 0};
    try {
      d.number = Draw(account, static_cast<std::size_t>(s));
    } catch (const Error&) {
      ::_exit(2);
    }
    if (!Send(out, d)) ::_exit(3);
  }
}

TEST(Kill, DrawsKilledAtRandomMomentsLoseNothingCommitted) {
  const std::uint64_t seed = Seed(kSeed);
  SCOPED_TRACE("seed " + std::to_string(seed) + " (set BRIVOS_RELIABILITY_SEED to replay)");
  Watchdog watchdog("the kill run", 120 * Scale());
  std::mt19937_64 rng(seed);
  testing::TempDir dir;
  const std::string account = NewSubscriber(dir.Path());
  const std::string file = FileOf(account);

  Budget kills(100, 25);
  // The highest number known handed out, per sequence.
  std::int32_t highest[std::size(kDraws)] = {};
  long reported = 0, stopped_early = 0, repeated = 0;
  std::string first_repeat;
  // Takes note of a number handed out: it must be above every one before it.
  auto handed_out = [&](std::size_t s, std::int32_t number, const char* by) {
    if (number <= highest[s] && repeated++ == 0) {
      first_repeat = std::string(kDraws[s]) + " gave " + by + " " + std::to_string(number) +
                     " after " + std::to_string(highest[s]) + ", after kill " +
                     std::to_string(kills.Used());
    }
    highest[s] = std::max(highest[s], number);
  };
  // Kills land anywhere from a child's start to its sixth draw or so: the
  // window is one draw on a new connection and five on an open one, timed here.
  auto timed_draw = [&](std::size_t s) {
    const auto start = std::chrono::steady_clock::now();
    handed_out(s, Draw(account, s), "a draw");
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start);
  };
  ReleaseIdleConnections();
  const auto window = timed_draw(0) + 5 * timed_draw(1);
  const auto window_us = static_cast<std::uint64_t>(window.count()) + 1;
  while (kills.Next()) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ReleaseIdleConnections();  // no SQLite connection crosses the fork
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(fds[0]);
      DrawUntilKilled(account, fds[1]);
    }
    ::close(fds[1]);
    ::usleep(static_cast<useconds_t>(rng() % window_us));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFSIGNALED(status)) {
      ++stopped_early;
      ADD_FAILURE() << "the drawing child stopped by itself, status " << status;
    }
    for (Drawn d : ReceiveAll(fds[0])) {
      handed_out(static_cast<std::size_t>(d.sequence), d.number, "the child");
      ++reported;
    }

    ASSERT_EQ(IntegrityCheck(file), "ok") << "after kill " << kills.Used();
    const std::size_t s = rng() % std::size(kDraws);
    handed_out(s, Draw(account, s), "the next draw");
  }
  EXPECT_EQ(repeated, 0) << "numbers handed out again, the first: " << first_repeat;
  Report("seed=" + std::to_string(seed) + " kills=" + std::to_string(kills.Used()) +
         " numbers_reported=" + std::to_string(reported) +
         " stopped_early=" + std::to_string(stopped_early) +
         " window_us=" + std::to_string(window_us) + " seconds=" + std::to_string(kills.Seconds()));
}

}  // namespace
}  // namespace brivos
