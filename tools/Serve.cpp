// brivos serve [--db-dir DIR] [--listen HOST:PORT] [--threads N] [--session-max-age DURATION]
//              [--session-idle DURATION] [--idle-timeout DURATION]
//              [--sign-ins-per-address N] [--sign-ins-per-user N]
//              [--max-connections N] [--shutdown-grace DURATION]
//              [--report-threads N] [--report-max-rows N] [--report-max-bytes N]

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "server/Service.hpp"
#include "tools/Command.hpp"

namespace brivos::cli {
namespace {

struct ServeArgs {
  std::string listen = "127.0.0.1:8080";
  int threads = 4;
  std::string max_age = "12h";
  std::string session_idle = "30m";
  int per_address = 5;
  int per_user = 50;
  std::string idle = "60s";
  std::string web_root;
  long long max_connections = 0;
  std::string grace = "10s";
  int report_threads = 2;
  std::int64_t report_max_rows = ReportCeilings{}.rows;
  std::int64_t report_max_bytes = ReportCeilings{}.bytes;
};

// "90s", "30m", "12h", "2d" or plain seconds.
std::chrono::seconds ParseDuration(const std::string& option, const std::string& text) {
  std::size_t used = 0;
  long long count = -1;
  try {
    count = std::stoll(text, &used);
  } catch (const std::exception&) {
  }
  const std::string unit = text.substr(used);
  const long long scale = unit.empty() || unit == "s" ? 1
                          : unit == "m"               ? 60
                          : unit == "h"               ? 3600
                          : unit == "d"               ? 86400
                                                      : 0;
  if (count <= 0 || scale == 0) {
    throw BadInput(option + " needs a duration such as 12h, 30m or 90s, not '" + text + "'");
  }
  return std::chrono::seconds(count * scale);
}

int RunServe(const ServeArgs& in, const Options& options) {
  server::Config config;
  config.data_dir = options.db_dir.empty() ? "." : options.db_dir;
  const std::size_t colon = in.listen.rfind(':');
  int port = -1;
  try {
    if (colon != std::string::npos) port = std::stoi(in.listen.substr(colon + 1));
  } catch (const std::exception&) {
  }
  if (colon == std::string::npos || colon == 0 || port < 0 || port > 65535) {
    throw BadInput("--listen needs HOST:PORT such as 127.0.0.1:8080, not '" + in.listen + "'");
  }
  config.host = in.listen.substr(0, colon);
  config.port = static_cast<std::uint16_t>(port);
  if (in.threads < 1 || in.threads > 256) throw BadInput("--threads needs 1 to 256");
  config.threads = in.threads;
  if (in.report_threads < 1 || in.report_threads > 64) {
    throw BadInput("--report-threads needs 1 to 64");
  }
  config.report_threads = in.report_threads;
  if (in.report_max_rows < 1) throw BadInput("--report-max-rows needs a count of 1 or more");
  if (in.report_max_bytes < 1) throw BadInput("--report-max-bytes needs a size of 1 or more");
  config.report_max_rows = in.report_max_rows;
  config.report_max_bytes = in.report_max_bytes;
  config.session_max_age = ParseDuration("--session-max-age", in.max_age);
  config.session_idle = ParseDuration("--session-idle", in.session_idle);
  if (in.per_address < 1 || in.per_user < in.per_address) {
    throw BadInput("--sign-ins-per-address needs 1 or more, --sign-ins-per-user at least as many");
  }
  config.sign_ins_per_address = in.per_address;
  config.sign_ins_per_user = in.per_user;
  config.idle_timeout = ParseDuration("--idle-timeout", in.idle);
  config.web_root = in.web_root;
  if (in.max_connections < 0 || in.max_connections > 1000000) {
    throw BadInput("--max-connections needs 1 to 1000000, or 0 for the default");
  }
  config.max_connections = static_cast<std::size_t>(in.max_connections);
  config.shutdown_grace = ParseDuration("--shutdown-grace", in.grace);
#ifdef BRIVOS_WEB_ROOT
  if (config.web_root.empty() && std::filesystem::is_directory(BRIVOS_WEB_ROOT)) {
    config.web_root = BRIVOS_WEB_ROOT;
  }
#endif
  if (!std::filesystem::is_directory(config.data_dir)) {
    throw BadInput("the data directory '" + config.data_dir + "' does not exist");
  }
  return server::Serve(config);
}

}  // namespace

Command AddServeCommand(CLI::App& program, const Options& options) {
  auto in = std::make_shared<ServeArgs>();
  CLI::App* serve = program.add_subcommand(
      "serve",
      "Serve the library over HTTP as JSON, with bearer sessions (--db-dir names the "
      "data directory)");
  serve->add_option("--listen", in->listen, "HOST:PORT to listen on (port 0: any free port)")
      ->capture_default_str();
  serve->add_option("--threads", in->threads, "Workers running library calls")
      ->capture_default_str();
  serve
      ->add_option("--session-max-age", in->max_age,
                   "How long a session token stays valid after sign-in (90s, 30m, 12h, 2d)")
      ->capture_default_str();
  serve
      ->add_option("--session-idle", in->session_idle,
                   "How long a session token stays valid without a request")
      ->capture_default_str();
  serve
      ->add_option("--sign-ins-per-address", in->per_address,
                   "Refused sign-ins of one user name from one address within 5 minutes before "
                   "it is turned away (429)")
      ->capture_default_str();
  serve
      ->add_option("--sign-ins-per-user", in->per_user,
                   "Refused sign-ins of one user name from all addresses within 5 minutes before "
                   "it is turned away everywhere")
      ->capture_default_str();
  serve
      ->add_option("--idle-timeout", in->idle,
                   "How long a kept-alive connection may wait for its next request")
      ->capture_default_str();
  serve->add_option("--web-root", in->web_root, "Directory of the browser app served at /");
  serve
      ->add_option("--max-connections", in->max_connections,
                   "Client connections open at once; past it a new one is answered 503 (0: "
                   "what the descriptor limit leaves after the database's share)")
      ->capture_default_str();
  serve
      ->add_option("--shutdown-grace", in->grace,
                   "On SIGTERM, how long calls in flight may finish before they are interrupted")
      ->capture_default_str();
  serve
      ->add_option("--report-threads", in->report_threads,
                   "Threads running report statements, one per firm at a time, apart from the "
                   "workers")
      ->capture_default_str();
  serve
      ->add_option("--report-max-rows", in->report_max_rows,
                   "Rows a report statement may return before it is stopped (422)")
      ->capture_default_str();
  serve
      ->add_option("--report-max-bytes", in->report_max_bytes,
                   "Bytes of values a report statement may return before it is stopped (422)")
      ->capture_default_str();
  return {serve, [in, &options](const Extras&) { return RunServe(*in, options); }, false};
}

}  // namespace brivos::cli
