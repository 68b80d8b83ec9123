// The network side of the service, as Boost.Beast's asynchronous servers are
// built: one object per connection owning its stream, a deadline before every
// read, the parser's limits set before the read, and the library's work
// posted to a pool of its own so that the I/O thread never waits on a
// database. A connection holds a worker only while its request runs.
//
// Clients cannot wear it down: the connections open at once are bounded, and
// a connection past the bound is answered 503 and closed, so that the
// descriptors the database files need stay free; an accept that fails for
// want of descriptors or memory is retried after a pause, not at once; no
// handler's exception ends the I/O loop; and a call still running at the
// shutdown deadline is interrupted, the process ending a second later at
// the latest.

#include <utility>
// (Asio's awaitable.hpp uses std::exchange without including <utility>.)
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "brivos/database/Database.hpp"
#include "server/Api.hpp"
#include "server/Metrics.hpp"
#include "server/Problem.hpp"
#include "server/Service.hpp"

namespace brivos::server {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using namespace std::chrono_literals;

constexpr std::size_t kBodyLimit = 1 << 20;
constexpr std::size_t kHeaderLimit = 16 * 1024;
constexpr auto kHeaderTimeout = 10s;  // from the first byte to the end of the header
constexpr auto kBodyTimeout = 30s;
constexpr auto kWriteTimeout = 30s;
// Threads that run sign-ins, apart from the workers.
constexpr std::size_t kSignInThreads = 2;
// After the shutdown grace, the interrupted calls have this long to end.
constexpr auto kLastChance = 1s;
// An accept that failed for want of descriptors or memory fails again if
// tried at once: the waiting connection stays queued until one is free.
constexpr auto kAcceptPause = 100ms;
// A client turned away has its answer written and what it sent read for at
// most this long.
constexpr auto kTurnAwayTimeout = 1s;
constexpr std::size_t kTurningAwayAtMost = 32;
// Descriptors of the service's own: standard streams, the acceptor, the
// reactor and its timers, static files being read.
constexpr std::size_t kOwnDescriptors = 32;
constexpr std::size_t kMaxConnectionsBound = 16384;

class Connection;
class TurnedAway;

// The answer of a connection past the ceiling, written whole.
std::string BusyAnswer() {
  const Response problem =
      Problem(503, "the service has as many connections open as it serves; try again shortly");
  return "HTTP/1.1 503 Service Unavailable\r\nServer: brivos\r\nContent-Type: " +
         problem.content_type +
         "\r\nRetry-After: 1\r\nContent-Length: " + std::to_string(problem.body.size()) +
         "\r\nConnection: close\r\n\r\n" + problem.body;
}

class Server {
 public:
  Server(const Config& config, net::io_context& ioc)
      : api_(config),
        ioc_(ioc),
        acceptor_(ioc),
        accept_pause_(ioc),
        sweep_(ioc),
        workers_(static_cast<std::size_t>(std::max(1, config.threads))),
        reports_(static_cast<std::size_t>(std::max(1, config.report_threads))),
        sign_ins_(kSignInThreads),
        max_connections_(std::max<std::size_t>(1, config.max_connections)),
        busy_answer_(BusyAnswer()) {}

  Api& Service() { return api_; }
  net::thread_pool& Workers() { return workers_; }
  // Where clients' report statements run (Api::IsReportStatement).
  net::thread_pool& ReportWorkers() { return reports_; }
  // Where sign-ins run: each writes the firm's sign-in count, and a flood of
  // refused ones at one firm waits on that firm's write turn there, not on
  // the workers every firm needs.
  net::thread_pool& SignInWorkers() { return sign_ins_; }
  bool Stopping() const { return stopping_; }

  void Listen(const std::string& host, std::uint16_t port) {
    const tcp::endpoint endpoint(net::ip::make_address(host), port);
    acceptor_.open(endpoint.protocol());
    acceptor_.set_option(net::socket_base::reuse_address(true));
    acceptor_.bind(endpoint);
    acceptor_.listen(net::socket_base::max_listen_connections);
    const tcp::endpoint bound = acceptor_.local_endpoint();
    std::fprintf(stderr, "brivos serve: listening on http://%s:%u\n",
                 bound.address().to_string().c_str(), static_cast<unsigned>(bound.port()));
    std::fflush(stderr);
    Accept();
    Sweep();
  }

