// Signing in and out, and the caller.

#include "server/Auth.hpp"
#include "server/Problem.hpp"
#include "server/Routes.hpp"

namespace brivos::server::resources {

Response SignIn(Context& c) {
  const Json body = c.Body();
  const auto text = [&body](const char* name) {
    const auto found = body.find(name);
    if (found == body.end() || !found->is_string()) {
      throw HttpError(400, std::string("the body needs \"") + name + "\" as text");
    }
    return found->get<std::string>();
  };
  const std::string user = text("UserName");
  std::string token;
  try {
    token = c.Sessions().SignIn(c.Firm(), user, text("Password"), c.Req().peer);
  } catch (const Error& e) {
    if (e.Number() != errCSecurityMgr::eInvalidUserInfo) throw;
    Response r = Problem(e, 401);
    r.headers = kBearerChallenge;
    return r;
  }
  Json out = Json::object();
  out["Token"] = token;
  out["UserName"] = user;
  return JsonResponse(201, out);
}

Response SignOut(Context& c) {
  c.Call("CSecurityMgr", "EndUserSession", {});
  return NoContent();
}

// The caller's own record, read when the session was checked: the same
// GetUserProfile answers, without reading it again.
Response Me(Context& c) {
  app::CallPath::CheckAccess(c.Caller(), app::FindTarget("CUserManager", "GetUserProfile"));
  return PublicResponse(200, c.Caller().record);
}

}  // namespace brivos::server::resources
