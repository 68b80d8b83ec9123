#include "server/Api.hpp"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "brivos/database/Database.hpp"
#include "server/Metrics.hpp"
#include "server/Problem.hpp"
#include "server/Routes.hpp"
#include "server/StaticFiles.hpp"

namespace brivos::server {
namespace {

// One line on stderr for an answer of 500 or above: the method, the route's
// template (never the path's values nor a header, which may hold a token)
// and the first line of what failed, without the text of a rejected
// statement, which may be a client's own (a report).
void LogFailure(const std::string& method, const std::string& route, std::string failure) {
  constexpr std::size_t kLongest = 300;
  failure = failure.substr(0, failure.find_first_of("\r\n"));
  failure = failure.substr(0, failure.find(" in statement: "));
  if (failure.size() > kLongest) failure = failure.substr(0, kLongest) + "...";
  if (failure.empty()) failure = "no message";
  std::fprintf(stderr, "brivos serve: failed %s %s: %s\n", method.c_str(),
               route.empty() ? "-" : route.c_str(), failure.c_str());
}

}  // namespace

Api::Api(Config config)
    : config_(std::move(config)),
      tenants_(config_.data_dir),
      calls_([](const app::Target& target, const std::function<Variant()>& call) {
        return Metrics::Instance().Invoke(target.info->Name(), target.member->name, call);
      }),
      auth_(app::SessionPolicy{
          static_cast<double>(config_.session_max_age.count()),
          static_cast<double>(config_.session_idle.count()),
          SignInLimits{config_.sign_ins_per_address, config_.sign_ins_per_user}}),
      reports_(ReportTimeBudget()) {
  SetReportResultCeilings({config_.report_max_rows, config_.report_max_bytes});
}

Response Api::Handle(const Request& request) {
  // A report statement of a client reads passwords and tokens as NULL.
  const SecretColumnsHidden hidden;
  // The caller's checks and the calls share one session of the firm.
  const ConnectionScope scope;
  Context context(request, calls_);
  std::string route;
  Response response;
  std::string failure;  // what failed, for the log of a 500
  try {
    response = Dispatch(context, request, route);
  } catch (const HttpError& e) {
    response = Problem(e);
    failure = e.what();
  } catch (const app::TooManyAttempts& e) {
    response = Problem(TooManyAttempts(e));
  } catch (const app::Refused& e) {
    response = Problem(e);
    failure = e.what();
  } catch (const Error& e) {
    response = Problem(e, StatusOf(app::RefusalOf(e)));
    failure =
        "error " + std::to_string(e.Number()) + " from " + e.Source() + ": " + e.Description();
  } catch (const json::BadInput& e) {
    response = Problem(400, e.what());
  } catch (const std::exception& e) {
    response = Problem(500, "the request failed unexpectedly");
    failure = e.what();
  } catch (...) {
    response = Problem(500, "the request failed unexpectedly");
    failure = "an exception of no standard type";
  }
  if (response.status >= 500) LogFailure(request.method, route, failure);
  response.route = std::move(route);
  return response;
}

bool Api::AnswerOnIoThread(const Request& request, Response& response) const {
  // Asked of every request on the one I/O thread: the routes answered there
  // take no parameters, so their paths are compared before any route is
  // looked up.
  const std::string_view path =
      std::string_view(request.target).substr(0, request.target.find('?'));
  static const std::vector<std::string> here = [] {
    std::vector<std::string> paths;
    for (const Route& route : Routes()) {
      if (route.io_thread) paths.push_back(route.Template());
    }
    return paths;
  }();
  const bool listed =
      std::any_of(here.begin(), here.end(), [&](const std::string& p) { return path == p; });
  if (!listed) return false;
  std::vector<std::string> params;
  std::string allow;
  const Route* route = FindRoute(request.method, path, params, allow);
  if (route == nullptr || !route->io_thread) return false;
  Context context(request, calls_);
  response = route->handler(context);
  response.route = route->Template();
  return true;
}

Response Api::Dispatch(Context& c, const Request& request, std::string& route_template) {
  c.path_ = request.target.substr(0, request.target.find('?'));
  std::string allow;
  const Route* route = FindRoute(request.method, c.path_, c.params_, allow);
  if (route == nullptr) {
    if (!allow.empty()) {
      throw HttpError(405, request.method + " is not allowed on " + c.path_, {{"Allow", allow}});
    }
    if (!c.path_.starts_with("/v1/") && c.path_ != "/v1") {
      if (request.method != "GET" && request.method != "HEAD") {
        throw HttpError(405, "static files are read with GET", {{"Allow", "GET, HEAD"}});
      }
      route_template = "/{file}";
      return ServeStatic(config_.web_root, c.path_, request.Header("If-None-Match"),
                         request.Header("Accept-Encoding"));
    }
    throw HttpError(404, "no route " + c.path_);
  }
  route_template = route->Template();
  c.query_ = QueryOf(request.target);
  std::optional<app::Tenant> firm;
  std::optional<app::Principal> caller;
  if (route->scope == Scope::kFirm) {
    firm = tenants_.Find(c.params_.front());
    if (!firm) throw HttpError(404, "no such account");
    c.tenant_ = &*firm;
    if (route->authenticated) {
      caller =
          auth_.Authenticate(*firm, std::string(request.Header("Authorization")), request.peer);
      c.caller_ = &*caller;
      // Nothing of a route for administrators runs for anyone else, not
      // even its first reads; each call is checked again as it is made.
      if (!caller->admin && AccessOf(*route) == Access::kAdmin) {
        throw HttpError(403, std::string(route->path) + " is for administrators");
      }
    }
  }
  c.auth_ = &auth_;
  // Only an administrator may run one: anyone else's is refused by the call
  // path and takes no turn from the firm's administrators.
  std::optional<ReportTurn> turn;
  if (caller && caller->admin && IsReportStatement(request)) {
    turn.emplace(reports_, firm->account_no);
  }
  return route->handler(c);
}

namespace {

// The part of a POST's path after /v1/accounts/{account}, or nullopt.
std::optional<std::string_view> FirmPathOfPost(const Request& request) {
  if (request.method != "POST") return std::nullopt;
  std::string_view path = std::string_view(request.target).substr(0, request.target.find('?'));
  constexpr std::string_view kFirms = "/v1/accounts/";
  if (!path.starts_with(kFirms)) return std::nullopt;
  path.remove_prefix(kFirms.size());
  const std::size_t slash = path.find('/');
  if (slash == std::string_view::npos || slash == 0) return std::nullopt;
  return path.substr(slash);
}

}  // namespace

bool Api::IsReportStatement(const Request& request) {
  // Class and method names are found ignoring case.
  const std::optional<std::string_view> rest = FirmPathOfPost(request);
  return rest && EqualsIgnoreCase(*rest, "/call/CReportMgr/ExecReportQuery");
}

bool Api::IsSignIn(const Request& request) {
  const std::optional<std::string_view> rest = FirmPathOfPost(request);
  return rest && *rest == "/sessions";
}

}  // namespace brivos::server
