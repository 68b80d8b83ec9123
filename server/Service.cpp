// The network side of the service, as Boost.Beast's asynchronous servers are
// built: one object per connection owning its stream, a deadline before every
// read, the parser's limits set before the read, and the library's work
// posted to a pool of its own so that the I/O thread never waits on a
// database. A connection holds a worker only while its request runs.

#include <utility>
// (Asio's awaitable.hpp uses std::exchange without including <utility>.)
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

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
constexpr auto kDrainTimeout = 10s;  // requests in flight when asked to stop

class Connection;

class Server {
 public:
  Server(const Config& config, net::io_context& ioc)
      : api_(config),
        ioc_(ioc),
        acceptor_(ioc),
        workers_(static_cast<std::size_t>(std::max(1, config.threads))) {}

  Api& Service() { return api_; }
  net::thread_pool& Workers() { return workers_; }
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
  void Drain() { workers_.join(); }

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

  Api api_;
  net::io_context& ioc_;
  tcp::acceptor acceptor_;
  net::thread_pool workers_;
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
    server_.Track(shared_from_this());
    net::dispatch(stream_.get_executor(), [self = shared_from_this()] { self->AwaitRequest(); });
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
    // Idle until the first byte: no worker, only this small object.
    stream_.expires_after(server_.Service().Settings().idle_timeout);
    stream_.async_read_some(buffer_.prepare(4096),
                            [self = shared_from_this()](beast::error_code ec, std::size_t n) {
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
    if (header[http::field::expect] == "100-continue") {
      auto go = std::make_shared<http::response<http::empty_body>>(http::status::continue_, 11);
      http::write(stream_, *go);  // a few bytes into an idle socket buffer
    }
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
    beast::error_code peer_ec;
    request->peer = stream_.socket().remote_endpoint(peer_ec).address().to_string();
    const bool keep = message.keep_alive();
    // A route the table marks so (the metrics) is answered here, not by a
    // worker: a scrape reads a busy service too.
    if (Response quick; server_.Service().AnswerOnIoThread(*request, quick)) {
      return Answer(std::move(quick), keep);
    }
    net::post(server_.Workers(), [self = shared_from_this(), request, keep] {
      Response response = self->server_.Service().Handle(*request);
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
    if (!bodiless) AddField("Content-Length", std::to_string(r.body.size()));
    if (!keep_) AddField("Connection", "close");
    head_ += "\r\n";
    // HEAD is answered as GET, Content-Length included, without the body.
    const bool head_only = has_request && parser_->get().method() == http::verb::head;
    body_ = bodiless || head_only ? std::string() : std::move(r.body);
    stream_.expires_after(kWriteTimeout);
    const std::array<net::const_buffer, 2> parts{net::buffer(head_), net::buffer(body_)};
    net::async_write(stream_, parts, [self = shared_from_this()](beast::error_code ec, std::size_t) {
      self->Log();
      self->busy_ = false;
      if (ec || !self->keep_) return self->Close();
      self->AwaitRequest();
    });
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
  bool keep_ = false;
  bool busy_ = false;
  std::chrono::steady_clock::time_point started_;
  std::string method_, path_, route_;
  int status_ = 0;
};

void Server::Accept() {
  // One thread runs every connection's handlers, so none needs a strand of
  // its own; the workers only post to it.
  acceptor_.async_accept(ioc_, [this](beast::error_code ec, tcp::socket socket) {
    if (stopping_) return;
    if (!ec) std::make_shared<Connection>(std::move(socket), *this)->Start();
    Accept();
  });
}

void Server::Stop() {
  stopping_ = true;
  beast::error_code ignored;
  acceptor_.close(ignored);
  std::set<std::shared_ptr<Connection>> open;
  {
    std::lock_guard lock(mutex_);
    open = connections_;
  }
  for (const auto& c : open) c->StopWhenIdle();
}

}  // namespace

int Serve(const Config& config) {
  net::io_context ioc(1);
  Server server(config, ioc);
  server.Listen(config.host, config.port);

  net::signal_set signals(ioc, SIGINT, SIGTERM);
  net::steady_timer drain(ioc);
  const auto deadline = std::make_shared<std::chrono::steady_clock::time_point>();
  std::function<void()> wait_for_requests = [&] {
    if (server.Open() == 0 || std::chrono::steady_clock::now() >= *deadline) return ioc.stop();
    drain.expires_after(50ms);
    drain.async_wait([&](beast::error_code) { wait_for_requests(); });
  };
  signals.async_wait([&](beast::error_code ec, int) {
    if (ec) return;
    std::fprintf(stderr, "brivos serve: stopping\n");
    *deadline = std::chrono::steady_clock::now() + kDrainTimeout;
    server.Stop();
    wait_for_requests();
  });
  ioc.run();
  server.Drain();
  server.FlushLog();
  std::fprintf(stderr, "brivos serve: stopped\n");
  return 0;
}

}  // namespace brivos::server
