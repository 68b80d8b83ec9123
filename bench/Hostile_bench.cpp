// The HTTP service under a hostile mix beside normal traffic. Two firms, A
// and B, provisioned with `brivos init`; `brivos serve` with its defaults on a
// free port. Two phases of kPhaseSeconds each:
//   1. normal traffic alone: wrk at 16 keep-alive connections on firm B's
//      GET .../me, and a probe requesting /v1/health and B's GET .../me 20
//      times a second each, alternately on a kept-alive and a fresh connection;
//   2. the same beside (a) refused sign-ins to firm A under random user names
//      up to 4 KB long, from 8 connections as fast as they go; (b) firm A's
//      administrator re-sending an endless recursive report statement from 4
//      connections as soon as each answers; (c) 2,000 idle TCP connections
//      held open for the whole phase.
// Prints the server's idle and peak resident memory, the probe's p99 in
// phase 2, and the normal traffic's phase-2 rate against phase 1, beside
// their targets, and what the service answered each kind of request (from
// its access log). Bounded: every client stops at the end of its phase and
// the server stops with SIGTERM.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kPhaseSeconds = 30;
constexpr int kNormalConnections = 16;
constexpr int kSignInConnections = 8;
constexpr int kReportConnections = 4;
constexpr int kIdleConnections = 2000;
constexpr int kProbePerSecond = 20;
constexpr auto kProbeTimeout = 5s;  // a probe waiting longer counts as failed, at this latency
// The hostile clients start this long before the normal traffic and stop as
// long after it, so that they are at work for the whole of what is measured.
constexpr int kLeadSeconds = 2;

constexpr double kMemoryTargetMb = 50;
constexpr double kP99TargetMs = 20;
constexpr double kRateTargetPercent = 80;

const char* const kReportStatement =
    "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM c) SELECT count(*) FROM c";

std::string Run(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  while (fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
  pclose(pipe);
  return out;
}

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

double Millis(const std::string& text) {
  const double value = std::atof(text.c_str());
  if (text.ends_with("us")) return value / 1000;
  if (text.ends_with("ms")) return value;
  if (text.ends_with("s")) return value * 1000;
  return value;
}

struct WrkFigures {
  long requests = 0;
  long not_ok = 0;  // answers outside 2xx and 3xx
  long errors = 0;  // connect, read, write errors and timeouts
  double seconds = 0;
  double p50_ms = 0;
  double p99_ms = 0;
  double OkRate() const {
    return seconds > 0 ? static_cast<double>(requests - not_ok) / seconds : 0;
  }
};

WrkFigures Wrk(const std::string& args) {
  const std::string out = Run("wrk --latency " + args + " 2>&1");
  WrkFigures f;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string first, second, third, fourth;
    words >> first >> second >> third >> fourth;
    if (second == "requests" && third == "in") {
      // "769919 requests in 30.03s, 160.87MB read"
      f.requests = std::atol(first.c_str());
      if (fourth.ends_with(",")) fourth.pop_back();
      f.seconds = Millis(fourth) / 1000;
    }
    if (first == "50%") f.p50_ms = Millis(second);
    if (first == "99%") f.p99_ms = Millis(second);
    if (first == "Non-2xx") f.not_ok = std::atol(line.substr(line.rfind(' ') + 1).c_str());
    if (first == "Socket") {
      // "Socket errors: connect 0, read 0, write 0, timeout 0"
      for (const char* kind : {"connect ", "read ", "write ", "timeout "}) {
        const std::size_t at = line.find(kind);
        if (at != std::string::npos) f.errors += std::atol(line.c_str() + at + std::strlen(kind));
      }
    }
  }
  if (f.requests == 0) std::fprintf(stderr, "wrk printed:\n%s\n", out.c_str());
  return f;
}

// A client socket to 127.0.0.1:port whose reads and writes give up after
// `timeout`; -1 when the connection fails.
int Connect(int port, std::chrono::milliseconds timeout) {
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return -1;
  timeval limit{};
  limit.tv_sec = static_cast<time_t>(timeout.count() / 1000);
  limit.tv_usec = static_cast<suseconds_t>(timeout.count() % 1000 * 1000);
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  const int one = 1;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    close(s);
    return -1;
  }
  return s;
}

