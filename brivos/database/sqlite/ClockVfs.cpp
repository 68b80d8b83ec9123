#include "brivos/database/sqlite/ClockVfs.hpp"

#include <sqlite3.h>

#include <cstdlib>
#include <ctime>

#include "brivos/foundation/Clock.hpp"

namespace brivos::internal {
namespace {

constexpr const char* kName = "brivos-clock";
// The Julian day number of 1970-01-01 00:00 UTC, in milliseconds.
constexpr sqlite3_int64 kUnixEpochJulianMs = 210866760000000LL;

// The library's clock reads local time; SQLite keeps 'now' in UTC and turns
// it back into local time for the 'localtime' modifier.
int CurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* julian_ms) {
  const Date now = Now();
  std::tm local{};
  local.tm_year = now.Year() - 1900;
  local.tm_mon = now.Month() - 1;
  local.tm_mday = now.Day();
  local.tm_hour = now.Hour();
  local.tm_min = now.Minute();
  local.tm_sec = now.Second();
  local.tm_isdst = -1;
  const std::time_t utc = std::mktime(&local);
  *julian_ms = static_cast<sqlite3_int64>(utc) * 1000 + kUnixEpochJulianMs;
  return SQLITE_OK;
}

int CurrentTime(sqlite3_vfs* vfs, double* julian_day) {
  sqlite3_int64 ms = 0;
  const int rc = CurrentTimeInt64(vfs, &ms);
  *julian_day = static_cast<double>(ms) / 86400000.0;
  return rc;
}

// The heap limit an operator set in BRIVOS_HEAP_LIMIT_MB, in bytes, or 0.
sqlite3_int64 HeapLimit() {
  const char* text = std::getenv("BRIVOS_HEAP_LIMIT_MB");
  if (text == nullptr) return 0;
  const long long mb = std::atoll(text);
  return mb > 0 ? static_cast<sqlite3_int64>(mb) * 1024 * 1024 : 0;
}

sqlite3_vfs* Register() {
  // Before SQLite starts: without memory statistics no allocation takes the
  // process-wide memory mutex, so connections on several threads do not wait
  // for each other. SQLite keeps a heap limit only with the statistics, so an
  // operator's limit turns them on. Refused, harmlessly, when the program
  // started SQLite first.
  const sqlite3_int64 heap_limit = HeapLimit();
  sqlite3_config(SQLITE_CONFIG_MEMSTATUS, heap_limit > 0 ? 1 : 0);
  sqlite3_initialize();
  // A soft limit: past it SQLite gives page caches back before allocating
  // more, rather than failing calls.
  if (heap_limit > 0) sqlite3_soft_heap_limit64(heap_limit);
  sqlite3_vfs* base = sqlite3_vfs_find(nullptr);
  // A copy of the default layer shares its methods and their private data.
  static sqlite3_vfs vfs = *base;
  vfs.zName = kName;
  vfs.pNext = nullptr;
  vfs.xCurrentTime = CurrentTime;
  if (vfs.iVersion >= 2) vfs.xCurrentTimeInt64 = CurrentTimeInt64;
  sqlite3_vfs_register(&vfs, 0);
  return &vfs;
}

}  // namespace

const char* ClockVfsName() {
  static const sqlite3_vfs* const vfs = Register();
  return vfs->zName;
}

}  // namespace brivos::internal
