#pragma once

// Shared by the benchmark programs: a console reporter that also prints the
// ratio of each library benchmark to its raw sqlite3 twin, as the median
// over repetitions of wall time and of CPU time, and the run settings that
// make those medians steady.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace brivos::bench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // Pairs of (library benchmark, raw benchmark) names to compare.
  explicit RatioReporter(std::vector<std::pair<std::string, std::string>> pairs)
      : pairs_(std::move(pairs)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
        wall_[run.run_name.function_name].push_back(run.GetAdjustedRealTime());
        cpu_[run.run_name.function_name].push_back(run.GetAdjustedCPUTime());
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const auto& [lib, raw] : pairs_) {
      if (!wall_.count(lib) || !wall_.count(raw)) continue;
      std::printf("ratio %s / %s: wall %.2fx, cpu %.2fx (medians of %zu runs)\n", lib.c_str(),
                  raw.c_str(), Median(wall_[lib]) / Median(wall_[raw]),
                  Median(cpu_[lib]) / Median(cpu_[raw]), wall_[lib].size());
    }
  }

 private:
  static double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
  }

  std::vector<std::pair<std::string, std::string>> pairs_;
  std::map<std::string, std::vector<double>> wall_;
  std::map<std::string, std::vector<double>> cpu_;
};

// Runs the registered benchmarks with `reporter`: by default 5 repetitions in
// random interleaving, so that disk and machine load fall on both sides of
// each comparison alike. Flags given on the command line take precedence.
inline int RunWithRatios(int argc, char** argv, RatioReporter& reporter) {
  std::vector<char*> args(argv, argv + argc);
  std::string repetitions = "--benchmark_repetitions=5";
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, {repetitions.data(), interleave.data()});
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

}  // namespace brivos::bench