  void Stop();
  void Track(const std::shared_ptr<Connection>& c) {
    std::lock_guard lock(mutex_);
    connections_.insert(c);
    Metrics::Instance().SetOpenConnections(connections_.size());
  }
  void Forget(const std::shared_ptr<Connection>& c) {
    std::lock_guard lock(mutex_);
    connections_.erase(c);
    Metrics::Instance().SetOpenConnections(connections_.size());
  }
  std::size_t Open() {
    std::lock_guard lock(mutex_);
    return connections_.size();
  }
  // Waits for the workers until `deadline`; false when some still run.
  bool DrainBy(std::chrono::steady_clock::time_point deadline) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    std::thread joiner([this, done] {
      workers_.join();
      reports_.join();
      sign_ins_.join();
      done->set_value();
    });
    if (finished.wait_until(deadline) == std::future_status::ready) {
      joiner.join();
      return true;
    }
    joiner.detach();
    return false;
  }

  const std::string& BusyAnswerText() const { return busy_answer_; }
  void TurnedAwayClosed() { --turning_away_; }

  // The access log, kept by the I/O thread: its lines are written once the
  // thread's round of ready handlers is done, so a busy service writes many
  // in one call and an idle one at once.
  void LogLine(std::string line) {
    log_ += line;
    if (log_posted_) return;
    log_posted_ = true;
    net::post(ioc_, [this] { FlushLog(); });
  }
  void FlushLog() {
    log_posted_ = false;
    if (log_.empty()) return;
    std::fwrite(log_.data(), 1, log_.size(), stderr);
    std::fflush(stderr);
    log_.clear();
  }

 private:
  void Accept();
  void Accepted(tcp::socket socket);
  void PauseAccepting(const beast::error_code& ec);
  void Sweep();
  void TurnAway(tcp::socket socket);

  Api api_;
  net::io_context& ioc_;
  tcp::acceptor acceptor_;
  net::steady_timer accept_pause_;
  net::steady_timer sweep_;
  net::thread_pool workers_;
  net::thread_pool reports_;
  net::thread_pool sign_ins_;
  const std::size_t max_connections_;
  const std::string busy_answer_;
  // Kept by the I/O thread.
  std::size_t turning_away_ = 0;
  bool at_ceiling_ = false;
  bool accept_failing_ = false;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::set<std::shared_ptr<Connection>> connections_;
  std::string log_;
  bool log_posted_ = false;
};

class Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(tcp::socket socket, Server& server) : stream_(std::move(socket)), server_(server) {}

  void Start() {
    // Answers are sent at once when the socket takes them whole (most do):
    // only the rest of one waits for the socket, under a timeout.
    beast::error_code ignored;
    stream_.socket().non_blocking(true, ignored);
    server_.Track(shared_from_this());
    net::dispatch(stream_.get_executor(), [self = shared_from_this()] { self->AwaitRequest(); });
  }

  // Closes the connection if it has waited for a request since before
  // `cutoff` (the server's sweep, on the I/O thread).
  void CloseIfIdleSince(std::chrono::steady_clock::time_point cutoff) {
    if (waiting_ && waiting_since_ < cutoff) Close();
  }

  // Closes the connection if it waits for a request; one that is busy closes
  // after its answer.
  void StopWhenIdle() {
    net::post(stream_.get_executor(), [self = shared_from_this()] {
      if (!self->busy_) self->Close();
    });
  }

 private:
  void AwaitRequest() {
    if (server_.Stopping()) return Close();
    parser_.emplace();
    parser_->header_limit(kHeaderLimit);
    parser_->body_limit(kBodyLimit);
    if (buffer_.size() > 0) return Received();
    // Idle until the first byte: no worker, only this small object. The
    // server's sweep closes it after the idle timeout; no timer is set per
    // request.
    waiting_ = true;
    waiting_since_ = std::chrono::steady_clock::now();
    stream_.socket().async_read_some(
        buffer_.prepare(4096), [self = shared_from_this()](beast::error_code ec, std::size_t n) {
          self->waiting_ = false;
          if (ec) return self->Close();
          self->buffer_.commit(n);
          self->Received();
        });
  }

  // The first bytes of a request are here. What the socket has delivered is
  // parsed at once: a request that came whole (most do) is run without
  // further read operations; the rest of one is read as it comes.
  void Received() {
    busy_ = true;
    started_ = std::chrono::steady_clock::now();
    beast::error_code ec;
    while (buffer_.size() > 0 && !parser_->is_done()) {
      const std::size_t used = parser_->put(buffer_.data(), ec);
      buffer_.consume(used);
      if (ec || used == 0) break;
    }
    if (ec == http::error::need_more) ec = {};
    if (ec) return Refuse(ec);
    if (parser_->is_done()) return Run();
    if (parser_->is_header_done()) return ReadBody();
    ReadHeader();
  }

  void ReadHeader() {
    stream_.expires_after(kHeaderTimeout);
    http::async_read_header(stream_, buffer_, *parser_,
                            [self = shared_from_this()](beast::error_code ec, std::size_t) {
                              if (ec) return self->Refuse(ec);
                              self->ReadBody();
                            });
  }

  void ReadBody() {
    auto& header = parser_->get();
    if (const auto length = parser_->content_length(); length && *length > kBodyLimit) {
      return Answer(Problem(413, "the body is larger than 1 MiB"), false);
    }
    if (beast::iequals(header[http::field::expect], "100-continue")) {
      static constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
      stream_.expires_after(kWriteTimeout);
      return net::async_write(stream_, net::buffer(kContinue.data(), kContinue.size()),
                              [self = shared_from_this()](beast::error_code ec, std::size_t) {
                                if (ec) return self->Close();
                                self->ReadRestOfBody();
                              });
    }
    ReadRestOfBody();
  }

  void ReadRestOfBody() {
    stream_.expires_after(kBodyTimeout);
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code ec, std::size_t) {
                       if (ec) return self->Refuse(ec);
                       self->Run();
                     });
  }

  // A request that could not be read: answered when the client can still
  // read an answer, else dropped.
  void Refuse(beast::error_code ec) {
    if (ec == http::error::body_limit) {
      return Answer(Problem(413, "the body is larger than 1 MiB"), false);
    }
    if (ec == http::error::header_limit) {
      return Answer(Problem(431, "the request header is too large"), false);
    }
    if (ec == beast::error::timeout || ec == http::error::end_of_stream || ec == net::error::eof ||
        ec == net::error::operation_aborted) {
      return Close();
    }
    Answer(Problem(400, "malformed HTTP request"), false);
  }

  void Run() {
    const auto& message = parser_->get();
    auto request = std::make_shared<Request>();
    request->method = std::string(message.method_string());
    request->target = std::string(message.target());
    for (const auto& field : message) {
      request->fields.emplace_back(field.name_string(), field.value());
    }
    request->body = message.body();
    if (peer_.empty()) {
      beast::error_code peer_ec;
      peer_ = stream_.socket().remote_endpoint(peer_ec).address().to_string();
    }
    request->peer = peer_;
    const bool keep = message.keep_alive();
    // A route the table marks so (the metrics) is answered here, not by a
    // worker: a scrape reads a busy service too.
    if (Response quick; server_.Service().AnswerOnIoThread(*request, quick)) {
      return Answer(std::move(quick), keep);
    }
    net::thread_pool& pool =
        Api::IsReportStatement(*request) ? server_.ReportWorkers()
        : Api::IsSignIn(*request)        ? server_.SignInWorkers()
                                         : server_.Workers();
    net::post(pool, [self = shared_from_this(), request, keep] {
      Response response;
      try {
        response = self->server_.Service().Handle(*request);
      } catch (...) {
        // Handle answers every failure itself; this is the last line before
        // the worker thread, where an exception would end the process.
        response = Response{};
        response.status = 500;
        response.content_type = "application/problem+json";
        response.body = R"({"type":"about:blank","title":"Internal Server Error","status":500,)"
                        R"("detail":"the request failed unexpectedly"})";
      }
      net::post(self->stream_.get_executor(),
                [self, response = std::move(response), keep]() mutable {
                  self->Answer(std::move(response), keep);
                });
    });
  }

  // The answer is written as its header text and its body, in one gather
  // write: Beast's serializer costs more than the few lines it would build.
  void Answer(Response r, bool keep) {
    const bool has_request = parser_ && parser_->is_header_done();
    method_ = has_request ? std::string(parser_->get().method_string()) : "-";
    path_ = has_request ? std::string(parser_->get().target()) : "-";
    if (const std::size_t q = path_.find('?'); q != std::string::npos) path_.resize(q);
    keep_ = keep && !server_.Stopping();
    status_ = r.status;
    route_ = std::move(r.route);
    head_ = "HTTP/1.1 " + std::to_string(r.status) + ' ';
    const auto reason = http::obsolete_reason(static_cast<http::status>(r.status));
    head_.append(reason.data(), reason.size());
    head_ += "\r\n";
    AddField("Server", "brivos");
    if (!r.content_type.empty()) AddField("Content-Type", r.content_type);
    for (const auto& [name, value] : r.headers) AddField(name, value);
    // No length and no body for 1xx, 204 and 304.
    const bool bodiless = r.status < 200 || r.status == 204 || r.status == 304;
    const bool streamed = !bodiless && r.more;
    // HTTP/1.0 knows no chunks: there the body ends where the connection does.
    chunked_ = streamed && !(has_request && parser_->get().version() < 11);
    if (streamed && !chunked_) keep_ = false;
    if (chunked_) {
      AddField("Transfer-Encoding", "chunked");
    } else if (!bodiless && !streamed) {
      AddField("Content-Length", std::to_string(r.body.size()));
    }
    if (!keep_) AddField("Connection", "close");
    head_ += "\r\n";
    // HEAD is answered as GET, Content-Length included, without the body.
    const bool head_only = has_request && parser_->get().method() == http::verb::head;
    body_ = bodiless || head_only ? std::string() : std::move(r.body);
    if (streamed && !head_only) {
      body_ = ChunkOf(body_);
      more_ = std::move(r.more);
    }
    std::array<net::const_buffer, 2> parts{net::buffer(head_), net::buffer(body_)};
    beast::error_code failed;
    const std::size_t sent = stream_.socket().write_some(parts, failed);
    if (failed == net::error::would_block || failed == net::error::try_again) failed = {};
    if (failed || sent == head_.size() + body_.size()) return Written(failed, true);
    parts[0] += std::min(sent, head_.size());
    parts[1] += sent - std::min(sent, head_.size());
    stream_.expires_after(kWriteTimeout);
    net::async_write(stream_, parts, [self = shared_from_this()](beast::error_code ec, std::size_t) {
      self->Written(ec, false);
    });
  }

  // The answer is out (or failed): the connection waits for the next
  // request. One written at once goes on through the loop, so that a long
  // run of requests the I/O thread answers itself cannot deepen the stack.
  void Written(beast::error_code ec, bool at_once) {
    if (more_ && !ec) return MakePart();
    more_ = nullptr;
    Log();
    busy_ = false;
    if (ec || !keep_) return Close();
    if (at_once && buffer_.size() > 0) {
      return net::post(stream_.get_executor(), [self = shared_from_this()] { self->AwaitRequest(); });
    }
    AwaitRequest();
  }

  // The next part of a body made as it is written, on a worker: the
  // connection waits for it holding nothing else, and writes it when it is
  // made. A service that stops ends the answer unfinished.
  void MakePart() {
    if (server_.Stopping()) return Abandon("the service stops");
    net::post(server_.Workers(), [self = shared_from_this()] {
      std::string part;
      bool going = false;
      std::string failure;
      try {
        going = self->more_(part);
      } catch (const std::exception& e) {
        failure = e.what();
      } catch (...) {
        failure = "an exception of no standard type";
      }
      net::post(self->stream_.get_executor(), [self, part = std::move(part), going,
                                               failure = std::move(failure)]() mutable {
        if (!failure.empty()) return self->Abandon(failure);
        self->body_ = self->ChunkOf(part);
        if (!going) {
          if (self->chunked_) self->body_ += "0\r\n\r\n";
          self->more_ = nullptr;
        }
        self->stream_.expires_after(kWriteTimeout);
        net::async_write(self->stream_, net::buffer(self->body_),
                         [self](beast::error_code ec, std::size_t) { self->Written(ec, false); });
      });
    });
  }

  // A body made as it is written that cannot go on: the connection closes
  // without its last chunk, so the client knows the answer is unfinished.
  void Abandon(const std::string& why) {
    more_ = nullptr;
    server_.LogLine("brivos serve: an answer of " + path_ + " ended unfinished: " +
                    why.substr(0, why.find_first_of("\r\n")).substr(0, 300) + '\n');
    status_ = 500;
    Log();
    busy_ = false;
    Close();
  }

  // `data` in the framing of chunked transfer coding (as it is for HTTP/1.0);
  // nothing for no data, as an empty chunk would end the body.
  std::string ChunkOf(const std::string& data) const {
    if (data.empty() || !chunked_) return data;
    char size[24];
    std::snprintf(size, sizeof size, "%zx\r\n", data.size());
    return size + data + "\r\n";
  }

  // A header line; a line break in a value would start a field of its own.
  void AddField(std::string_view name, std::string_view value) {
    head_ += name;
    head_ += ": ";
    for (const char c : value) head_ += c == '\r' || c == '\n' ? ' ' : c;
    head_ += "\r\n";
  }

  // One line per request: method, path, status, microseconds; never a token
  // or a body.
  void Log() const {
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now() - started_)
                            .count();
    server_.LogLine(method_ + ' ' + path_ + ' ' + std::to_string(status_) + ' ' +
                    std::to_string(micros) + '\n');
    Metrics::Instance().ObserveRequest(method_, route_, status_, static_cast<double>(micros) / 1e6);
  }

  void Close() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.close();
    server_.Forget(shared_from_this());
  }

  beast::tcp_stream stream_;
  Server& server_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  std::string head_, body_;
  // Makes the rest of the body being written, while it has more.
  std::function<bool(std::string&)> more_;
  bool chunked_ = false;  // the body being made goes out in chunks
  bool keep_ = false;
  bool busy_ = false;
  bool waiting_ = false;  // for a request, since waiting_since_
  std::chrono::steady_clock::time_point waiting_since_;
  std::chrono::steady_clock::time_point started_;
  std::string method_, path_, route_;
  std::string peer_;  // the client's address, read at its first request
  int status_ = 0;
};

