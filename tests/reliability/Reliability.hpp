#pragma once

// What the reliability programs share: reproducible randomness, runs bounded
// by count and time, the check of an error's tag, an integrity check made
// outside the library, and notes that survive a crash or a hang.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "brivos/brivos.hpp"
#include "brivos/database/Database.hpp"
#include "tests/support/SubscriberFixture.hpp"

namespace brivos::reliability {

// Every random choice comes from generators seeded with the test's fixed
// seed, or with BRIVOS_RELIABILITY_SEED when it is set, so a failure is
// replayed by running again with the seed it printed.
inline std::uint64_t Seed(std::uint64_t fixed) {
  const char* text = std::getenv("BRIVOS_RELIABILITY_SEED");
  return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 0) : fixed;
}

// BRIVOS_RELIABILITY_SCALE (default 1) multiplies every count and time
// budget, for longer runs by hand.
inline double Scale() {
  const char* text = std::getenv("BRIVOS_RELIABILITY_SCALE");
  const double scale = text != nullptr ? std::atof(text) : 1.0;
  return scale > 0 ? scale : 1.0;
}

inline long Scaled(long count) {
  return std::max(1L, static_cast<long>(static_cast<double>(count) * Scale()));
}

// A run bounded by a count and by wall time, whichever ends first.
class Budget {
 public:
  Budget(long count, double seconds)
      : count_(Scaled(count)), seconds_(seconds * Scale()), start_(Clock::now()) {}
  // Takes one step; false once the count or the time is used up.
  bool Next() {
    if (used_ >= count_) return false;
    if (Seconds() > seconds_) {
      timed_out_ = true;
      return false;
    }
    ++used_;
    return true;
  }
  bool Done() const { return used_ >= count_ || Seconds() > seconds_; }
  long Used() const { return used_; }
  bool TimedOut() const { return timed_out_; }
  double Seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

 private:
  using Clock = std::chrono::steady_clock;
  long count_;
  double seconds_;
  Clock::time_point start_;
  long used_ = 0;
  bool timed_out_ = false;
};

// Why `e` does not end in exactly one tag, or "" when it does. The tag is
// CR LF, the marker and the error's number, at the very end; the marker
// appears once in that last line and no second tag stands before it. The
// error also names its source.
inline std::string TagFault(const Error& e) {
  const std::string& d = e.Description();
  const std::string tag = "\r\n" + std::string(kErrorMarker) + std::to_string(e.Number());
  if (d.size() < tag.size() || d.compare(d.size() - tag.size(), tag.size(), tag) != 0) {
    return "description does not end with its tag";
  }
  const std::string body = d.substr(0, d.size() - tag.size());
  const std::size_t line = body.rfind("\r\n");
  const std::string before = line == std::string::npos ? body : body.substr(line + 2);
  if (before.rfind(kErrorMarker, 0) == 0 &&
      before.find_first_not_of("-0123456789", kErrorMarker.size()) == std::string::npos) {
    return "description is tagged twice";
  }
  if (e.Source().empty()) return "error has no source";
  return "";
}

// SQLite's lock errors, which the busy timeout and units of work must keep
// from reaching a caller.
inline bool IsBusyError(const Error& e) {
  const std::string d = AsciiLowered(e.Description());
  return e.Number() == errnum::kDbFailure &&
         (d.find("locked") != std::string::npos || d.find("busy") != std::string::npos);
}

// The file an Account path names.
inline std::string FileOf(const std::string& account) {
  std::string path = account + ".mdb";
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

// Creates subscriber `number` in `dir` and returns its Account path.
inline std::string NewSubscriber(const std::string& dir, const std::string& number = "A100") {
  const std::string account = dir + "\\" + number;
  CreateSubscriberDatabase(account, "Acme Consulting", "admin", "secret");
  return account;
}

// "ok", or what PRAGMA integrity_check reports on a connection of its own
// (never one of the library's).
inline std::string IntegrityCheck(const std::string& file) {
  sqlite3* db = nullptr;
  std::string result;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    result = std::string("cannot open: ") + sqlite3_errmsg(db);
  } else {
    sqlite3_busy_timeout(db, 10000);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr) != SQLITE_OK) {
      result = std::string("cannot check: ") + sqlite3_errmsg(db);
    }
    int rc = SQLITE_DONE;
    while (stmt != nullptr && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      if (!result.empty()) result += "; ";
      result += reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    }
    if (stmt != nullptr && rc != SQLITE_DONE) result += std::string(" ") + sqlite3_errmsg(db);
    sqlite3_finalize(stmt);
  }
  sqlite3_close_v2(db);
  return result;
}

// The first value of `sql` on a connection of its own, as text ("" for none).
inline std::string RawScalar(const std::string& file, const std::string& sql) {
  sqlite3* db = nullptr;
  std::string result;
  sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_busy_timeout(db, 10000);
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_text(stmt, 0) != nullptr) {
    result = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
  }
  sqlite3_finalize(stmt);
  sqlite3_close_v2(db);
  return result;
}