std::string Request(const std::string& method, const std::string& path, const std::string& token,
                    const std::string& body) {
  std::string text = method + " " + path + " HTTP/1.1\r\nHost: bench\r\n";
  if (!token.empty()) text += "Authorization: Bearer " + token + "\r\n";
  if (!body.empty()) {
    text +=
        "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
  }
  return text + "\r\n" + body;
}

struct Answer {
  int status = 0;  // 0: no whole answer (refused, closed, timed out)
  bool keep_alive = true;
  std::string body;
};

// Sends `request` on `s` and reads one answer framed by its Content-Length.
Answer Exchange(int s, const std::string& request) {
  Answer answer;
  for (std::size_t sent = 0; sent < request.size();) {
    const ssize_t n = send(s, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return answer;
    sent += static_cast<std::size_t>(n);
  }
  std::string in;
  std::size_t header_end = std::string::npos;
  std::size_t length = 0;
  char buffer[16384];
  while (true) {
    if (header_end == std::string::npos) {
      header_end = in.find("\r\n\r\n");
      if (header_end != std::string::npos) {
        std::string head = in.substr(0, header_end);
        std::transform(head.begin(), head.end(), head.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        const std::size_t at = head.find("\r\ncontent-length:");
        if (at != std::string::npos) length = std::strtoul(head.c_str() + at + 17, nullptr, 10);
        answer.keep_alive = head.find("\r\nconnection: close") == std::string::npos;
        header_end += 4;
      }
    }
    if (header_end != std::string::npos && in.size() >= header_end + length) break;
    const ssize_t n = recv(s, buffer, sizeof buffer, 0);
    if (n <= 0) return answer;
    in.append(buffer, static_cast<std::size_t>(n));
  }
  answer.status = std::atoi(in.c_str() + in.find(' ') + 1);
  answer.body = in.substr(header_end, length);
  return answer;
}

// Signs `user` in to `firm` and returns the token, or "" when refused.
std::string SignIn(int port, const std::string& firm, const std::string& user,
                   const std::string& password) {
  const int s = Connect(port, 5000ms);
  if (s < 0) return "";
  const Answer answer =
      Exchange(s, Request("POST", "/v1/accounts/" + firm + "/sessions", "",
                          R"({"UserName":")" + user + R"(","Password":")" + password + R"("})"));
  close(s);
  const std::string key = R"("Token":")";
  const std::size_t at = answer.body.find(key);
  if (answer.status != 201 || at == std::string::npos) return "";
  const std::size_t start = at + key.size();
  return answer.body.substr(start, answer.body.find('"', start) - start);
}

struct ProbeFigures {
  std::vector<double> ms;  // every request's latency, a failed one's up to its failure
  int failed = 0;          // no answer, or not 200

  double Percentile(double p) const {
    if (ms.empty()) return 0;
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(sorted.size())));
    return sorted[std::max<std::size_t>(rank, 1) - 1];
  }
};

// Sends `request` kProbePerSecond times a second until `end`, alternately on
// one kept-alive connection and on a fresh one (its connect timed too). A
// request due while the one before still waits goes as soon as it is done.
ProbeFigures Probe(int port, const std::string& request, Clock::time_point end) {
  ProbeFigures figures;
  int kept = -1;
  auto next = Clock::now();
  for (int i = 0; next < end && Clock::now() < end;
       ++i, next += std::chrono::milliseconds(1000 / kProbePerSecond)) {
    std::this_thread::sleep_until(next);
    const bool fresh = i % 2 == 1;
    const auto start = Clock::now();
    int s = fresh ? -1 : kept;
    if (s < 0) s = Connect(port, kProbeTimeout);
    const Answer answer = s < 0 ? Answer{} : Exchange(s, request);
    figures.ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    if (answer.status != 200) ++figures.failed;
    if (fresh || answer.status == 0 || !answer.keep_alive) {
      if (s >= 0) close(s);
      if (!fresh) kept = -1;
    } else {
      kept = s;
    }
  }
  if (kept >= 0) close(kept);
  return figures;
}

