#pragma once

// The service's requests and answers, apart from the network: the route
// table's dispatch, the firm of the path, the caller's session, and the
// one call path into the library. One Api serves every connection; its
// Handle runs on the worker pool and may block on the database.

#include "app/Calls.hpp"
#include "app/Tenants.hpp"
#include "server/Auth.hpp"
#include "server/Http.hpp"
#include "server/ReportTurns.hpp"
#include "server/Routes.hpp"
#include "server/Service.hpp"

namespace brivos::server {

class Api {
 public:
  explicit Api(Config config);
  Response Handle(const Request& request);
  // Answers a request whose route is answered on the I/O thread (it calls
  // no library method); false for any other.
  bool AnswerOnIoThread(const Request& request, Response& response) const;
  const Config& Settings() const { return config_; }
  // True for a client's report statement (POST
  // .../call/CReportMgr/ExecReportQuery): the service runs it apart from
  // the workers, which it could hold for its whole time budget. Looks at
  // the method and path only, so the I/O thread can ask.
  static bool IsReportStatement(const Request& request);
  // Whether the request signs in (POST /v1/accounts/{account}/sessions): the
  // service runs sign-ins apart from the workers too. Method and path only.
  static bool IsSignIn(const Request& request);

 private:
  Response Dispatch(Context& context, const Request& request, std::string& route);

  Config config_;
  app::Tenants tenants_;
  app::CallPath calls_;
  Auth auth_;
  ReportTurns reports_;
};

}  // namespace brivos::server
