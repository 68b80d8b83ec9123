#include "server/Metrics.hpp"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <chrono>
#include <mutex>

#include "brivos/brivos.hpp"
#include "brivos/database/OutcomeUnknown.hpp"

namespace brivos::server {

namespace {

constexpr double kRequestBounds[] = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1,
                                     0.25,  0.5,    1,     2.5,  5,     10};
constexpr double kInvoiceRunBounds[] = {0.01, 0.05, 0.1, 0.5, 1, 5, 10, 30, 60, 300};
constexpr std::string_view kSignInRoute = "/v1/accounts/{account}/sessions";

std::string Number(double value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

// A label value in quotes: backslash, double quote and line feed escaped.
std::string Quoted(std::string_view value) {
  std::string out = "\"";
  for (const char c : value) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out + "\"";
}

void Family(std::string& out, std::string_view name, std::string_view type, std::string_view help) {
  out.append("# HELP ").append(name).append(" ").append(help).append("\n");
  out.append("# TYPE ").append(name).append(" ").append(type).append("\n");
}

void Sample(std::string& out, std::string_view name, std::string_view labels, double value) {
  out.append(name);
  if (!labels.empty()) out.append("{").append(labels).append("}");
  out.append(" ").append(Number(value)).append("\n");
}

// Methods outside the standard ones are counted together: a client picks the
// method's text, and each text would be a series of its own.
std::string_view MethodLabel(std::string_view method) {
  for (const std::string_view known :
       {"GET", "HEAD", "POST", "PUT", "PATCH", "DELETE", "OPTIONS"}) {
    if (method == known) return known;
  }
  return "other";
}

bool IsInvoiceRun(std::string_view class_name, std::string_view member) {
  if (!EqualsIgnoreCase(class_name, "CInvoiceMgr")) return false;
  return std::any_of(std::begin(kInvoiceRunMembers), std::end(kInvoiceRunMembers),
                     [&](const char* run) { return EqualsIgnoreCase(member, run); });
}

}  // namespace

Histogram::Histogram(std::span<const double> bounds)
    : bounds_(bounds.begin(), bounds.end()),
      counts_(std::make_unique<std::atomic<std::uint64_t>[]>(bounds.size() + 1)) {}

void Histogram::Observe(double seconds) {
  std::size_t bucket = 0;
  while (bucket < bounds_.size() && seconds > bounds_[bucket]) ++bucket;
  counts_[bucket].fetch_add(1, std::memory_order_relaxed);
  sum_.fetch_add(seconds, std::memory_order_relaxed);
  count_.fetch_add(1, std::memory_order_relaxed);
}

void Histogram::Render(std::string& out, std::string_view name, std::string_view labels) const {
  const std::string bucket = std::string(name) + "_bucket";
  std::uint64_t cumulative = 0;
  for (std::size_t i = 0; i <= bounds_.size(); ++i) {
    cumulative += counts_[i].load(std::memory_order_relaxed);
    const std::string le = i < bounds_.size() ? Number(bounds_[i]) : "+Inf";
    Sample(out, bucket, std::string(labels) + "le=" + Quoted(le), static_cast<double>(cumulative));
  }
  // Without the trailing comma: the pairs stand alone.
  const std::string_view own = labels.empty() ? labels : labels.substr(0, labels.size() - 1);
  Sample(out, std::string(name) + "_sum", own, sum_.load(std::memory_order_relaxed));
  // The buckets' total, not count_: a scrape racing an observation stays consistent.
  Sample(out, std::string(name) + "_count", own, static_cast<double>(cumulative));
}

Metrics& Metrics::Instance() {
  static Metrics* const metrics = new Metrics();  // outlives the threads that observe
  return *metrics;
}

Metrics::Metrics() : invoice_run_seconds_(kInvoiceRunBounds) {}

Counter& Metrics::Requests(std::string_view method, std::string_view route, int status) {
  auto key = std::make_tuple(std::string(method), std::string(route), status);
  {
    std::shared_lock lock(mutex_);
    if (const auto found = requests_.find(key); found != requests_.end()) return *found->second;
  }
  std::unique_lock lock(mutex_);
  auto& counter = requests_[std::move(key)];
  if (!counter) counter = std::make_unique<Counter>();
  return *counter;
}

Histogram& Metrics::Latency(std::string_view route) {
  {
    std::shared_lock lock(mutex_);
    if (const auto found = latency_.find(route); found != latency_.end()) return *found->second;
  }
  std::unique_lock lock(mutex_);
  auto& histogram = latency_[std::string(route)];
  if (!histogram) histogram = std::make_unique<Histogram>(kRequestBounds);
  return *histogram;
}

void Metrics::ObserveRequest(std::string_view method, std::string_view route, int status,
                             double seconds) {
  if (route.empty()) route = "none";
  method = MethodLabel(method);
  Requests(method, route, status).Add();
  Latency(route).Observe(seconds);
  if (route == kSignInRoute && method == "POST") {
    if (status == 401) sign_ins_refused_.Add();
    if (status == 429) sign_ins_throttled_.Add();
  }
}

Variant Metrics::Invoke(std::string_view class_name, std::string_view member,
                        const std::function<Variant()>& call) {
  if (!IsInvoiceRun(class_name, member)) return call();
  const auto started = std::chrono::steady_clock::now();
  const auto observe = [&](Counter& outcome) {
    outcome.Add();
    invoice_run_seconds_.Observe(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  };
  try {
    Variant result = call();
    observe(invoice_runs_ok_);
    return result;
  } catch (const Error& e) {
    // A run whose last commit went unanswered is neither done nor failed.
    observe(e.Number() == errnum::kDbOutcomeUnknown ? invoice_runs_unknown_ : invoice_runs_failed_);
    throw;
  } catch (...) {
    observe(invoice_runs_failed_);
    throw;
  }
}

std::string Metrics::Render() const {
  std::string out;
  {
    std::shared_lock lock(mutex_);
    Family(out, "brivos_http_requests_total", "counter",
           "HTTP requests answered, by method, route template and status.");
    for (const auto& [key, counter] : requests_) {
      const auto& [method, route, status] = key;
      Sample(out, "brivos_http_requests_total",
             "method=" + Quoted(method) + ",route=" + Quoted(route) +
                 ",status=" + Quoted(std::to_string(status)),
             static_cast<double>(counter->Value()));
    }
    Family(out, "brivos_http_request_duration_seconds", "histogram",
           "Time from a request's first byte to the end of its answer, by route template.");
    for (const auto& [route, histogram] : latency_) {
      histogram->Render(out, "brivos_http_request_duration_seconds",
                        "route=" + Quoted(route) + ",");
    }
  }
  Family(out, "brivos_http_open_connections", "gauge", "HTTP connections open now.");
  Sample(out, "brivos_http_open_connections", "",
         static_cast<double>(open_connections_.load(std::memory_order_relaxed)));
  Family(out, "brivos_sign_ins_refused_total", "counter",
         "Sign-ins refused for a wrong user name or password.");
  Sample(out, "brivos_sign_ins_refused_total", "", static_cast<double>(sign_ins_refused_.Value()));
  Family(out, "brivos_sign_ins_throttled_total", "counter",
         "Sign-ins turned away after too many refusals.");
  Sample(out, "brivos_sign_ins_throttled_total", "",
         static_cast<double>(sign_ins_throttled_.Value()));
  Family(out, "brivos_invoice_runs_total", "counter", "Invoice runs, by result.");
  Sample(out, "brivos_invoice_runs_total", "result=\"ok\"",
         static_cast<double>(invoice_runs_ok_.Value()));
  Sample(out, "brivos_invoice_runs_total", "result=\"error\"",
         static_cast<double>(invoice_runs_failed_.Value()));
  Sample(out, "brivos_invoice_runs_total", "result=\"unknown\"",
         static_cast<double>(invoice_runs_unknown_.Value()));
  Family(out, "brivos_invoice_run_duration_seconds", "histogram", "How long invoice runs take.");
  invoice_run_seconds_.Render(out, "brivos_invoice_run_duration_seconds", "");

  PoolStatistics pool;
  try {
    pool = ConnectionPoolStatistics();
  } catch (const Error&) {
    return out;  // no backend could be chosen: no pool to describe
  }
  Family(out, "brivos_pool_files", "gauge", "Subscriber databases with idle connections kept.");
  Sample(out, "brivos_pool_files", "", static_cast<double>(pool.files));
  Family(out, "brivos_pool_connections", "gauge", "Pooled database connections, by state.");
  Sample(out, "brivos_pool_connections", "state=\"idle\"",
         static_cast<double>(pool.idle_connections));
  Sample(out, "brivos_pool_connections", "state=\"in_use\"",
         static_cast<double>(pool.open_connections - pool.idle_connections));
  Family(out, "brivos_pool_connections_max", "gauge",
         "Open database connections at most, as the pool's bounds now allow.");
  Sample(out, "brivos_pool_connections_max", "", static_cast<double>(pool.max_connections));
  Family(out, "brivos_pool_evictions_total", "counter",
         "Idle database connections closed to stay within the pool's bounds.");
  Sample(out, "brivos_pool_evictions_total", "", static_cast<double>(pool.evictions));
  return out;
}

Response MetricsResponse() {
  Response r;
  r.content_type = "text/plain; version=0.0.4; charset=utf-8";
  r.body = Metrics::Instance().Render();
  r.route = "/metrics";
  return r;
}

}  // namespace brivos::server
