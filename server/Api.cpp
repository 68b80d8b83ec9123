#include "server/Api.hpp"

#include <algorithm>

#include "brivos/database/Database.hpp"
#include "server/Metrics.hpp"
#include "server/Problem.hpp"
#include "server/Routes.hpp"
#include "server/StaticFiles.hpp"

namespace brivos::server {

Api::Api(Config config)
    : config_(std::move(config)),
      tenants_(config_.data_dir),
      calls_([](const app::Target& target, const std::function<Variant()>& call) {
        return Metrics::Instance().Invoke(target.info->Name(), target.member->name, call);
      }),
      auth_(app::SessionPolicy{
          static_cast<double>(config_.session_max_age.count()),
          static_cast<double>(config_.session_idle.count()),
          SignInLimits{config_.sign_ins_per_address, config_.sign_ins_per_user}}) {}

Response Api::Handle(const Request& request) {
  // A report statement of a client reads passwords and tokens as NULL.
  const SecretColumnsHidden hidden;
  // The caller's checks and the calls share one session of the firm.
  const ConnectionScope scope;
  Context context(request, calls_);
  std::string route;
  Response response;
  try {
    response = Dispatch(context, request, route);
  } catch (const HttpError& e) {
    response = Problem(e);
  } catch (const app::TooManyAttempts& e) {
    response = Problem(TooManyAttempts(e));
  } catch (const app::Refused& e) {
    response = Problem(e);
  } catch (const Error& e) {
    response = Problem(e, StatusOf(app::RefusalOf(e)));
  } catch (const json::BadInput& e) {
    response = Problem(400, e.what());
  } catch (const std::exception&) {
    response = Problem(500, "the request failed unexpectedly");
  }
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
      return ServeStatic(config_.web_root, c.path_);
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
  return route->handler(c);
}

}  // namespace brivos::server
