#pragma once

// The service's requests and answers, apart from the network: the route
// table's dispatch, the firm of the path, the caller's session, and the
// one call path into the library. One Api serves every connection; its
// Handle runs on the worker pool and may block on the database.

#include "app/Calls.hpp"
#include "app/Tenants.hpp"
#include "server/Auth.hpp"
#include "server/Http.hpp"
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

 private:
  Response Dispatch(Context& context, const Request& request, std::string& route);

  Config config_;
  app::Tenants tenants_;
  app::CallPath calls_;
  Auth auth_;
};

}  // namespace brivos::server