// A connection past the ceiling: its answer is written at once and the
// connection closed. What the client sent is read and dropped until it
// closes or the timeout passes, as closing a socket with unread data resets
// the connection and the client could lose the answer.
class TurnedAway : public std::enable_shared_from_this<TurnedAway> {
 public:
  TurnedAway(tcp::socket socket, Server& server) : stream_(std::move(socket)), server_(server) {}

  void Start() {
    // One deadline for the write and every read after it.
    stream_.expires_after(kTurnAwayTimeout);
    const std::string& answer = server_.BusyAnswerText();
    net::async_write(stream_, net::buffer(answer),
                     [self = shared_from_this()](beast::error_code ec, std::size_t) {
                       if (ec) return self->Close();
                       beast::error_code ignored;
                       self->stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
                       self->Discard();
                     });
  }

 private:
  void Discard() {
    stream_.async_read_some(net::buffer(scratch_),
                            [self = shared_from_this()](beast::error_code ec, std::size_t) {
                              if (ec) return self->Close();
                              self->Discard();
                            });
  }

  void Close() {
    stream_.close();
    server_.TurnedAwayClosed();
  }

  beast::tcp_stream stream_;
  Server& server_;
  std::array<char, 2048> scratch_{};
};

void Server::Accept() {
  // One thread runs every connection's handlers, so none needs a strand of
  // its own; the workers only post to it.
  acceptor_.async_accept(ioc_, [this](beast::error_code ec, tcp::socket socket) {
    if (stopping_) return;
    // A client that left before its connection was taken costs nothing.
    if (ec == net::error::connection_aborted) return Accept();
    if (ec) return PauseAccepting(ec);
    if (accept_failing_) {
      accept_failing_ = false;
      LogLine("brivos serve: accepting connections again\n");
    }
    Accepted(std::move(socket));
    Accept();
  });
}