// `count` connections that never send a byte; those that fail are left out.
std::vector<int> OpenIdle(int port, int count) {
  std::vector<int> open;
  for (int i = 0; i < count; ++i) {
    const int s = Connect(port, 2000ms);
    if (s >= 0) open.push_back(s);
  }
  return open;
}

// How many of `sockets` the server has neither closed nor answered.
int StillIdle(const std::vector<int>& sockets) {
  int idle = 0;
  for (const int s : sockets) {
    char byte;
    const ssize_t n = recv(s, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) ++idle;
  }
  return idle;
}

struct Tally {
  long count = 0;
  double longest_ms =
      0;  // from the access log: first byte to answer written, the wait for a worker included
};

// `brivos serve` with its stderr read by a thread of this process: the
// first line gives the port, the access log's lines ("METHOD PATH STATUS
// MICROSECONDS") are counted by kind of request and status, per phase.
class Server {
 public:
  bool Start(const std::string& program, const std::string& dir) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return false;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 2);
      const int null = ::open("/dev/null", O_WRONLY);
      dup2(null, 1);
      execl(program.c_str(), program.c_str(), "--db-dir", dir.c_str(), "serve", "--listen",
            "127.0.0.1:0", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    std::promise<int> port;
    std::future<int> listening = port.get_future();
    reader_ = std::thread([this, fd = out[0], port = std::move(port)]() mutable {
      FILE* in = fdopen(fd, "r");
      char* line = nullptr;
      std::size_t size = 0;
      bool first = true;
      while (getline(&line, &size, in) > 0) {
        if (first) {
          const char* colon = std::strrchr(line, ':');
          port.set_value(std::strstr(line, "listening on") != nullptr && colon != nullptr
                             ? std::atoi(colon + 1)
                             : 0);
          first = false;
          continue;
        }
        Count(line);
      }
      if (first) port.set_value(0);
      free(line);
      fclose(in);
    });
    port_ = listening.wait_for(10s) == std::future_status::ready ? listening.get() : 0;
    return port_ != 0;
  }

  // Whether the server still runs; once it has ended by itself, Stop gives
  // its status.
  bool Running() {
    if (pid_ > 0 && waitpid(pid_, &status_, WNOHANG) == pid_) pid_ = -1;
    return pid_ > 0;
  }

  // SIGTERM; the exit status (-1: not a plain exit) and the seconds it took.
  std::pair<int, double> Stop() {
    double seconds = 0;
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      const auto start = Clock::now();
      waitpid(pid_, &status_, 0);
      seconds = std::chrono::duration<double>(Clock::now() - start).count();
      pid_ = -1;
    }
    if (reader_.joinable()) reader_.join();
    return {WIFEXITED(status_) ? WEXITSTATUS(status_) : -1, seconds};
  }

  ~Server() { Stop(); }

  int Port() const { return port_; }

  // A field of /proc/PID/status in MB (VmRSS, VmHWM).
  double MemoryMb(const std::string& field) const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.starts_with(field + ":")) return std::atof(line.c_str() + field.size() + 1) / 1024;
    }
    return 0;
  }

  void SetPhase(int phase) { phase_ = phase; }

  // "kind status" -> how many and the longest in ms, for `phase`; what else
  // the server said, under "said: ...".
  std::map<std::string, Tally> Answers(int phase) {
    std::lock_guard lock(mutex_);
    return answers_[phase];
  }

 private:
  void Count(const std::string& line) {
    std::istringstream words(line);
    std::string method, path, status, micros, extra;
    words >> method >> path >> status >> micros;
    const bool access = !(words >> extra) && !micros.empty() && status.size() == 3 &&
                        std::isdigit(static_cast<unsigned char>(status[0]));
    std::string key;
    if (!access) {
      key = "said: " + line.substr(0, line.find('\n'));
    } else {
      const std::string kind = path.find("/sessions") != std::string::npos         ? "sign-in"
                               : path.find("ExecReportQuery") != std::string::npos ? "report"
                               : path.ends_with("/me")                             ? "me"
                               : path == "/v1/health"                              ? "health"
                                                                                   : "other";
      key = kind + " " + status;
    }
    std::lock_guard lock(mutex_);
    Tally& tally = answers_[phase_][key];
    ++tally.count;
    if (access) tally.longest_ms = std::max(tally.longest_ms, std::atof(micros.c_str()) / 1000);
  }

  pid_t pid_ = -1;
  int status_ = 0;
  int port_ = 0;
  std::thread reader_;
  std::atomic<int> phase_{0};
  std::mutex mutex_;
  std::map<std::string, Tally> answers_[4];
};

