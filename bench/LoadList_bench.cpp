// Loading the time slips of one project as IProjectTransaction records, from
// a subscriber holding 1,000,000 slips: a project of 1,000 slips and one of
// 100,000. Against plain sqlite3 running the same SELECT with a prepared
// statement and keeping every row as a vector of plain values. Besides time,
// each side's heap per record: what the result holds (heap in use while it
// is alive, less before) and what the call asked of operator new.

#include <malloc.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/BenchSupport.hpp"
#include "bench/PlainSqlite.hpp"

// Counting operator new, switched on only while a heap measurement runs, so
// the timed loops pay one relaxed load per allocation.
namespace {

std::atomic<bool> g_counting{false};
std::atomic<std::size_t> g_new_bytes{0};
std::atomic<std::size_t> g_new_calls{0};

// `p`, a block of `size` bytes just allocated, counted; a failure throws.
void* Counted(void* p, std::size_t size) {
  if (p == nullptr) throw std::bad_alloc();
  if (g_counting.load(std::memory_order_relaxed)) {
    g_new_bytes.fetch_add(size, std::memory_order_relaxed);
    g_new_calls.fetch_add(1, std::memory_order_relaxed);
  }
  return p;
}

void* Allocate(std::size_t size) { return Counted(std::malloc(size == 0 ? 1 : size), size); }

void* AllocateAligned(std::size_t size, std::align_val_t align) {
  const auto a = static_cast<std::size_t>(align);
  return Counted(std::aligned_alloc(a, (size + a - 1) / a * a), size);
}

void* AllocateNoThrow(std::size_t size) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return AllocateNoThrow(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return AllocateNoThrow(size);
}
void* operator new(std::size_t size, std::align_val_t align) {
  return AllocateAligned(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align) {
  return AllocateAligned(size, align);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace brivos::bench {
namespace {

// Bytes of the main heap in use, mapped blocks included: everything the
// process holds through malloc, sqlite3's page cache as well as C++ objects.
// The benchmarks measure on the main thread, whose arena this is.
double HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<double>(info.uordblks + info.hblkhd);
}

// Runs `load` (returning its result and the number of records in it) once to
// warm caches, then once more measured, and sets the per-record counters.
template <class Load>
void MeasureHeap(benchmark::State& state, Load&& load) {
  load();
  const double before = HeapInUse();
  g_new_bytes = 0;
  g_new_calls = 0;
  g_counting = true;
  auto [result, records] = load();
  g_counting = false;
  const double held = HeapInUse() - before;
  const double n = static_cast<double>(records);
  state.counters["held_B_per_rec"] = held / n;
  state.counters["new_B_per_rec"] = static_cast<double>(g_new_bytes.load()) / n;
  state.counters["news_per_rec"] = static_cast<double>(g_new_calls.load()) / n;
  benchmark::DoNotOptimize(result);
}

std::string Filter(std::int64_t project) { return "Parent=" + std::to_string(project); }

// A library benchmark of `load`: its heap measured, then its time.
template <class Load>
void LibraryLoad(benchmark::State& state, int slips, Load&& load) {
  try {
    MeasureHeap(state, load);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  LibraryLoop(state, [&] { benchmark::DoNotOptimize(load()); });
  state.SetItemsProcessed(state.iterations() * slips);
}

void Library(benchmark::State& state, const Subscriber* db, int slips) {
  const Variant where(Filter(db->SlipProject(slips)));
  LibraryLoad(state, slips, [&] {
    auto list = IProjectTransaction::LoadList(db->account(), Variant(), where);
    if (list->Count() != slips) throw std::runtime_error("wrong slip count");
    return std::pair(list, slips);
  });
}

// The database layer's share of the above: the same statement into a
// disconnected result set, no records made.
void LibraryRecordset(benchmark::State& state, const Subscriber* db, int slips) {
  const std::string sql =
      IProjectTransaction::Schema().select + " WHERE " + Filter(db->SlipProject(slips)) + ";";
  LibraryLoad(state, slips, [&] {
    auto rows = OpenRecordset(db->account(), sql);
    if (rows->RecordCount() != slips) throw std::runtime_error("wrong row count");
    return std::pair(rows, slips);
  });
}

void Plain(benchmark::State& state, const Subscriber* db, int slips) {
  const std::int64_t project = db->SlipProject(slips);
  PlainDb conn(db->file());
  PlainStatement select(conn, IProjectTransaction::Schema().select + " WHERE Parent=?;");
  auto load = [&] {
    select.Bind(1, project);
    std::vector<RawRow> rows = select.ReadAll();
    if (rows.size() != static_cast<std::size_t>(slips)) std::abort();
    return std::pair(std::move(rows), slips);
  };
  MeasureHeap(state, load);
  for (auto _ : state) benchmark::DoNotOptimize(load());
  state.SetItemsProcessed(state.iterations() * slips);
}

}  // namespace

Program ThisProgram() {
  return {
      {kLarge},
      [](const Subscriber& db) {
        for (int slips : {kSmallProjectSlips, kBigProjectSlips}) {
          const std::string size = slips == kBigProjectSlips ? "100k" : "1k";
          const Settings settings{.unit = slips > 10000 ? benchmark::kMillisecond
                                                        : benchmark::kMicrosecond};
          Twins("LoadList/" + size, settings, Library, Plain, &db, slips);
          Register("OpenRecordset/" + size + "/library", settings, LibraryRecordset, &db, slips);
        }
      },
      {
          Comparison::Time("LoadList 1k slips: library/plain", "LoadList/1k/library",
                           "LoadList/1k/plain"),
          Comparison::Time("LoadList 100k slips: library/plain", "LoadList/100k/library",
                           "LoadList/100k/plain", 1.5),
          Comparison::Time("OpenRecordset 100k slips (database layer): library/plain",
                           "OpenRecordset/100k/library", "LoadList/100k/plain"),
          Comparison::Value("LoadList 100k slips, library: heap held per record",
                            "LoadList/100k/library", "held_B_per_rec", 1024, "B"),
          Comparison::Value("LoadList 100k slips, plain: heap held per record",
                            "LoadList/100k/plain", "held_B_per_rec", 0, "B"),
          Comparison::Counter("LoadList 100k slips: heap held per record, library/plain",
                              "LoadList/100k/library", "LoadList/100k/plain", "held_B_per_rec"),
          Comparison::Counter("LoadList 100k slips: operator new bytes, library/plain",
                              "LoadList/100k/library", "LoadList/100k/plain", "new_B_per_rec"),
          Comparison::Counter("LoadList 100k slips: operator new calls, library/plain",
                              "LoadList/100k/library", "LoadList/100k/plain", "news_per_rec"),
          Comparison::Value("LoadList 1k slips, library: heap held per record",
                            "LoadList/1k/library", "held_B_per_rec", 0, "B"),
          Comparison::Value("LoadList 1k slips, plain: heap held per record", "LoadList/1k/plain",
                            "held_B_per_rec", 0, "B"),
      }};
}

}  // namespace brivos::bench