void Server::Accepted(tcp::socket socket) {
  if (Open() >= max_connections_) return TurnAway(std::move(socket));
  at_ceiling_ = false;
  std::make_shared<Connection>(std::move(socket), *this)->Start();
}

void Server::TurnAway(tcp::socket socket) {
  if (!at_ceiling_) {
    at_ceiling_ = true;
    LogLine("brivos serve: " + std::to_string(max_connections_) +
            " connections open, the most it serves; new ones are answered 503\n");
  }
  // Past this many a connection is closed unanswered: turning clients away
  // must not take the descriptors it protects.
  if (turning_away_ >= kTurningAwayAtMost) return;
  ++turning_away_;
  std::make_shared<TurnedAway>(std::move(socket), *this)->Start();
}

void Server::PauseAccepting(const beast::error_code& ec) {
  if (!accept_failing_) {
    accept_failing_ = true;
    LogLine("brivos serve: accepting a connection failed (" + ec.message() +
            "); trying again every " + std::to_string(kAcceptPause.count()) + " ms\n");
  }
  accept_pause_.expires_after(kAcceptPause);
  accept_pause_.async_wait([this](beast::error_code wait) {
    if (!wait && !stopping_) Accept();
  });
}

// Connections idle past the idle timeout are closed by one sweep every
// quarter of it (every second at most), not by a timer set per request.
void Server::Sweep() {
  const std::chrono::steady_clock::duration idle = api_.Settings().idle_timeout;
  sweep_.expires_after(std::clamp<std::chrono::steady_clock::duration>(idle / 4, 100ms, 1s));
  sweep_.async_wait([this, idle](beast::error_code ec) {
    if (ec || stopping_) return;
    std::vector<std::shared_ptr<Connection>> open;
    {
      std::lock_guard lock(mutex_);
      open.assign(connections_.begin(), connections_.end());
    }
    const auto cutoff = std::chrono::steady_clock::now() - idle;
    for (const auto& c : open) c->CloseIfIdleSince(cutoff);
    Sweep();
  });
}

