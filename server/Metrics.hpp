#pragma once

// The service's metrics, served at GET /metrics in Prometheus' text
// exposition format (version 0.0.4). Labels name route templates, methods,
// statuses and outcomes only, never an account, a user or a token, so that
// the set of series stays small and the page tells nobody who called.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <shared_mutex>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "server/Http.hpp"

namespace brivos {
class Variant;
}

namespace brivos::server {

// A count that only goes up. Thread-safe.
class Counter {
 public:
  void Add(std::uint64_t n = 1) { value_.fetch_add(n, std::memory_order_relaxed); }
  std::uint64_t Value() const { return value_.load(std::memory_order_relaxed); }

 private:
  std::atomic<std::uint64_t> value_{0};
};

// Observations in seconds, counted into fixed buckets. Thread-safe.
class Histogram {
 public:
  // `bounds`: the buckets' upper bounds, ascending; +Inf is added.
  explicit Histogram(std::span<const double> bounds);
  void Observe(double seconds);
  // Appends the _bucket, _sum and _count lines; `labels` is "" or
  // `name="value",` pairs ending in a comma.
  void Render(std::string& out, std::string_view name, std::string_view labels) const;

 private:
  std::vector<double> bounds_;
  std::unique_ptr<std::atomic<std::uint64_t>[]> counts_;  // per bucket, the last is +Inf
  std::atomic<std::uint64_t> count_{0};
  std::atomic<double> sum_{0};
};

class Metrics {
 public:
  // The process's metrics.
  static Metrics& Instance();

  // One answered request: `route` is the template that answered it
  // ("/v1/accounts/{account}/me"), "" when none did.
  void ObserveRequest(std::string_view method, std::string_view route, int status, double seconds);
  void SetOpenConnections(std::size_t open) {
    open_connections_.store(static_cast<std::int64_t>(open), std::memory_order_relaxed);
  }
  // Runs `call`, the method `member` of `class_name`, timing it when it is an
  // invoice run; returns what it returns and lets its error through.
  Variant Invoke(std::string_view class_name, std::string_view member,
                 const std::function<Variant()>& call);

  // Every metric, in the text exposition format.
  std::string Render() const;

 private:
  Metrics();
  Counter& Requests(std::string_view method, std::string_view route, int status);
  Histogram& Latency(std::string_view route);

  mutable std::shared_mutex mutex_;  // guards the maps; the values are atomic
  std::map<std::tuple<std::string, std::string, int>, std::unique_ptr<Counter>> requests_;
  std::map<std::string, std::unique_ptr<Histogram>, std::less<>> latency_;
  std::atomic<std::int64_t> open_connections_{0};
  Counter sign_ins_refused_;
  Counter sign_ins_throttled_;
  Counter invoice_runs_ok_;
  Counter invoice_runs_failed_;
  Counter invoice_runs_unknown_;  // the last commit's answer lost
  Histogram invoice_run_seconds_;
};

// The answer to GET /metrics.
Response MetricsResponse();

}  // namespace brivos::server
