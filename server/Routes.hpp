#pragma once

// The service's routes as data: each with its method and path, who may
// call it, the library methods its handler calls, whether it pages, its
// body and its answers. The table drives dispatch, the OpenAPI document and
// the labels the metrics count requests under; nothing else lists a route.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/Calls.hpp"
#include "server/Http.hpp"

namespace brivos::server {

class Auth;

// What a handler is given: the whole request, its path parameters and
// query, the firm and the signed-in caller (for routes that need one), and
// the one call path into the library.
class Context {
 public:
  Context(const Request& request, const app::CallPath& calls) : request_(request), calls_(calls) {}

  const Request& Req() const { return request_; }
  const std::string& Path() const { return path_; }
  const std::vector<std::string>& Params() const { return params_; }
  const std::map<std::string, std::string>& Queries() const { return query_; }
  // The query parameter `name`, "" when absent.
  std::string Query(const std::string& name) const;
  Json Body() const { return BodyObject(request_.body); }

  const app::Tenant& Firm() const { return *tenant_; }
  const app::Principal& Caller() const { return *caller_; }
  Auth& Sessions() const { return *auth_; }

  // The caller's call of Class.Member with the arguments after the
  // session's in order; access and ownership are checked.
  Variant Call(std::string_view class_name, std::string_view member, std::vector<Variant> rest) const;
  // The same with arguments by name from a JSON object.
  Variant CallNamed(std::string_view class_name, std::string_view member, const Json& named,
                    bool missing_is_empty = false) const;
  // A typed call whose late-bound result is generic rows: checked as Call
  // checks, then `call(account, user, token)`.
  template <class F>
  auto Typed(std::string_view class_name, std::string_view member, F&& call) const {
    return calls_.Typed(*caller_, class_name, member, std::forward<F>(call));
  }

  // The call path itself, for work that goes on after the handler returns
  // (the rest of an export), which calls it with a copy of the caller.
  const app::CallPath& Calls() const { return calls_; }

  // A page of `items`, see Paged.
  Response Page(const Json& items) const { return Paged(items, path_, query_); }

 private:
  friend class Api;
  const Request& request_;
  const app::CallPath& calls_;
  std::string path_;
  std::vector<std::string> params_;
  std::map<std::string, std::string> query_;
  const app::Tenant* tenant_ = nullptr;
  const app::Principal* caller_ = nullptr;
  Auth* auth_ = nullptr;
};

using Handler = Response (*)(Context&);

enum class Scope {
  kService,  // under /v1 (or /metrics), no firm
  kFirm,     // under /v1/accounts/{account}
};

struct Route {
  const char* method;  // "get"
  const char* path;    // "/me", under the scope's prefix
  Scope scope;
  // Who may call it: false for sign-in and the service's own routes.
  bool authenticated;
  // The library methods the handler calls ("CProjectMgr.GetTransaction"),
  // each checked against its declared access when called. The route's
  // access is the strictest of them.
  std::vector<const char*> calls;
  const char* summary;
  int success;  // 200, 201, 204
  bool paged = false;
  bool body = false;          // takes a JSON object
  bool may_be_empty = false;  // may answer 204 instead of `success`
  bool html = false;          // answers text/html for Accept: text/html
  bool documents = false;     // answers a PDF and a UBL invoice for their Accept
  bool csv = false;           // answers text/csv (RFC 4180), for Accept: text/csv
  bool io_thread = false;     // answered on the I/O thread (the metrics)
  Handler handler = nullptr;

  // "/v1/accounts/{account}/me"
  std::string Template() const;
};

const std::vector<Route>& Routes();

// The access of a route: the strictest of its calls' declared access; any
// signed-in user for a route that calls nothing.
Access AccessOf(const Route& route);

// The route that answers `method` on `path` ("/v1/accounts/A100/me"), its
// path parameters ({account} first for a firm's route) in `params`; nullptr
// when none does. `allow` gets the methods the path does have ("GET, HEAD")
// when its method is not one of them.
const Route* FindRoute(std::string_view method, std::string_view path,
                       std::vector<std::string>& params, std::string& allow);

// Handlers, one file per resource under server/resources/.
namespace resources {
Response Health(Context&);
Response OpenApi(Context&);
Response MetricsText(Context&);
Response SignIn(Context&);
Response SignOut(Context&);
Response Call(Context&);
Response Me(Context&);
Response ValueSets(Context&);
Response Projects(Context&);
Response Project(Context&);
Response ProjectTasks(Context&);
Response TimeEntries(Context&);
Response AddTimeEntry(Context&);
Response TimeEntry(Context&);
Response PatchTimeEntry(Context&);
Response DeleteTimeEntry(Context&);
Response TimeEntryStatus(Context&);
Response Timer(Context&);
Response TimerStart(Context&);
Response TimerPause(Context&);
Response TimerRestart(Context&);
Response TimerStop(Context&);
Response Expenses(Context&);
Response AddExpense(Context&);
Response PatchExpense(Context&);
Response DeleteExpense(Context&);
Response ApproveExpense(Context&);
Response SubmitWeek(Context&);
Response ReturnedSlips(Context&);
Response ReturnTimeEntry(Context&);
Response Approvals(Context&);
Response Clients(Context&);
Response Invoices(Context&);
Response Invoice(Context&);
Response Preview(Context&);
Response InvoiceRun(Context&);
Response Settings(Context&);
Response PutSettings(Context&);
// The firm's set-up and an invoice's life (Setup.cpp).
Response Firm(Context&);
Response PatchFirm(Context&);
Response Users(Context&);
Response AddUser(Context&);
Response PatchUser(Context&);
Response ChangePassword(Context&);
Response ClientById(Context&);
Response AddClient(Context&);
Response PatchClient(Context&);
Response DeleteClient(Context&);
Response TaxCodes(Context&);
Response TaxCode(Context&);
Response AddTaxCode(Context&);
Response PatchTaxCode(Context&);
Response DeleteTaxCode(Context&);
Response AddProject(Context&);
Response PatchProject(Context&);
Response DeleteProject(Context&);
Response AddTask(Context&);
Response PatchTask(Context&);
Response DeleteTask(Context&);
Response ProjectStaff(Context&);
Response AddStaff(Context&);
Response PatchStaff(Context&);
Response DeleteStaff(Context&);
Response PatchInvoice(Context&);
Response DeleteInvoice(Context&);
// Reports and exports (Reports.cpp).
Response HoursReport(Context&);
Response UnbilledReport(Context&);
Response InvoicedReport(Context&);
Response SlipsCsv(Context&);
// Slips and expenses as CSV, made as they are written (Exports.cpp).
Response ExpensesCsv(Context&);
// Whether the request asks for CSV (Accept: text/csv).
bool WantsCsv(const Context&);
}  // namespace resources

}  // namespace brivos::server