struct PhaseFigures {
  WrkFigures normal;
  ProbeFigures health;
  ProbeFigures me;
  WrkFigures sign_ins;
  WrkFigures reports;
  int idle_opened = 0;
  int idle_held = 0;  // still open and unanswered at the end of the phase
};

void PrintProbe(const char* label, const ProbeFigures& p) {
  std::printf(
      "  probe %-26s %4zu requests, %d failed   p50 %7.2f ms   p99 %8.2f ms   max %8.2f ms\n",
      label, p.ms.size(), p.failed, p.Percentile(0.5), p.Percentile(0.99),
      p.ms.empty() ? 0.0 : *std::max_element(p.ms.begin(), p.ms.end()));
}

void PrintWrk(const char* label, const WrkFigures& w) {
  std::printf(
      "  %-32s %8ld requests in %5.1f s (%7.0f/s), %ld not 2xx, %ld socket errors   p50 %7.2f "
      "ms   p99 %8.2f ms\n",
      label, w.requests, w.seconds,
      w.seconds > 0 ? static_cast<double>(w.requests) / w.seconds : 0.0, w.not_ok, w.errors,
      w.p50_ms, w.p99_ms);
}

void PrintAnswers(const std::map<std::string, Tally>& answers) {
  std::string kind;
  for (const auto& [key, tally] : answers) {
    if (key.starts_with("said: ")) continue;
    const std::string this_kind = key.substr(0, key.find(' '));
    if (this_kind != kind)
      std::printf("%s  answered %-8s", kind.empty() ? "" : "\n", this_kind.c_str());
    kind = this_kind;
    std::printf(" %s x%ld (longest %.1f ms)", key.substr(key.find(' ') + 1).c_str(), tally.count,
                tally.longest_ms);
  }
  if (!kind.empty()) std::printf("\n");
  int shown = 0;
  for (const auto& [key, tally] : answers) {
    if (key.starts_with("said: ") && shown++ < 8) {
      std::printf("  server %s (x%ld)\n", key.c_str() + 6, tally.count);
    }
  }
}

const char* Met(bool met) { return met ? "met" : "NOT MET"; }

}  // namespace

