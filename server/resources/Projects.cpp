// Projects, their tasks, and clients.

#include "server/Routes.hpp"

namespace brivos::server::resources {

Response Projects(Context& c) {
  return c.Page(Public(c.Call("CProjectMgr", "GetProjects", {Variant(0)})));
}

Response Project(Context& c) {
  return PublicResponse(200, c.Call("CProjectMgr", "GetProject", {ParseId(c.Params()[1])}));
}

Response ProjectTasks(Context& c) {
  return c.Page(
      Public(c.Call("CProjectMgr", "GetProjTasksAlphaSort", {ParseId(c.Params()[1])})));
}

Response Clients(Context& c) { return c.Page(Public(c.Call("CCIMgr", "GetAllCustomers", {}))); }

}  // namespace brivos::server::resources