// A value as a failure message shows it: its type, and texts quoted with
// control bytes escaped and long texts cut.
inline std::string Show(const Variant& v, std::size_t limit = 60) {
  switch (v.Type()) {
    case VarType::Empty:
    case VarType::Null:
      return v.TypeName();
    case VarType::Object:
      return v.IsNothing() ? "Nothing" : "Object " + v.AsObject()->ClassName();
    case VarType::Array: {
      std::string text = "Array(";
      for (const Variant& item : v.AsArray()) text += (text.back() == '(' ? "" : ", ") + Show(item);
      return text + ")";
    }
    case VarType::String: {
      const std::string& s = v.AsString();
      std::string text = "\"";
      for (std::size_t i = 0; i < s.size() && i < limit; ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c >= 0x7f || c == '"' || c == '\\') {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02x", c);
          text += hex;
        } else {
          text += static_cast<char>(c);
        }
      }
      if (s.size() > limit) text += "...(" + std::to_string(s.size()) + " bytes)";
      return text + "\"";
    }
    case VarType::Double: {
      char text[40];
      std::snprintf(text, sizeof text, "Double %.17g", v.AsDouble());
      return text;
    }
    default:
      return std::string(v.TypeName()) + " " + CStr(v);
  }
}

// "Class.Member(arg, ...)" with each argument shown as Show does.
inline std::string ShowCall(const std::string& object, std::string_view member,
                            const std::vector<Variant>& args) {
  std::string text = object + "." + std::string(member) + "(";
  for (std::size_t i = 0; i < args.size(); ++i) text += (i ? ", " : "") + Show(args[i]);
  return text + ")";
}

namespace internal {
inline char crash_note[2048];
inline struct sigaction previous_actions[NSIG];
// Prints the note, then gives the signal back to whoever handled it before
// (the sanitizers' report, or the default): the fault repeats on return.
inline void PrintCrashNote(int signal) {
  const char head[] = "\n*** reliability: crashed during: ";
  (void)!::write(2, head, sizeof head - 1);
  (void)!::write(2, crash_note, ::strnlen(crash_note, sizeof crash_note));
  (void)!::write(2, "\n", 1);
  ::sigaction(signal, &previous_actions[signal], nullptr);
}
}  // namespace internal

// Keeps `what` to be printed if the process crashes before the next note
// (the call a crash happened in). Signal handlers are installed on first use.
inline void NoteForCrash(const std::string& what) {
  static const bool installed = [] {
    for (int s : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL}) {
      struct sigaction action {};
      action.sa_handler = internal::PrintCrashNote;
      sigemptyset(&action.sa_mask);
      ::sigaction(s, &action, &internal::previous_actions[s]);
    }
    return true;
  }();
  (void)installed;
  const std::size_t n = std::min(what.size(), sizeof internal::crash_note - 1);
  std::memcpy(internal::crash_note, what.data(), n);
  internal::crash_note[n] = '\0';
}

// Aborts the process, naming `what`, when the scope lasts longer than
// `seconds`: a hang fails the test quickly instead of stalling the run.
class Watchdog {
 public:
  Watchdog(std::string what, double seconds) : what_(std::move(what)) {
    thread_ = std::thread([this, seconds] {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!done_cv_.wait_for(lock, std::chrono::duration<double>(seconds),
                             [this] { return done_; })) {
        std::fprintf(stderr, "\n*** reliability: %s did not finish within %.0f s; last: %s\n",
                     what_.c_str(), seconds, internal::crash_note);
        std::abort();
      }
    });
  }
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    done_cv_.notify_one();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::string what_;
  std::mutex mutex_;
  std::condition_variable done_cv_;
  bool done_ = false;
  std::thread thread_;
};

// Calls `member` of a new BRIVOS.<cls> late-bound, with the arguments the
// registry names for it given by name; an argument not given is 0.
inline Variant CallByName(std::string_view cls, std::string_view member,
                          const std::map<std::string, Variant>& named) {
  const ClassInfo* info = FindClass(cls);
  const MemberInfo* m = info != nullptr ? info->Find(member) : nullptr;
  if (m == nullptr) throw std::logic_error("no member " + std::string(member));
  std::vector<Variant> args;
  for (const std::string& name : m->arg_names) {
    auto it = named.find(name);
    args.push_back(it == named.end() ? Variant(0) : it->second);
  }
  return CreateObject("BRIVOS." + std::string(cls))->Invoke(member, args);
}

// Runs the scope in `dir`, so that relative Account paths stay inside it.
class InDirectory {
 public:
  explicit InDirectory(const std::string& dir) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~InDirectory() { std::filesystem::current_path(previous_); }

 private:
  std::filesystem::path previous_;
};

// A number a child process drew, reported through a pipe.
struct Drawn {
  std::int32_t sequence;
  std::int32_t number;
};

inline bool Send(int fd, Drawn d) { return ::write(fd, &d, sizeof d) == sizeof d; }

// What a child reported, up to its end; closes the pipe.
inline std::vector<Drawn> ReceiveAll(int fd) {
  std::vector<Drawn> all;
  for (Drawn d; ::read(fd, &d, sizeof d) == sizeof d;) all.push_back(d);
  ::close(fd);
  return all;
}

// Prints a test's figures on one line and records them in the test report.
inline void Report(const std::string& figures) {
  std::printf("[ figures  ] %s\n", figures.c_str());
  ::testing::Test::RecordProperty("figures", figures);
}

}  // namespace brivos::reliability