int main() {
  if (Run("command -v wrk").empty()) {
    std::printf("Hostile_bench skipped: wrk is not installed (Debian: wrk)\n");
    return 0;
  }
  // 2,000 idle sockets here, the clients' and the server's own: raise the
  // descriptor limit to the hard one, which they inherit.
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = files.rlim_max;
  setrlimit(RLIMIT_NOFILE, &files);
  if (files.rlim_cur < static_cast<rlim_t>(kIdleConnections) * 2 + 256) {
    std::printf("Hostile_bench: the descriptor limit %llu is too low for %d idle connections\n",
                static_cast<unsigned long long>(files.rlim_cur), kIdleConnections);
    return 1;
  }

  const char* other = std::getenv("BRIVOS_BENCH_PROGRAM");
  const std::string program = other != nullptr && *other != '\0' ? other : BRIVOS_CLI;
  const std::string dir =
      std::filesystem::temp_directory_path() / ("brivos-hostile-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  for (const char* firm : {"A", "B"}) {
    const std::string out =
        Run(Quote(program) + " --db-dir " + Quote(dir) + " init " + firm + " --company 'Firm " +
            firm + "' --user admin --password secret 2>&1");
    if (out.find("\"database\"") == std::string::npos &&
        out.find("\"schema\"") == std::string::npos) {
      std::fprintf(stderr, "brivos init %s failed:\n%s\n", firm, out.c_str());
      std::filesystem::remove_all(dir);
      return 1;
    }
  }

  Server server;
  if (!server.Start(program, dir)) {
    std::fprintf(stderr, "the server did not start\n");
    server.Stop();
    std::filesystem::remove_all(dir);
    return 1;
  }
  const int port = server.Port();
  const std::string root = "http://127.0.0.1:" + std::to_string(port);
  const std::string token_a = SignIn(port, "A", "admin", "secret");
  const std::string token_b = SignIn(port, "B", "admin", "secret");
  if (token_a.empty() || token_b.empty()) {
    std::fprintf(stderr, "signing in failed\n");
    server.Stop();
    std::filesystem::remove_all(dir);
    return 1;
  }
  std::this_thread::sleep_for(1s);
  const double idle_mb = server.MemoryMb("VmRSS");

  // Refused sign-ins: each body a random user name of 8 to 4,096 characters
  // (8 random hex digits, so names seldom repeat, then random 64-character
  // pieces) and a random wrong password.
  const std::string sign_in_lua = dir + "/sign-in.lua";
  std::ofstream(sign_in_lua) << R"lua(
wrk.method = "POST"
wrk.headers["Content-Type"] = "application/json"
local pieces = {}
function init(args)
  math.randomseed(os.time() + tonumber(tostring(pieces):match("0x(%x+)") or "0", 16))
  local letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
  for i = 1, 256 do
    local piece = {}
    for j = 1, 64 do
      local k = math.random(1, #letters)
      piece[j] = letters:sub(k, k)
    end
    pieces[i] = table.concat(piece)
  end
end
function request()
  local length = math.random(8, 4096)
  local name = {string.format("%08x", math.random(0, 2147483647))}
  for i = 1, math.ceil(length / 64) do name[i + 1] = pieces[math.random(1, #pieces)] end
  local body = '{"UserName":"' .. table.concat(name):sub(1, length) ..
               '","Password":"wrong' .. math.random(1, 1000000000) .. '"}'
  return wrk.format(nil, nil, nil, body)
end
)lua";
  const std::string report_lua = dir + "/report.lua";
  std::ofstream(report_lua) << "wrk.method = \"POST\"\n"
                               "wrk.headers[\"Content-Type\"] = \"application/json\"\n"
                               "wrk.body = '{\"sSQL\": \""
                            << kReportStatement << "\"}'\n";

  const std::string me_request = Request("GET", "/v1/accounts/B/me", token_b, "");
  const std::string health_request = Request("GET", "/v1/health", "", "");
  const std::string normal_load =
      "-t2 -c" + std::to_string(kNormalConnections) + " -d" + std::to_string(kPhaseSeconds) +
      "s -H " + Quote("Authorization: Bearer " + token_b) + " " + root + "/v1/accounts/B/me";
  const std::string hostile_seconds = std::to_string(kPhaseSeconds + 2 * kLeadSeconds);

  const auto run_phase = [&](int phase, bool hostile) {
    PhaseFigures figures;
    server.SetPhase(phase);
    std::vector<int> idle;
    std::thread sign_ins, reports;
    if (hostile) {
      idle = OpenIdle(port, kIdleConnections);
      figures.idle_opened = static_cast<int>(idle.size());
      sign_ins = std::thread([&] {
        figures.sign_ins =
            Wrk("-t1 -c" + std::to_string(kSignInConnections) + " -d" + hostile_seconds + "s -s " +
                Quote(sign_in_lua) + " " + root + "/v1/accounts/A/sessions");
      });
      // The report statements wait for their answer however long it takes.
      reports = std::thread([&] {
        figures.reports = Wrk("-t1 -c" + std::to_string(kReportConnections) + " -d" +
                              hostile_seconds + "s --timeout 120s -s " + Quote(report_lua) +
                              " -H " + Quote("Authorization: Bearer " + token_a) + " " + root +
                              "/v1/accounts/A/call/CReportMgr/ExecReportQuery");
      });
      std::this_thread::sleep_for(std::chrono::seconds(kLeadSeconds));
    }
    const auto end = Clock::now() + std::chrono::seconds(kPhaseSeconds);
    std::thread health([&] { figures.health = Probe(port, health_request, end); });
    std::thread me([&] { figures.me = Probe(port, me_request, end); });
    figures.normal = Wrk(normal_load);
    health.join();
    me.join();
    if (hostile) {
      figures.idle_held = StillIdle(idle);
      sign_ins.join();
      reports.join();
      for (const int s : idle) close(s);
    }
    server.SetPhase(phase + 1);
    return figures;
  };

  const PhaseFigures alone = run_phase(1, false);
  const PhaseFigures beside = run_phase(2, true);
  const bool survived = server.Running();
  const double peak_mb = server.MemoryMb("VmHWM");
  const double end_mb = server.MemoryMb("VmRSS");
  const auto [exit_status, stop_seconds] = server.Stop();
  std::filesystem::remove_all(dir);

  std::printf(
      "Hostile_bench: brivos serve with its defaults, %d s a phase, everything on the same "
      "machine (%u cores)\n",
      kPhaseSeconds, std::thread::hardware_concurrency());
  std::printf("\nphase 1, normal traffic alone\n");
  PrintWrk("wrk GET B .../me, 16 conns", alone.normal);
  PrintProbe("GET /v1/health", alone.health);
  PrintProbe("GET B .../me", alone.me);
  PrintAnswers(server.Answers(1));
  std::printf("\nphase 2, beside the hostile mix\n");
  PrintWrk("wrk GET B .../me, 16 conns", beside.normal);
  PrintProbe("GET /v1/health", beside.health);
  PrintProbe("GET B .../me", beside.me);
  PrintWrk("wrong sign-ins to A, 8 conns", beside.sign_ins);
  PrintWrk("A's endless reports, 4 conns", beside.reports);
  std::printf("  idle connections: %d opened, %d still open and unanswered at the end\n",
              beside.idle_opened, beside.idle_held);
  PrintAnswers(server.Answers(2));
  const auto after = server.Answers(3);
  if (!after.empty()) {
    std::printf("\nafter phase 2 (until the server stopped)\n");
    PrintAnswers(after);
  }

  const double grown_mb = peak_mb - idle_mb;
  const double health_p99 = beside.health.Percentile(0.99);
  const double me_p99 = beside.me.Percentile(0.99);
  const double share =
      alone.normal.OkRate() > 0 ? 100 * beside.normal.OkRate() / alone.normal.OkRate() : 0;
  std::printf("\nsummary                                     figure          target\n");
  std::printf("memory: idle VmRSS                       %8.1f MB\n", idle_mb);
  std::printf("memory: peak VmHWM (VmRSS at the end)    %8.1f MB (%.1f)\n", peak_mb, end_mb);
  std::printf("memory: peak - idle                      %8.1f MB       <= %.0f MB  %s\n", grown_mb,
              kMemoryTargetMb, Met(survived && grown_mb <= kMemoryTargetMb));
  std::printf("phase 2 probe p99 GET /v1/health         %8.2f ms       <= %.0f ms  %s\n",
              health_p99, kP99TargetMs,
              Met(health_p99 <= kP99TargetMs && beside.health.failed == 0));
  std::printf("phase 2 probe p99 GET B .../me           %8.2f ms       <= %.0f ms  %s\n", me_p99,
              kP99TargetMs, Met(me_p99 <= kP99TargetMs && beside.me.failed == 0));
  std::printf("normal traffic, 2xx/s phase 2 / phase 1  %8.0f%% (%.0f / %.0f)  >= %.0f%%  %s\n",
              share, beside.normal.OkRate(), alone.normal.OkRate(), kRateTargetPercent,
              Met(share >= kRateTargetPercent));
  if (survived) {
    std::printf("SIGTERM: exit status %d after %.2f s\n", exit_status, stop_seconds);
  } else {
    std::printf("the server ENDED DURING THE RUN (exit status %d): its memory is not known\n",
                exit_status);
  }
  return 0;
}
