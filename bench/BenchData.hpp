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

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "brivos/brivos.hpp"

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
inline constexpr int kWorkDays = 1250;  // Monday to Friday, from Monday 7 January 2019
inline constexpr int kBilledSlips = 850000;
inline constexpr int kApprovedSlips = 100000;
inline constexpr int kRunningSlips = 100;  // the newest; half running, half paused
inline constexpr int kBilledExpenses = 34000;
inline constexpr int kApprovedExpenses = 10000;
inline constexpr int kOpenExpenses = 2000;

inline std::string Numbered(const char* prefix, int i) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%06d", prefix, i);
  return text;
}
inline std::string UserNameOf(int i) { return Numbered("user", i); }
inline std::string PasswordOf(int i) { return Numbered("pw", i); }
inline std::string SlipProjectName(int slips) { return "Slips " + std::to_string(slips); }

// The week day `work_day` (0-based, Monday to Friday only) of the data, as a
// day serial.
inline double WorkDaySerial(int work_day) {
  return Date::FromParts(2019, 1, 7).Serial() + (work_day / 5) * 7 + work_day % 5;
}

// The moment `minutes` after midnight of `day`, plus the one second every
// slip stamp carries, as the library stores it.
inline double SlipStamp(double day, int minutes) {
  return Date::FromSerial(day + (minutes * 60 + 1) / 86400.0).Serial();
}

// The status of slip `i` of the data: the first `billed` are billed, the
// next `approved` approved, then complete ones up to `running_from`, and
// the last ones paused and running in turn.
inline int SlipStatus(int i, int billed, int approved, int running_from) {
  using St = eTransStatus;
  return i < billed              ? St::tsBilled
         : i < billed + approved ? St::tsApproved
         : i < running_from      ? St::tsComplete
         : i % 2                 ? St::tsPaused
                                 : St::tsActive;
}

// The cached file of `size`, built when missing.
std::filesystem::path CachedSubscriber(const DataSize& size);

// This run's own copy of the subscriber of `size`: its sessions name this
// copy's Account path, as they would on the subscriber's own file.
class Subscriber {
 public:
  explicit Subscriber(const DataSize& size);
  Subscriber(const Subscriber&) = delete;
  Subscriber& operator=(const Subscriber&) = delete;
  ~Subscriber();

  const DataSize& size() const { return size_; }
  const std::string& file() const { return file_; }
  const Variant& account() const { return account_; }
  const std::string& account_text() const { return account_text_; }

  // `n` users picked at random (fixed seed), by index.
  std::vector<int> RandomUsers(int n, std::uint64_t seed) const;
  // The tokens of `n` sessions picked at random, as they are now.
  std::vector<std::string> RandomTokens(int n) const;
  // The key of the project holding `slips` slips.
  std::int64_t SlipProject(int slips) const { return ProjectNamed(SlipProjectName(slips)); }
  // The key of the project named `name`.
  std::int64_t ProjectNamed(const std::string& name) const;

 private:
  DataSize size_;
  std::filesystem::path dir_;
  std::string file_;
  std::string account_text_;
  Variant account_;
};

}  // namespace brivos::bench
