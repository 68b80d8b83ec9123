// The HTTP service under load: `brivos serve` driven by wrk at 64 keep-alive
// connections on GET .../me and a generic GetSysSession call, beside the same
// calls made in-process on as many threads as the service has workers; then a
// new client's latency while 1,000 idle keep-alive connections stay open.
// Its floor is a bare Beast server (BareHttp) under the same wrk load.
// Prints requests/s, p50 and p99 of each beside the targets. Bounded: every
// wrk run lasts a few seconds and the server stops with SIGTERM at the end.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "brivos/brivos.hpp"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWorkers = 2;
constexpr int kSeconds = 8;

struct Figures {
  double rate = 0;  // requests per second
  double p50_ms = 0;
  double p99_ms = 0;
};

// The same work in-process, on kWorkers threads for kSeconds.
template <class F>
Figures InProcess(F call) {
  std::vector<std::vector<double>> latencies(kWorkers);
  std::vector<std::thread> threads;
  const auto end = Clock::now() + std::chrono::seconds(kSeconds);
  for (int t = 0; t < kWorkers; ++t) {
    threads.emplace_back([&, t] {
      while (Clock::now() < end) {
        const auto start = Clock::now();
        call();
        latencies[t].push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - start).count());
      }
    });
  }
  for (auto& t : threads) t.join();
  std::vector<double> all;
  for (const auto& l : latencies) all.insert(all.end(), l.begin(), l.end());
  std::sort(all.begin(), all.end());
  return {static_cast<double>(all.size()) / kSeconds, all[all.size() / 2],
          all[all.size() * 99 / 100]};
}

std::string Run(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  while (fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
  pclose(pipe);
  return out;
}

double Millis(const std::string& text) {
  const double value = std::atof(text.c_str());
  if (text.ends_with("us")) return value / 1000;
  if (text.ends_with("ms")) return value;
  if (text.ends_with("s")) return value * 1000;
  return value;
}

// wrk's requests/s and its 50% and 99% latencies.
Figures Wrk(const std::string& args) {
  const std::string out = Run("wrk --latency " + args + " 2>&1");
  Figures f;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string first, second;
    words >> first >> second;
    if (first == "Requests/sec:") f.rate = std::atof(second.c_str());
    if (first == "50%") f.p50_ms = Millis(second);
    if (first == "99%") f.p99_ms = Millis(second);
    if (first == "Non-2xx") std::fprintf(stderr, "wrk: %s\n", line.c_str());
  }
  if (f.rate == 0) std::fprintf(stderr, "wrk printed:\n%s\n", out.c_str());
  return f;
}

void Print(const char* label, const Figures& f) {
  std::printf("%-46s %10.0f req/s   p50 %7.2f ms   p99 %7.2f ms\n", label, f.rate, f.p50_ms,
              f.p99_ms);
}

struct Started {
  pid_t pid = -1;
  int port = 0;
};

// Runs `argv` with its stderr in `log` and waits for its "listening on" line.
Started StartServer(const std::vector<std::string>& argv, const std::string& log) {
  Started started;
  started.pid = fork();
  if (started.pid == 0) {
    const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  for (int i = 0; i < 200 && started.port == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::ifstream in(log);
    std::string line;
    if (std::getline(in, line) && line.find("listening on") != std::string::npos) {
      started.port = std::atoi(line.substr(line.rfind(':') + 1).c_str());
    }
  }
  return started;
}

}  // namespace

