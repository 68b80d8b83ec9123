// The floor of the service's HTTP cost: a bare Boost.Beast server on one I/O
// thread, as `brivos serve` has, answering every request with one fixed small
// JSON body over keep-alive connections. Server_bench drives it with the same
// wrk load as the service. Prints "listening on http://127.0.0.1:PORT" on
// stderr, listens on 127.0.0.1 only, and stops at SIGTERM or SIGINT.

#include <utility>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <cstdio>
#include <memory>

namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;

class Connection : public std::enable_shared_from_this<Connection> {
 public:
  explicit Connection(tcp::socket socket) : stream_(std::move(socket)) {}

  void Read() {
    request_ = {};
    http::async_read(stream_, buffer_, request_,
                     [self = shared_from_this()](beast::error_code ec, std::size_t) {
                       if (!ec) self->Answer();
                     });
  }

 private:
  void Answer() {
    response_ = {};
    response_.version(request_.version());
    response_.result(http::status::ok);
    response_.set(http::field::content_type, "application/json");
    response_.body() = R"({"status":"ok","service":"bare"})";
    response_.keep_alive(request_.keep_alive());
    response_.prepare_payload();
    http::async_write(stream_, response_,
                      [self = shared_from_this()](beast::error_code ec, std::size_t) {
                        if (!ec && self->response_.keep_alive()) self->Read();
                      });
  }

  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  http::request<http::string_body> request_;
  http::response<http::string_body> response_;
};

void Accept(tcp::acceptor& acceptor) {
  acceptor.async_accept([&acceptor](beast::error_code ec, tcp::socket socket) {
    if (!ec) std::make_shared<Connection>(std::move(socket))->Read();
    Accept(acceptor);
  });
}

}  // namespace

int main() {
  net::io_context ioc(1);
  tcp::acceptor acceptor(ioc, tcp::endpoint(net::ip::make_address("127.0.0.1"), 0));
  std::fprintf(stderr, "listening on http://127.0.0.1:%u\n",
               static_cast<unsigned>(acceptor.local_endpoint().port()));
  Accept(acceptor);
  net::signal_set stop(ioc, SIGTERM, SIGINT);
  stop.async_wait([&ioc](beast::error_code, int) { ioc.stop(); });
  ioc.run();
  return 0;
}