void Server::Stop() {
  stopping_ = true;
  beast::error_code ignored;
  acceptor_.close(ignored);
  accept_pause_.cancel();
  sweep_.cancel();
  std::set<std::shared_ptr<Connection>> open;
  {
    std::lock_guard lock(mutex_);
    open = connections_;
  }
  for (const auto& c : open) c->StopWhenIdle();
}

}  // namespace

std::size_t DefaultMaxConnections() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return kMaxConnectionsBound;
  if (limit.rlim_cur < limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  if (limit.rlim_cur == RLIM_INFINITY) return kMaxConnectionsBound;
  const std::size_t soft = limit.rlim_cur;
  const std::size_t reserve = kOwnDescriptors + kTurningAwayAtMost + DatabaseDescriptorsAtMost();
  // A limit too low for the reserve still serves a few connections.
  const std::size_t left = soft > reserve ? soft - reserve : 0;
  return std::clamp<std::size_t>(std::max(left, soft / 8), 1, kMaxConnectionsBound);
}

int Serve(const Config& config) {
  Config settings = config;
  if (settings.max_connections == 0) settings.max_connections = DefaultMaxConnections();
  net::io_context ioc(1);
  Server server(settings, ioc);
  server.Listen(settings.host, settings.port);

  using Clock = std::chrono::steady_clock;
  net::signal_set signals(ioc, SIGINT, SIGTERM);
  net::steady_timer drain(ioc);
  // When the calls still running are interrupted; the process ends
  // kLastChance later at the latest.
  Clock::time_point deadline = Clock::time_point::max() - kLastChance;
  bool interrupted = false;
  std::function<void()> wait_for_requests = [&] {
    const auto now = Clock::now();
    if (server.Open() == 0) return ioc.stop();
    if (!interrupted && now >= deadline) {
      interrupted = true;
      server.LogLine("brivos serve: interrupting the calls still running\n");
      InterruptRunningStatements();
    }
    // The interrupted calls' answers are written meanwhile; the rest of the
    // last chance is the workers'.
    if (now >= deadline + kLastChance / 2) return ioc.stop();
    drain.expires_after(50ms);
    drain.async_wait([&](beast::error_code) { wait_for_requests(); });
  };
  signals.async_wait([&](beast::error_code ec, int) {
    if (ec) return;
    server.LogLine("brivos serve: stopping\n");
    deadline = Clock::now() + settings.shutdown_grace;
    server.Stop();
    wait_for_requests();
  });
  // A handler's exception leaves run(); the loop goes on with the others.
  for (;;) {
    try {
      ioc.run();
      break;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "brivos serve: a network handler failed: %s\n", e.what());
    } catch (...) {
      std::fprintf(stderr, "brivos serve: a network handler failed\n");
    }
  }
  server.FlushLog();
  if (!server.DrainBy(deadline + kLastChance)) {
    // SQLite and PostgreSQL both roll back a transaction its process left.
    std::fprintf(stderr, "brivos serve: calls still running; stopped without them\n");
    std::fflush(stderr);
    std::_Exit(0);
  }
  std::fprintf(stderr, "brivos serve: stopped\n");
  return 0;
}

}  // namespace brivos::server