int main() {
  if (Run("command -v wrk").empty()) {
    std::printf("Server_bench skipped: wrk is not installed (Debian: wrk)\n");
    return 0;
  }
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = files.rlim_max;
  setrlimit(RLIMIT_NOFILE, &files);

  const std::string dir =
      std::filesystem::temp_directory_path() / ("brivos-serve-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const brivos::Variant account(dir + "\\A1");
  brivos::CreateSubscriberDatabase(dir + "\\A1", "Bench", "admin", "secret");
  const std::string token = brivos::CSecurityMgr{}.BeginUserSession(account, "admin", "secret");

  // What the service does per request, made in-process: the session and the
  // caller (its authentication), then the call.
  const auto authenticated = [&](auto&& call) {
    return [&, call] {
      brivos::CSecurityMgr{}.GetSysSession(account, token);
      brivos::IUser::Caller(account, "admin");
      call();
    };
  };
  const Figures me_here = InProcess(authenticated(
      [&] { brivos::CUserManager{}.GetUserProfile(account, "admin", token, account, "admin"); }));
  const Figures session_here =
      InProcess(authenticated([&] { brivos::CSecurityMgr{}.GetSysSession(account, token); }));
  const Figures auth_here = InProcess([&] {
    brivos::CSecurityMgr{}.GetSysSession(account, token);
    brivos::IUser::Caller(account, "admin");
  });

  const std::string auth = " -H 'Authorization: Bearer " + token + "' ";
  const std::string load = "-t2 -c64 -d" + std::to_string(kSeconds) + "s" + auth;

  // The floor: a bare Beast server under the same load, stopped before the
  // service starts.
  const Started bare = StartServer({BRIVOS_BARE_HTTP}, dir + "/bare.log");
  if (bare.port == 0) {
    std::fprintf(stderr, "the bare server did not start\n");
    return 1;
  }
  const Figures bare_http = Wrk(load + "http://127.0.0.1:" + std::to_string(bare.port) + "/");
  kill(bare.pid, SIGTERM);
  waitpid(bare.pid, nullptr, 0);

  // BRIVOS_BENCH_PROGRAM runs another build of the program (an earlier one,
  // for a before-and-after) under the same client.
  const char* other = std::getenv("BRIVOS_BENCH_PROGRAM");
  const std::string program = other != nullptr && *other != '\0' ? other : BRIVOS_CLI;
  const Started started = StartServer({program, "--db-dir", dir, "serve", "--listen",
                                       "127.0.0.1:0", "--threads", std::to_string(kWorkers)},
                                      dir + "/server.log");
  const pid_t server = started.pid;
  const int port = started.port;
  if (port == 0) {
    std::fprintf(stderr, "the server did not start\n");
    return 1;
  }
  const std::string root = "http://127.0.0.1:" + std::to_string(port);
  const std::string base = root + "/v1/accounts/A1";
  const std::string post = dir + "/post.lua";
  std::ofstream(post) << "wrk.method = \"POST\"\nwrk.body = \"{}\"\n"
                         "wrk.headers[\"Content-Type\"] = \"application/json\"\n";
  const Figures health_http = Wrk(load + root + "/v1/health");
  const Figures me_http = Wrk(load + base + "/me");
  const Figures session_http =
      Wrk(load + "-s " + post + " " + base + "/call/CSecurityMgr/GetSysSession");

  // 1,000 idle keep-alive connections, each after one request.
  std::vector<int> idle;
  const std::string hello = "GET /v1/health HTTP/1.1\r\nHost: bench\r\n\r\n";
  for (int i = 0; i < 1000; ++i) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 ||
        send(s, hello.data(), hello.size(), 0) < 0) {
      std::fprintf(stderr, "idle connection %d failed\n", i);
      close(s);
      break;
    }
    char answer[512];
    (void)recv(s, answer, sizeof answer, 0);
    idle.push_back(s);
  }
  const Figures crowded = Wrk("-t1 -c4 -d5s" + auth + base + "/me");
  for (const int s : idle) close(s);

  kill(server, SIGTERM);
  const auto stop_start = Clock::now();
  int status = 0;
  waitpid(server, &status, 0);
  const double stop_seconds = std::chrono::duration<double>(Clock::now() - stop_start).count();
  std::filesystem::remove_all(dir);

  std::printf("Server_bench: %d workers, wrk -t2 -c64 for %d s on the same 2 cores\n", kWorkers,
              kSeconds);
  Print("bare Beast server, fixed small JSON (the floor)", bare_http);
  Print("HTTP GET /v1/health", health_http);
  Print("in-process: session + caller (authentication)", auth_here);
  Print("in-process: authentication + GetUserProfile", me_here);
  Print("HTTP GET .../me", me_http);
  Print("in-process: authentication + GetSysSession", session_here);
  Print("HTTP POST .../call/CSecurityMgr/GetSysSession", session_http);
  std::printf("%-46s %10zu open\n", "idle keep-alive connections", idle.size());
  Print("HTTP GET .../me, 4 new clients beside them", crowded);
  std::printf(
      "\ntargets: HTTP rate >= 50%% of in-process: me %.0f%%, GetSysSession %.0f%%; "
      "p99 <= 20 ms: %.2f, %.2f ms; with 1,000 idle: p99 <= 50 ms: %.2f ms\n",
      100 * me_http.rate / me_here.rate, 100 * session_http.rate / session_here.rate,
      me_http.p99_ms, session_http.p99_ms, crowded.p99_ms);
  std::printf("of the bare server: /v1/health %.0f%%, GET .../me %.0f%% (target >= 55%%)\n",
              100 * health_http.rate / bare_http.rate, 100 * me_http.rate / bare_http.rate);
  std::printf("SIGTERM: exit status %d after %.2f s\n",
              WIFEXITED(status) ? WEXITSTATUS(status) : -1, stop_seconds);
  return 0;
}
