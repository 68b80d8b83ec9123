#include "brivos/database/sqlite/ClockVfs.hpp"

#include <malloc.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
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
  if (ClockIsSystem()) {
    // The system's clock is UTC already, to the whole second as Now() is.
    *julian_ms = static_cast<sqlite3_int64>(std::time(nullptr)) * 1000 + kUnixEpochJulianMs;
    return SQLITE_OK;
  }
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

// SQLite's allocator over the system's, as SQLite has it when built knowing
// malloc_usable_size; a build without it keeps each block's size in 8 more
// bytes in front of it, and a connection holds about a thousand blocks (its
// parsed schema mostly).
void* Allocate(int bytes) { return std::malloc(static_cast<std::size_t>(bytes)); }
void Release(void* block) { std::free(block); }
void* Reallocate(void* block, int bytes) {
  return std::realloc(block, static_cast<std::size_t>(bytes));
}
int SizeOf(void* block) {
  return block == nullptr ? 0 : static_cast<int>(::malloc_usable_size(block));
}
int RoundUp(int bytes) { return (bytes + 7) & ~7; }
int Start(void* /*unused*/) { return SQLITE_OK; }
void Stop(void* /*unused*/) {}
const sqlite3_mem_methods kAllocator = {Allocate, Release, Reallocate, SizeOf,
                                        RoundUp,  Start,   Stop,       nullptr};

// A file of the layer: the operating system layer's own file follows it in
// the same allocation, and every call goes on to it. The regions of the
// shared log index it maps for the file are noted on the way.
struct LayerFile {
  static constexpr int kNotedRegions = 8;  // 32 KiB each: a log of 32,000 pages
  sqlite3_file base;                       // its methods, or null when the open failed
  void volatile* regions[kNotedRegions];
  int region_bytes;
  // The frames in the log when the pages were last released, or -1 when a
  // region was mapped since (its first access maps all of it).
  std::int64_t released_at;

  sqlite3_file* Inner() { return reinterpret_cast<sqlite3_file*>(this + 1); }
  static LayerFile* Of(sqlite3_file* file) { return reinterpret_cast<LayerFile*>(file); }
};

sqlite3_vfs* os_layer = nullptr;

// Calls method `M` of the operating system layer's file.
template <auto M>
struct Forward;
template <typename R, typename... Args, R (*sqlite3_io_methods::*M)(sqlite3_file*, Args...)>
struct Forward<M> {
  static R Call(sqlite3_file* file, Args... args) {
    sqlite3_file* inner = LayerFile::Of(file)->Inner();
    return (inner->pMethods->*M)(inner, args...);
  }
};

int ShmMap(sqlite3_file* file, int region, int bytes, int extend, void volatile** mapped) {
  const int rc = Forward<&sqlite3_io_methods::xShmMap>::Call(file, region, bytes, extend, mapped);
  LayerFile* layer = LayerFile::Of(file);
  if (rc == SQLITE_OK && *mapped != nullptr && region < LayerFile::kNotedRegions) {
    layer->regions[region] = *mapped;
    layer->region_bytes = bytes;
    layer->released_at = -1;
  }
  return rc;
}

int ShmUnmap(sqlite3_file* file, int remove) {
  std::fill(std::begin(LayerFile::Of(file)->regions), std::end(LayerFile::Of(file)->regions),
            nullptr);
  return Forward<&sqlite3_io_methods::xShmUnmap>::Call(file, remove);
}

// SQLite calls only the methods of the version a file's table states, which
// is that of the operating system layer's file.
constexpr sqlite3_io_methods MethodsOfVersion(int version) {
  using M = sqlite3_io_methods;
  return {version,
          Forward<&M::xClose>::Call,
          Forward<&M::xRead>::Call,
          Forward<&M::xWrite>::Call,
          Forward<&M::xTruncate>::Call,
          Forward<&M::xSync>::Call,
          Forward<&M::xFileSize>::Call,
          Forward<&M::xLock>::Call,
          Forward<&M::xUnlock>::Call,
          Forward<&M::xCheckReservedLock>::Call,
          Forward<&M::xFileControl>::Call,
          Forward<&M::xSectorSize>::Call,
          Forward<&M::xDeviceCharacteristics>::Call,
          ShmMap,
          Forward<&M::xShmLock>::Call,
          Forward<&M::xShmBarrier>::Call,
          ShmUnmap,
          Forward<&M::xFetch>::Call,
          Forward<&M::xUnfetch>::Call};
}
constexpr sqlite3_io_methods kMethods[] = {MethodsOfVersion(1), MethodsOfVersion(2),
                                           MethodsOfVersion(3)};

