#pragma once

// Shared by the benchmark programs: a console reporter that also prints the
// ratio of each library benchmark to its raw sqlite3 twin.

#include <benchmark/benchmark.h>

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
        times_[run.run_name.function_name] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const auto& [lib, raw] : pairs_) {
      if (times_.count(lib) && times_.count(raw) && times_[raw] > 0) {
        std::printf("ratio %s / %s = %.2fx\n", lib.c_str(), raw.c_str(), times_[lib] / times_[raw]);
      }
    }
  }

 private:
  std::vector<std::pair<std::string, std::string>> pairs_;
  std::map<std::string, double> times_;
};

}  // namespace brivos::bench
