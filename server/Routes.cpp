#include "server/Routes.hpp"

#include <algorithm>

namespace brivos::server {

std::string Context::Query(const std::string& name) const {
  const auto found = query_.find(name);
  return found == query_.end() ? std::string() : found->second;
}

Variant Context::Call(std::string_view class_name, std::string_view member,
                      std::vector<Variant> rest) const {
  return calls_.Call(*caller_, class_name, member, std::move(rest));
}

Variant Context::CallNamed(std::string_view class_name, std::string_view member,
                           const Json& named, bool missing_is_empty) const {
  app::NamedArgs args;
  for (auto it = named.begin(); it != named.end(); ++it) {
    args.emplace_back(it.key(), json::FromJson(it.value()));
  }
  return calls_.CallNamed(*caller_, class_name, member, args, missing_is_empty);
}

std::string Route::Template() const {
  return (scope == Scope::kFirm ? std::string("/v1/accounts/{account}") : std::string()) + path;
}

const std::vector<Route>& Routes() {
  using namespace resources;
  // clang-format off
  static const std::vector<Route> routes = {
    {.method = "get", .path = "/v1/health", .scope = Scope::kService, .authenticated = false, .calls = {}, .summary = "Whether the service runs", .success = 200, .handler = Health},
    {.method = "get", .path = "/v1/openapi.json", .scope = Scope::kService, .authenticated = false, .calls = {}, .summary = "This document", .success = 200, .handler = OpenApi},
    {.method = "get", .path = "/metrics", .scope = Scope::kService, .authenticated = false, .calls = {}, .summary = "The service's metrics (Prometheus text)", .success = 200, .io_thread = true, .handler = MetricsText},
    {.method = "post", .path = "/sessions", .scope = Scope::kFirm, .authenticated = false, .calls = {"CSecurityMgr.BeginUserSession"}, .summary = "Sign in: a session token", .success = 201, .body = true, .handler = SignIn},
    {.method = "delete", .path = "/sessions/current", .scope = Scope::kFirm, .authenticated = true, .calls = {"CSecurityMgr.EndUserSession"}, .summary = "Sign out: end the caller's session", .success = 204, .handler = SignOut},
    {.method = "get", .path = "/me", .scope = Scope::kFirm, .authenticated = true, .calls = {"CUserManager.GetUserProfile"}, .summary = "The caller", .success = 200, .handler = Me},
    {.method = "get", .path = "/value-sets", .scope = Scope::kFirm, .authenticated = true, .calls = {}, .summary = "The value sets (slip statuses, expense and payment types, ...) and the rules the app applies", .success = 200, .handler = ValueSets},
    {.method = "get", .path = "/projects", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.GetProjects"}, .summary = "The subscriber's projects", .success = 200, .paged = true, .handler = Projects},
    {.method = "get", .path = "/projects/{id}", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.GetProject"}, .summary = "One project", .success = 200, .handler = Project},
    {.method = "get", .path = "/projects/{id}/tasks", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.GetProjTasksAlphaSort"}, .summary = "A project's tasks by name", .success = 200, .paged = true, .handler = ProjectTasks},
    {.method = "get", .path = "/time-entries", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.GetTransactionsForWeek", "CReportMgr.GetSlipRows"}, .summary = "The caller's slips from `from` to `to` (an administrator may add `userId`); as CSV for Accept: text/csv, the firm's for an administrator without `userId`", .success = 200, .paged = true, .csv = true, .handler = TimeEntries},
    {.method = "post", .path = "/time-entries", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.GetProject", "CProjectMgr.AddTransaction", "CProjectMgr.GetTransaction"}, .summary = "Add a slip (AddTransaction's arguments by name)", .success = 201, .body = true, .handler = AddTimeEntry},
    {.method = "get", .path = "/time-entries/{id}", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.GetTransaction"}, .summary = "One slip", .success = 200, .handler = TimeEntry},
    {.method = "patch", .path = "/time-entries/{id}", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.GetTransaction", "CProjectMgr.UpdateTransaction"}, .summary = "Change a slip (UpdateTransaction's arguments by name)", .success = 200, .body = true, .handler = PatchTimeEntry},
    {.method = "delete", .path = "/time-entries/{id}", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.DeleteTransaction"}, .summary = "Delete a slip", .success = 204, .handler = DeleteTimeEntry},
    {.method = "put", .path = "/time-entries/{id}/status", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.UpdateTransactionStatus", "CProjectMgr.GetTransaction"}, .summary = "Set a slip's status ({\"Status\": n})", .success = 200, .body = true, .handler = TimeEntryStatus},
    {.method = "get", .path = "/timer", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.GetActiveTransaction", "CProjectMgr.GetTransactionsForWeek"}, .summary = "The running or paused slip; 204 when there is none", .success = 200, .may_be_empty = true, .handler = Timer},
    {.method = "post", .path = "/timer/start", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.StartTransaction", "CProjectMgr.GetActiveTransaction"}, .summary = "Start the timer on a task ({\"TaskID\", \"Description\"})", .success = 201, .body = true, .handler = TimerStart},
    {.method = "post", .path = "/timer/pause", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.PauseActiveTransaction", "CProjectMgr.GetTransactionsForWeek"}, .summary = "Pause the running slip; 204 when none was running", .success = 200, .may_be_empty = true, .handler = TimerPause},
    {.method = "post", .path = "/timer/restart", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.RestartTransaction", "CProjectMgr.GetTransactionsForWeek", "CProjectMgr.GetActiveTransaction"}, .summary = "Restart a slip ({\"TransID\"}, the paused one by default)", .success = 200, .body = true, .handler = TimerRestart},
    {.method = "post", .path = "/timer/stop", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.StopActiveTransaction"}, .summary = "Stop the running slip", .success = 204, .handler = TimerStop},
    {.method = "get", .path = "/expenses", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.GetExpensesForUser", "CReportMgr.GetExpenseRows"}, .summary = "The caller's expenses; for Accept: text/csv those from `from` to `to` as CSV, the firm's for an administrator without `userId`", .success = 200, .paged = true, .csv = true, .handler = Expenses},
    {.method = "post", .path = "/expenses", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.AddStaffExpense", "CProjectMgr.GetExpense"}, .summary = "Add an expense of the caller (AddStaffExpense's arguments by name)", .success = 201, .body = true, .handler = AddExpense},
    {.method = "patch", .path = "/expenses/{id}", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.GetExpense", "CProjectMgr.UpdateStaffExpense"}, .summary = "Change an unapproved expense (UpdateStaffExpense's arguments by name)", .success = 200, .body = true, .handler = PatchExpense},
    {.method = "delete", .path = "/expenses/{id}", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.DeleteExpense"}, .summary = "Delete an unapproved expense", .success = 204, .handler = DeleteExpense},
    {.method = "put", .path = "/expenses/{id}/approval", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.ApproveExpense", "CProjectMgr.GetExpense"}, .summary = "Approve an expense at a markup ({\"Markup\": percent})", .success = 200, .body = true, .handler = ApproveExpense},
    {.method = "post", .path = "/week-submissions", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.SubmitWeek"}, .summary = "Submit the caller's week ({\"WeekDate\"}): its paused and entered slips become complete", .success = 200, .body = true, .handler = SubmitWeek},
    {.method = "get", .path = "/returned-slips", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.GetReturnedTransactions"}, .summary = "Why the caller's slips of the week from `week` were sent back", .success = 200, .handler = ReturnedSlips},
    {.method = "post", .path = "/time-entries/{id}/return", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.ReturnTransaction", "CProjectMgr.GetTransaction"}, .summary = "Send an approved slip back to its owner ({\"Reason\"})", .success = 200, .body = true, .handler = ReturnTimeEntry},
    {.method = "get", .path = "/approvals", .scope = Scope::kFirm, .authenticated = true, .calls = {"CReportMgr.ExecReportQuery"}, .summary = "What awaits approval, by person and week", .success = 200, .handler = Approvals},
    {.method = "get", .path = "/clients", .scope = Scope::kFirm, .authenticated = true, .calls = {"CCIMgr.GetAllCustomers"}, .summary = "The subscriber's clients", .success = 200, .paged = true, .handler = Clients},
    {.method = "get", .path = "/invoices", .scope = Scope::kFirm, .authenticated = true, .calls = {"CInvoiceMgr.GetTrialInvoices", "CInvoiceMgr.GetApprovedInvoices", "CInvoiceMgr.GetIssuedInvoices"}, .summary = "Invoices, of one status with `status` (0 trial, 1 approved, 2 issued)", .success = 200, .paged = true, .handler = Invoices},
    {.method = "get", .path = "/invoices/{id}", .scope = Scope::kFirm, .authenticated = true, .calls = {"CInvoiceMgr.GetInvoiceBreakdown", "CSettingsMgr.GetSettings"}, .summary = "An invoice line by line with the client's copy in cents; for Accept: text/html its printable page, application/pdf its PDF, application/vnd.oasis.ubl+xml or application/xml its UBL 2.1 e-invoice (EN 16931)", .success = 200, .html = true, .documents = true, .handler = Invoice},
    {.method = "get", .path = "/invoicing/preview", .scope = Scope::kFirm, .authenticated = true, .calls = {"CInvoiceMgr.PreviewInvoicing"}, .summary = "What a run with `cutoff` would bill", .success = 200, .handler = Preview},
    {.method = "post", .path = "/invoicing/runs", .scope = Scope::kFirm, .authenticated = true, .calls = {"CInvoiceMgr.InvoiceAllProjects", "CInvoiceMgr.InvoiceSelectedProjects", "CInvoiceMgr.GetInvoice"}, .summary = "Invoice ({\"CutoffDate\", \"Projects\"}): the invoices made", .success = 201, .body = true, .handler = InvoiceRun},
    {.method = "get", .path = "/settings", .scope = Scope::kFirm, .authenticated = true, .calls = {"CSettingsMgr.GetSettings"}, .summary = "The firm's settings for the documents it sends, by name", .success = 200, .handler = Settings},
    {.method = "put", .path = "/settings", .scope = Scope::kFirm, .authenticated = true, .calls = {"CSettingsMgr.SetSetting", "CSettingsMgr.GetSettings"}, .summary = "Set some of the firm's settings ({\"name\": \"value\"}, \"\" for the default), all or none: the settings", .success = 200, .body = true, .handler = PutSettings},
    {.method = "get", .path = "/firm", .scope = Scope::kFirm, .authenticated = true, .calls = {"CAccountMgr.GetAccountInfo", "CAccountMgr.GetPrimaryLocation"}, .summary = "The firm's profile: name, address, default terms and invoice notes", .success = 200, .handler = Firm},
    {.method = "patch", .path = "/firm", .scope = Scope::kFirm, .authenticated = true, .calls = {"CAccountMgr.GetAccountInfo", "CAccountMgr.GetPrimaryLocation", "CAccountMgr.UpdateAccountBusinessInfo"}, .summary = "Change the firm's profile (UpdateAccountBusinessInfo's arguments by name)", .success = 200, .body = true, .handler = PatchFirm},
    {.method = "get", .path = "/users", .scope = Scope::kFirm, .authenticated = true, .calls = {"CUserManager.GetSubscriberUserProfiles"}, .summary = "The firm's users", .success = 200, .paged = true, .handler = Users},
    {.method = "post", .path = "/users", .scope = Scope::kFirm, .authenticated = true, .calls = {"CUserManager.AddUserProfile", "CUserManager.GetUserProfile"}, .summary = "Add a user (AddUserProfile's arguments by name)", .success = 201, .body = true, .handler = AddUser},
    {.method = "patch", .path = "/users/{id}", .scope = Scope::kFirm, .authenticated = true, .calls = {"CUserManager.GetSubscriberUserProfiles", "CUserManager.UpdateUserProfile", "CUserManager.GetUserProfile"}, .summary = "Change a user (UpdateUserProfile's arguments by name): sign-in allowed, administrator, rates", .success = 200, .body = true, .handler = PatchUser},
    {.method = "put", .path = "/me/password", .scope = Scope::kFirm, .authenticated = true, .calls = {"CSecurityMgr.ChangeUserPassword"}, .summary = "Change the caller's password ({\"OldPassword\", \"NewPassword\"})", .success = 204, .body = true, .handler = ChangePassword},
    {.method = "post", .path = "/clients", .scope = Scope::kFirm, .authenticated = true, .calls = {"CAccountMgr.GetAccountInfo", "CCIMgr.AddClient", "CCIMgr.GetCustomer"}, .summary = "Add a client (AddClient's arguments by name; DefaultTerms the firm's when left out)", .success = 201, .body = true, .handler = AddClient},
    {.method = "get", .path = "/clients/{id}", .scope = Scope::kFirm, .authenticated = true, .calls = {"CCIMgr.GetCustomer"}, .summary = "One client", .success = 200, .handler = ClientById},
    {.method = "patch", .path = "/clients/{id}", .scope = Scope::kFirm, .authenticated = true, .calls = {"CCIMgr.GetCustomer", "CCIMgr.UpdateClient"}, .summary = "Change a client (UpdateClient's arguments by name)", .success = 200, .body = true, .handler = PatchClient},
    {.method = "delete", .path = "/clients/{id}", .scope = Scope::kFirm, .authenticated = true, .calls = {"CCIMgr.GetCustomer", "CCIMgr.DeleteCustomer"}, .summary = "Delete a client", .success = 204, .handler = DeleteClient},
    {.method = "get", .path = "/tax-codes", .scope = Scope::kFirm, .authenticated = true, .calls = {"CCIMgr.GetAllTaxCodes"}, .summary = "The firm's tax codes", .success = 200, .paged = true, .handler = TaxCodes},
    {.method = "post", .path = "/tax-codes", .scope = Scope::kFirm, .authenticated = true, .calls = {"CCIMgr.AddTaxCode", "CCIMgr.GetTaxCode"}, .summary = "Add a tax code (AddTaxCode's arguments by name)", .success = 201, .body = true, .handler = AddTaxCode},
    {.method = "get", .path = "/tax-codes/{id}", .scope = Scope::kFirm, .authenticated = true, .calls = {"CCIMgr.GetTaxCode"}, .summary = "One tax code", .success = 200, .handler = TaxCode},
    {.method = "patch", .path = "/tax-codes/{id}", .scope = Scope::kFirm, .authenticated = true, .calls = {"CCIMgr.GetTaxCode", "CCIMgr.UpdateTaxCode"}, .summary = "Change a tax code (UpdateTaxCode's arguments by name)", .success = 200, .body = true, .handler = PatchTaxCode},
    {.method = "delete", .path = "/tax-codes/{id}", .scope = Scope::kFirm, .authenticated = true, .calls = {"CCIMgr.GetTaxCode", "CCIMgr.DeleteTaxCode"}, .summary = "Delete a tax code", .success = 204, .handler = DeleteTaxCode},
    {.method = "post", .path = "/projects", .scope = Scope::kFirm, .authenticated = true, .calls = {"eProjectStatusEnm.IsValidValue", "CProjectMgr.AddProject", "CProjectMgr.GetProject"}, .summary = "Add a project (AddProject's arguments by name; the caller manages it unless ManagerID says)", .success = 201, .body = true, .handler = AddProject},
    {.method = "patch", .path = "/projects/{id}", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.GetProject", "eProjectStatusEnm.IsValidValue", "CProjectMgr.UpdateProject"}, .summary = "Change a project (UpdateProject's arguments by name)", .success = 200, .body = true, .handler = PatchProject},
    {.method = "delete", .path = "/projects/{id}", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.GetProject", "CProjectMgr.DeleteProject"}, .summary = "Delete a project", .success = 204, .handler = DeleteProject},
    {.method = "post", .path = "/projects/{id}/tasks", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.AddTask", "CProjectMgr.GetTask"}, .summary = "Add a task to the project (AddTask's arguments by name)", .success = 201, .body = true, .handler = AddTask},
    {.method = "patch", .path = "/tasks/{id}", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.GetTask", "CProjectMgr.UpdateTask"}, .summary = "Change a task (UpdateTask's arguments by name)", .success = 200, .body = true, .handler = PatchTask},
    {.method = "delete", .path = "/tasks/{id}", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.GetTask", "CProjectMgr.DeleteTask"}, .summary = "Delete a task", .success = 204, .handler = DeleteTask},
    {.method = "get", .path = "/projects/{id}/staff", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.GetProject", "CProjectMgr.GetStaff"}, .summary = "The project's staff and their four rates", .success = 200, .paged = true, .handler = ProjectStaff},
    {.method = "post", .path = "/projects/{id}/staff", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.AddStaff", "CProjectMgr.GetStaff"}, .summary = "Put a user on the project's staff ({\"UserID\", \"Rate\", \"Cost\", \"OTRate\", \"OTCost\"})", .success = 201, .body = true, .handler = AddStaff},
    {.method = "patch", .path = "/staff/{id}", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.GetStaff", "CProjectMgr.UpdateStaff"}, .summary = "Change a staff row's rates", .success = 200, .body = true, .handler = PatchStaff},
    {.method = "delete", .path = "/staff/{id}", .scope = Scope::kFirm, .authenticated = true, .calls = {"CProjectMgr.GetStaff", "CProjectMgr.DeleteStaff"}, .summary = "Take a user off a project's staff", .success = 204, .handler = DeleteStaff},
    {.method = "patch", .path = "/invoices/{id}", .scope = Scope::kFirm, .authenticated = true, .calls = {"CInvoiceMgr.GetInvoice", "CInvoiceMgr.UpdateInvoice"}, .summary = "Approve ({\"Status\": 1}) or issue ({\"Status\": 2}) an invoice, or change its terms and notes", .success = 200, .body = true, .handler = PatchInvoice},
    {.method = "delete", .path = "/invoices/{id}", .scope = Scope::kFirm, .authenticated = true, .calls = {"CInvoiceMgr.GetInvoice", "CInvoiceMgr.DeleteInvoice"}, .summary = "Delete an invoice: its slips return to approved, its expenses to unbilled", .success = 204, .handler = DeleteInvoice},
    {.method = "get", .path = "/reports/hours", .scope = Scope::kFirm, .authenticated = true, .calls = {"CReportMgr.GetHoursReport"}, .summary = "Hours and their value from `from` to `to` by `by` (project, person or week), of one `client`, `project` or `userId` if given; a consultant's own", .success = 200, .handler = HoursReport},
    {.method = "get", .path = "/reports/unbilled", .scope = Scope::kFirm, .authenticated = true, .calls = {"CReportMgr.GetUnbilledReport"}, .summary = "Approved work not yet invoiced from `from` to `to`, by project, with its value; a consultant's own", .success = 200, .handler = UnbilledReport},
    {.method = "get", .path = "/reports/invoiced", .scope = Scope::kFirm, .authenticated = true, .calls = {"CInvoiceMgr.GetApprovedInvoices", "CInvoiceMgr.GetIssuedInvoices", "CInvoiceMgr.GetInvoiceTotal"}, .summary = "Approved and issued invoices dated from `from` to `to`, by month", .success = 200, .handler = InvoicedReport},
    {.method = "get", .path = "/exports/time-entries", .scope = Scope::kFirm, .authenticated = true, .calls = {"CReportMgr.GetSlipRows"}, .summary = "Every slip from `from` to `to` as CSV (RFC 4180, UTF-8, a header row), of one `userId` if given; a consultant's own", .success = 200, .csv = true, .handler = SlipsCsv},
    {.method = "post", .path = "/call/{Class}/{Method}", .scope = Scope::kFirm, .authenticated = true, .calls = {}, .summary = "Any method by name", .success = 200, .body = true, .handler = Call},
  };
  // clang-format on
  return routes;
}

Access AccessOf(const Route& route) {
  Access strictest = Access::kAny;
  for (const char* call : route.calls) {
    const std::string_view text(call);
    const std::size_t dot = text.find('.');
    const app::Target target = app::FindTarget(text.substr(0, dot), text.substr(dot + 1));
    const Access access = target.member->access;
    if (access == Access::kAdmin) return access;
    if (access == Access::kOwn) strictest = access;
  }
  return strictest;
}

const Route* FindRoute(std::string_view method, std::string_view path,
                       std::vector<std::string>& params, std::string& allow) {
  struct Pattern {
    const Route* route;
    std::vector<std::string> parts;
  };
  static const std::vector<Pattern> patterns = [] {
    std::vector<Pattern> split;
    for (const Route& route : Routes()) split.push_back({&route, Split(route.Template(), '/')});
    return split;
  }();
  // The path's segments as views of it: nothing is copied but a match's
  // parameters.
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    parts.push_back(path.substr(start, end - start));
    if (end == path.size()) break;
    start = end + 1;
  }
  for (const Pattern& pattern : patterns) {
    if (pattern.parts.size() != parts.size()) continue;
    bool match = true;
    for (std::size_t i = 0; i < parts.size() && match; ++i) {
      match = pattern.parts[i].starts_with("{") ? !parts[i].empty() : pattern.parts[i] == parts[i];
    }
    if (!match) continue;
    std::vector<std::string> found;
    for (std::size_t i = 0; i < parts.size(); ++i) {
      if (pattern.parts[i].starts_with("{")) found.emplace_back(parts[i]);
    }
    const Route& route = *pattern.route;
    const bool get = EqualsIgnoreCase(route.method, "get");
    if (EqualsIgnoreCase(route.method, method) || (get && method == "HEAD")) {
      params = std::move(found);
      return &route;
    }
    if (!allow.empty()) allow += ", ";
    for (const char c : std::string_view(route.method)) allow += AsciiUpper(c);
    if (get) allow += ", HEAD";
  }
  return nullptr;
}

}  // namespace brivos::server
