#include "brivos/foundation/Clock.hpp"

#include <atomic>
#include <ctime>
#include <mutex>
#include <utility>

namespace brivos {

namespace {

std::mutex& ClockMutex() {
  static std::mutex mutex;
  return mutex;
}

std::function<Date()>& ClockOverride() {
  static std::function<Date()> now;
  return now;
}

// Whether a clock is installed: the system clock is read without the lock.
std::atomic<bool> overridden{false};

}  // namespace

Date SystemNow() {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  // A leap second reads as the last second of its minute.
  int second = local.tm_sec > 59 ? 59 : local.tm_sec;
  return Date::FromParts(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                         local.tm_min, second);
}

bool ClockIsSystem() { return !overridden.load(std::memory_order_acquire); }

Date Now() {
  if (ClockIsSystem()) return SystemNow();
  std::function<Date()> now;
  {
    std::lock_guard<std::mutex> lock(ClockMutex());
    now = ClockOverride();
  }
  // Called outside the lock: a test clock may itself read the clock.
  return now ? now() : SystemNow();
}

void SetClock(std::function<Date()> now) {
  std::lock_guard<std::mutex> lock(ClockMutex());
  overridden.store(static_cast<bool>(now), std::memory_order_release);
  ClockOverride() = std::move(now);
}

}  // namespace brivos
