#pragma once

// Shared by the benchmark programs: their registration, their main, and the
// summary a run ends with, comparing benchmarks by the medians of their
// repetitions (wall time, CPU time, throughput or a counter), or giving one
// benchmark's time or counter, each beside the target the project sets for it.

#include <benchmark/benchmark.h>

#include <exception>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "bench/BenchData.hpp"
#include "brivos/brivos.hpp"

namespace brivos::bench {

// One line of the summary. Benchmarks are named as registered, with
// "/threads:N" when they run on several threads.
struct Comparison {
  enum class Kind {
    kTime,        // numerator / denominator, wall and CPU time per iteration
    kThroughput,  // numerator / denominator, iterations per wall second
    kCounter,     // numerator / denominator, of a counter
    kValue,       // the counter of the numerator alone
    kAbsolute,    // wall and CPU time per iteration of the numerator alone, in `unit`
  };
  Kind kind = Kind::kTime;
  std::string label;
  std::string numerator;
  std::string denominator;
  std::string counter;
  // 0: none; for kThroughput the least ratio, otherwise the most.
  double target = 0;
  const char* unit = "x";
  // kValue: the largest value over the runs instead of their median.
  bool worst = false;

  static Comparison Time(std::string label, std::string num, std::string den, double most = 0) {
    return {Kind::kTime, std::move(label), std::move(num), std::move(den), "", most};
  }
  static Comparison Throughput(std::string label, std::string num, std::string den,
                               double least = 0) {
    return {Kind::kThroughput, std::move(label), std::move(num), std::move(den), "", least};
  }
  static Comparison Counter(std::string label, std::string num, std::string den,
                            std::string counter, double most = 0) {
    return {Kind::kCounter, std::move(label),   std::move(num),
            std::move(den), std::move(counter), most};
  }
  static Comparison Value(std::string label, std::string run, std::string counter, double most,
                          const char* unit) {
    return {Kind::kValue, std::move(label), std::move(run), "", std::move(counter), most, unit};
  }
  static Comparison Worst(std::string label, std::string run, std::string counter, double most,
                          const char* unit) {
    Comparison c = Value(std::move(label), std::move(run), std::move(counter), most, unit);
    c.worst = true;
    return c;
  }
  // `unit` is "s", "ms" or "us"; `most` is in that unit.
  static Comparison Absolute(std::string label, std::string run, double most, const char* unit) {
    return {Kind::kAbsolute, std::move(label), std::move(run), "", "", most, unit};
  }
};

// How a benchmark runs; the defaults suit calls of microseconds.
struct Settings {
  benchmark::TimeUnit unit = benchmark::kMicrosecond;
  int iterations = 0;             // a fixed count per repetition; 0: as many as steady timing needs
  int repetitions = 0;            // a fixed count; 0: --benchmark_repetitions
  bool real_time = false;         // timed by the wall clock, as runs on several threads are
  std::vector<int> threads = {};  // the thread counts it runs on; none: one thread
};

// Gives a registered benchmark its settings.
void Apply(benchmark::internal::Benchmark* benchmark, const Settings& settings);
// Registers benchmark `name`: `run(state, args...)`.
template <class Run, class... Args>
void Register(const std::string& name, const Settings& settings, Run run, Args... args) {
  Apply(benchmark::RegisterBenchmark(name.c_str(), run, args...), settings);
}

// Registers a library benchmark and its plain twin, "<name>/library" and
// "<name>/plain", alike.
template <class Library, class Plain, class... Args>
void Twins(const std::string& name, const Settings& settings, Library library, Plain plain,
           Args... args) {
  Register(name + "/library", settings, library, args...);
  Register(name + "/plain", settings, plain, args...);
}

// What a benchmark program runs: this run's copy of the subscriber of each of
// `sizes`, the benchmarks `define` registers on each, and the summary of
// `comparisons` at the end. Every program defines ThisProgram; the main
// they share reads the flags (by default 7 repetitions in random
// interleaving, so that disk and machine load fall on both sides of each
// comparison alike; flags given on the command line take precedence), opens
// the subscribers, runs the benchmarks, prints the summary and calls `after`.
struct Program {
  std::vector<DataSize> sizes;
  std::function<void(const Subscriber&)> define;
  std::vector<Comparison> comparisons;
  std::function<void()> after = nullptr;
};
Program ThisProgram();

// The timed loop of a library benchmark: `call` once per iteration. An
// exception marks the run failed (its comparisons print why) and the
// remaining iterations do nothing, so that threads still meet at the end.
template <class Call>
void LibraryLoop(benchmark::State& state, Call&& call) {
  bool failed = false;
  for (auto _ : state) {
    if (failed) continue;
    try {
      call();
    } catch (const std::exception& e) {
      state.SkipWithError(e.what());
      failed = true;
    }
  }
}

// Any token: the managers take one and do not check it.
inline constexpr const char* kAnyToken = "0123456789ABCDEF0123456789ABCDEF";

// The collection a late-bound call returned; anything else fails the run.
inline std::shared_ptr<Collection> CollectionOf(const Variant& result) {
  auto list = std::dynamic_pointer_cast<Collection>(result.AsObject());
  if (!list) throw std::runtime_error("no collection");
  return list;
}

}  // namespace brivos::bench
