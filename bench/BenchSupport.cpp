#include "bench/BenchSupport.hpp"

#include <algorithm>
#include <cstdio>
#include <map>

namespace brivos::bench {
namespace {

// The console reporter, ending a run with the summary of its comparisons.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  explicit RatioReporter(std::vector<Comparison> comparisons)
      : comparisons_(std::move(comparisons)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration) continue;
      const std::string key = KeyOf(run);
      if (run.error_occurred) {
        errors_[key] = run.error_message;
        continue;
      }
      if (run.iterations == 0) continue;
      // In seconds, whatever unit each benchmark reports in.
      const double per_second = benchmark::GetTimeUnitMultiplier(run.time_unit);
      Samples& s = samples_[key];
      s.wall.push_back(run.GetAdjustedRealTime() / per_second);
      s.cpu.push_back(run.GetAdjustedCPUTime() / per_second);
      for (const auto& [name, counter] : run.counters) s.counters[name].push_back(counter.value);
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nSummary: medians over interleaved repetitions (n = runs per benchmark)\n");
    for (const Comparison& c : comparisons_) Print(c);
    std::fflush(stdout);
  }

 private:
  struct Samples {
    std::vector<double> wall;
    std::vector<double> cpu;
    std::map<std::string, std::vector<double>> counters;
  };

  static std::string KeyOf(const Run& run) {
    std::string key = run.run_name.function_name;
    if (!run.run_name.threads.empty()) key += "/" + run.run_name.threads;
    return key;
  }

  static double Median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
  }

  static std::string TargetText(double value, double target, bool least, const char* unit) {
    if (target == 0) return "";
    char text[96];
    std::snprintf(text, sizeof text, "target %s %.2f%s: %s", least ? ">=" : "<=", target, unit,
                  (least ? value >= target : value <= target) ? "met" : "NOT MET");
    return text;
  }

  // The samples of `name`, or nullptr after printing why there are none.
  const Samples* Find(const Comparison& c, const std::string& name) const {
    if (auto it = samples_.find(name); it != samples_.end()) return &it->second;
    auto error = errors_.find(name);
    std::printf("  %-66s n/a: %s %s\n", c.label.c_str(), name.c_str(),
                error != errors_.end() ? ("failed: " + error->second).c_str() : "did not run");
    return nullptr;
  }

  void Print(const Comparison& c) const {
    const Samples* num = Find(c, c.numerator);
    if (num == nullptr) return;
    const Samples* den = nullptr;
    if (c.kind != Comparison::Kind::kValue && c.kind != Comparison::Kind::kAbsolute) {
      den = Find(c, c.denominator);
      if (den == nullptr) return;
    }
    const std::size_t n = std::min(num->wall.size(), den ? den->wall.size() : num->wall.size());
    switch (c.kind) {
      case Comparison::Kind::kTime: {
        const double wall = Median(num->wall) / Median(den->wall);
        const double cpu = Median(num->cpu) / Median(den->cpu);
        // A target counts as met only when both measures meet it.
        std::printf("  %-66s wall %6.2fx  cpu %6.2fx  n=%zu  %s\n", c.label.c_str(), wall, cpu, n,
                    TargetText(std::max(wall, cpu), c.target, false, c.unit).c_str());
        break;
      }
      case Comparison::Kind::kAbsolute: {
        const std::string unit = c.unit;
        const double scale = unit == "s" ? 1 : unit == "ms" ? 1e3 : 1e6;
        const double wall = Median(num->wall) * scale;
        const double cpu = Median(num->cpu) * scale;
        std::printf("  %-66s wall %8.3f %s  cpu %8.3f %s  n=%zu  %s\n", c.label.c_str(), wall,
                    c.unit, cpu, c.unit, n,
                    TargetText(std::max(wall, cpu), c.target, false, c.unit).c_str());
        break;
      }
      case Comparison::Kind::kThroughput: {
        const double ratio = Median(den->wall) / Median(num->wall);
        std::printf("  %-66s throughput %6.2fx      n=%zu  %s\n", c.label.c_str(), ratio, n,
                    TargetText(ratio, c.target, true, c.unit).c_str());
        break;
      }
      case Comparison::Kind::kCounter:
      case Comparison::Kind::kValue: {
        auto a = num->counters.find(c.counter);
        if (a == num->counters.end()) {
          std::printf("  %-66s n/a: no counter %s\n", c.label.c_str(), c.counter.c_str());
          return;
        }
        const double value =
            c.worst ? *std::max_element(a->second.begin(), a->second.end()) : Median(a->second);
        if (c.kind == Comparison::Kind::kValue) {
          std::printf("  %-66s %8.*f %s  %s n=%zu  %s\n", c.label.c_str(), value < 100 ? 2 : 0,
                      value, c.unit, c.worst ? "worst of" : "median,", n,
                      TargetText(value, c.target, false, c.unit).c_str());
          return;
        }
        auto b = den->counters.find(c.counter);
        if (b == den->counters.end()) {
          std::printf("  %-66s n/a: no counter %s\n", c.label.c_str(), c.counter.c_str());
          return;
        }
        const double ratio = value / Median(b->second);
        std::printf("  %-66s %s %6.2fx  (%.0f / %.0f)  n=%zu  %s\n", c.label.c_str(),
                    c.counter.c_str(), ratio, value, Median(b->second), n,
                    TargetText(ratio, c.target, false, c.unit).c_str());
        break;
      }
    }
  }

  std::vector<Comparison> comparisons_;
  std::map<std::string, Samples> samples_;
  std::map<std::string, std::string> errors_;
};

}  // namespace

void Apply(benchmark::internal::Benchmark* benchmark, const Settings& settings) {
  benchmark->Unit(settings.unit);
  if (settings.iterations > 0) benchmark->Iterations(settings.iterations);
  if (settings.repetitions > 0) benchmark->Repetitions(settings.repetitions);
  for (int threads : settings.threads) benchmark->Threads(threads);
  if (settings.real_time) benchmark->UseRealTime();
}

}  // namespace brivos::bench

// Returns 1 when a flag is not understood.
int main(int argc, char** argv) {
  using namespace brivos::bench;
  std::vector<char*> args(argv, argv + argc);
  std::string repetitions = "--benchmark_repetitions=7";
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, {repetitions.data(), interleave.data()});
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  Program program = ThisProgram();
  std::vector<std::unique_ptr<Subscriber>> subscribers;
  for (const DataSize& size : program.sizes) {
    program.define(*subscribers.emplace_back(std::make_unique<Subscriber>(size)));
  }
  RatioReporter reporter(std::move(program.comparisons));
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  if (program.after) program.after();
  return 0;
}