// The default layer opens the file as its own, handed itself: its files keep
// the layer that opened them and its private data.
int Open(sqlite3_vfs* /*vfs*/, sqlite3_filename name, sqlite3_file* file, int flags,
         int* out_flags) {
  LayerFile* layer = LayerFile::Of(file);
  *layer = LayerFile{};
  const int rc = os_layer->xOpen(os_layer, name, layer->Inner(), flags, out_flags);
  const sqlite3_io_methods* inner = layer->Inner()->pMethods;
  file->pMethods = inner == nullptr ? nullptr : &kMethods[std::clamp(inner->iVersion, 1, 3) - 1];
  return rc;
}

// The file of the main database of `db`, or nullptr when another layer opened it.
LayerFile* LayerFileOf(sqlite3* db) {
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
      file == nullptr) {
    return nullptr;
  }
  for (const sqlite3_io_methods& methods : kMethods) {
    if (file->pMethods == &methods) return LayerFile::Of(file);
  }
  return nullptr;
}

sqlite3_vfs* Register() {
  // Before SQLite starts: without memory statistics no allocation takes the
  // process-wide memory mutex, so connections on several threads do not wait
  // for each other. SQLite keeps a heap limit only with the statistics, so an
  // operator's limit turns them on. Refused, harmlessly, when the program
  // started SQLite first.
  const sqlite3_int64 heap_limit = HeapLimit();
  sqlite3_config(SQLITE_CONFIG_MALLOC, &kAllocator);
  sqlite3_config(SQLITE_CONFIG_MEMSTATUS, heap_limit > 0 ? 1 : 0);
  sqlite3_initialize();
  // A soft limit: past it SQLite gives page caches back before allocating
  // more, rather than failing calls.
  if (heap_limit > 0) sqlite3_soft_heap_limit64(heap_limit);
  sqlite3_vfs* base = sqlite3_vfs_find(nullptr);
  os_layer = base;
  // A copy of the default layer shares its methods and their private data;
  // its files are opened by the default layer, behind a LayerFile.
  static sqlite3_vfs vfs = *base;
  vfs.zName = kName;
  vfs.pNext = nullptr;
  vfs.szOsFile = static_cast<int>(sizeof(LayerFile)) + base->szOsFile;
  vfs.xOpen = Open;
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

void ReleaseLogIndexPages(sqlite3* db) noexcept {
  LayerFile* layer = LayerFileOf(db);
  if (layer == nullptr || layer->regions[0] == nullptr) return;
  // The index as SQLite lays it out: regions of the page numbers of 4,096
  // frames (4 bytes each) followed by their hash table, the first region
  // beginning with the header (136 bytes: 34 frames fewer). Its header
  // counts the frames in the log (32 bits at byte 16).
  constexpr std::int64_t kHeaderEntries = 34;
  const auto* header = static_cast<const volatile std::uint32_t*>(layer->regions[0]);
  const std::int64_t frames = header[4];
  static const std::int64_t page = ::sysconf(_SC_PAGESIZE);
  const std::int64_t per_page = page / 4;
  // Pages go back to the mapping only when a call reaches past what stayed
  // (and the operating system then maps a whole region again): the log
  // gained its first frame, grew onto the next page of frame numbers, or
  // started over.
  const std::int64_t last = layer->released_at;
  if (last >= 0 && frames >= last && (frames == 0) == (last == 0) &&
      (frames + kHeaderEntries - 1) / per_page == (last + kHeaderEntries - 1) / per_page) {
    return;
  }
  layer->released_at = frames;
  for (int i = 0; i < LayerFile::kNotedRegions; ++i) {
    const auto region = reinterpret_cast<std::int64_t>(layer->regions[i]);
    if (region == 0) continue;
    const std::int64_t capacity = layer->region_bytes / 8;  // frames a region indexes
    const std::int64_t before = i == 0 ? 0 : capacity - kHeaderEntries + capacity * (i - 1);
    const std::int64_t indexed =
        std::clamp<std::int64_t>(frames - before, 0, i == 0 ? capacity - kHeaderEntries : capacity);
    // Every transaction reads the header (and the readers' marks after it);
    // one looking for a page in the log reads the page numbers of its frames
    // and the hash table.
    const std::int64_t kept = (i == 0 ? kHeaderEntries * 4 : 0) + indexed * 4;
    const std::int64_t from = (region + kept + page - 1) / page * page;
    const std::int64_t to =
        (region + (indexed > 0 ? layer->region_bytes / 2 : layer->region_bytes)) / page * page;
    if (from < to) {
      ::madvise(reinterpret_cast<void*>(from), static_cast<std::size_t>(to - from), MADV_DONTNEED);
    }
  }
}

}  // namespace brivos::internal
