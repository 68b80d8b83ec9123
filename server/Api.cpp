#include "server/Api.hpp"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <set>
#include <span>

#include <sys/stat.h>

#include "brivos/brivos.hpp"
#include "brivos/database/Database.hpp"
#include "json/VariantJson.hpp"
#include "server/Metrics.hpp"
#include "server/OpenApi.hpp"
#include "server/Problem.hpp"
#include "server/Roles.hpp"
#include "server/StaticFiles.hpp"
#include "documents/Documents.hpp"

namespace brivos::server {

using json::Json;

namespace {

constexpr int kMaxDepth = 32;
constexpr int kDefaultPerPage = 100;
constexpr int kMaxPerPage = 1000;
constexpr int kMaxEntryDays = 366;

const std::vector<std::pair<std::string, std::string>> kBearerChallenge = {
    {"WWW-Authenticate", "Bearer realm=\"brivos\""}};
const std::vector<std::pair<std::string, std::string>> kInvalidToken = {
    {"WWW-Authenticate", "Bearer realm=\"brivos\", error=\"invalid_token\""}};
const std::vector<std::pair<std::string, std::string>> kAllowGet = {{"Allow", "GET, HEAD"}};

// "A100", "acme-2", "b_7": letters, digits, '-' and '_' only.
bool PlainAccountNumber(std::string_view text) {
  if (text.empty() || text.size() > 64) return false;
  for (const char c : text) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '_';
    if (!ok) return false;
  }
  return true;
}

std::vector<std::string> Split(std::string_view text, char sep) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find(sep, start), text.size());
    parts.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Decoded(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() + 0 && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// How deep arrays and objects nest in JSON text, strings skipped.
int NestingDepth(std::string_view text) {
  int depth = 0, deepest = 0;
  bool in_string = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return deepest;
}

// A body that must be a JSON object; an empty body is an empty object.
Json BodyObject(const std::string& body) {
  if (body.find_first_not_of(" \t\r\n") == std::string::npos) return Json::object();
  if (NestingDepth(body) > kMaxDepth) {
    throw HttpError(400, "JSON nested deeper than " + std::to_string(kMaxDepth) + " levels");
  }
  Json parsed = Json::parse(body, nullptr, false);
  if (parsed.is_discarded()) throw HttpError(400, "the body is not valid JSON");
  if (!parsed.is_object()) throw HttpError(400, "the body must be a JSON object");
  return parsed;
}

// A value without its Password properties; rows of a report keep the
// field, as null.
Json Public(const Variant& value, bool rows = false) {
  Json out = json::ToJson(value);
  json::Hide(out, "Password", rows);
  return out;
}

// A value as the answer, without its passwords (see Public), written
// straight to text: most answers are one record or one result.
Response PublicResponse(int status, const Variant& value, bool rows = false) {
  Response r;
  r.status = status;
  json::AppendJson(r.body, value, "Password", rows);
  return r;
}

Response JsonResponse(int status, const Json& body) {
  Response r;
  r.status = status;
  r.body = json::Dump(body, true);
  return r;
}

Response NoContent() {
  Response r;
  r.status = 204;
  r.content_type.clear();
  return r;
}

Date ParseDate(const std::string& text, const char* what) {
  Date d;
  if (!Date::TryParse(text, d)) {
    throw HttpError(400,
                    std::string(what) + " needs a date such as 2024-03-05, not '" + text + "'");
  }
  return d;
}

std::int32_t ParseId(const std::string& text) {
  if (text.empty() || text.size() > 9 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    throw HttpError(404, "no such row: '" + text + "'");
  }
  return static_cast<std::int32_t>(std::strtol(text.c_str(), nullptr, 10));
}

// Account arguments other than the Account path: they name a subscriber.
bool NamesAccount(std::string_view arg) {
  constexpr std::string_view kSuffix = "Account";
  return arg.size() > kSuffix.size() &&
         EqualsIgnoreCase(arg.substr(arg.size() - kSuffix.size()), kSuffix);
}

bool FilledFromSession(std::string_view arg) {
  return EqualsIgnoreCase(arg, "Account") || EqualsIgnoreCase(arg, "UserName") ||
         EqualsIgnoreCase(arg, "Token");
}

Variant Property(const Variant& record, std::string_view name) {
  const std::shared_ptr<Object> object = record.AsObject();
  if (!object) return Variant::Null();
  std::vector<Variant> none;
  return object->Invoke(name, none);
}

}  // namespace

// ---- sign-in throttling

long SignInThrottle::RetryAfter(const std::string& key) {
  const auto now = std::chrono::steady_clock::now();
  std::lock_guard lock(mutex_);
  auto found = refusals_.find(key);
  if (found == refusals_.end()) return 0;
  auto& times = found->second;
  while (!times.empty() && now - times.front() >= kWindow) times.pop_front();
  if (times.empty()) {
    refusals_.erase(found);
    return 0;
  }
  if (static_cast<int>(times.size()) < kLimit) return 0;
  const auto left = std::chrono::ceil<std::chrono::seconds>(times.front() + kWindow - now);
  return std::max<long>(1, static_cast<long>(left.count()));
}

void SignInThrottle::NoteRefusal(const std::string& key) {
  std::lock_guard lock(mutex_);
  auto& times = refusals_[key];
  times.push_back(std::chrono::steady_clock::now());
  while (static_cast<int>(times.size()) > kLimit) times.pop_front();
}

void SignInThrottle::Clear(const std::string& key) {
  std::lock_guard lock(mutex_);
  refusals_.erase(key);
}

// ---- one request

struct Caller {
  std::string account_no;
  Variant account;  // the Account path
  Variant user;
  Variant token;
  std::int32_t user_id = 0;
  bool admin = false;
};

class Handler {
 public:
  // HEAD runs as GET; the connection leaves the body out.
  Handler(Api& api, const Request& request)
      : api_(api), request_(request), method_(request.method == "HEAD" ? "GET" : request.method) {}
  Response Run();
  const std::string& RouteTemplate() const { return route_; }

  using Action = Response (Handler::*)(const std::vector<std::string>& params);
  struct Route {
    RouteDoc doc;
    Action action;
  };
  static const std::vector<Route>& Routes();

 private:
  Response Dispatch();
  Response Accounts(std::span<const std::string> rest);
  void Authenticate();
  Variant CallNamed(const std::string& class_name, const std::string& method, const Json& named,
                    bool missing_is_empty);
  void CheckOwn(const std::string& arg, const Variant& value);
  void CheckStaff(const Variant& staff_id, const std::string& what);
  Variant Manager(const char* class_name, const char* method, std::vector<Variant> extra);
  Response Paged(const Json& items);
  std::string Query(const std::string& name) const;
  Json Body() const { return BodyObject(request_.body); }

  // Routes.
  Response SignIn(const std::vector<std::string>&);
  Response SignOut(const std::vector<std::string>&);
  Response Call(const std::vector<std::string>& p);
  Response Me(const std::vector<std::string>&);
  Response Projects(const std::vector<std::string>&);
  Response Project(const std::vector<std::string>& p);
  Response ProjectTasks(const std::vector<std::string>& p);
  Response TimeEntries(const std::vector<std::string>&);
  Response AddTimeEntry(const std::vector<std::string>&);
  Response TimeEntry(const std::vector<std::string>& p);
  Response PatchTimeEntry(const std::vector<std::string>& p);
  Response DeleteTimeEntry(const std::vector<std::string>& p);
  Response TimeEntryStatus(const std::vector<std::string>& p);
  Response Timer(const std::vector<std::string>&);
  Response TimerStart(const std::vector<std::string>&);
  Response TimerPause(const std::vector<std::string>&);
  Response TimerRestart(const std::vector<std::string>&);
  Response TimerStop(const std::vector<std::string>&);
  Response Expenses(const std::vector<std::string>&);
  Response AddExpense(const std::vector<std::string>&);
  Response Clients(const std::vector<std::string>&);
  Response Invoices(const std::vector<std::string>&);
  Response Invoice(const std::vector<std::string>& p);
  Response Preview(const std::vector<std::string>&);
  Response Run(const std::vector<std::string>&);

  Variant ActiveSlip();
  Variant PausedSlip();
  Json TrialInvoices();

  Api& api_;
  const Request& request_;
  std::string method_;
  std::string path_;
  std::map<std::string, std::string> query_;
  Caller caller_;
  std::string route_;
};

const std::vector<Handler::Route>& Handler::Routes() {
  // clang-format off
  static const std::vector<Route> routes = {
    {{"post", "/sessions", "CSecurityMgr", "BeginUserSession", "Sign in: a session token", false, 201, false}, &Handler::SignIn},
    {{"delete", "/sessions/current", "CSecurityMgr", "EndUserSession", "Sign out: end the caller's session", false, 204, true}, &Handler::SignOut},
    {{"get", "/me", "CUserManager", "GetUserProfile", "The caller", false, 200, true}, &Handler::Me},
    {{"get", "/projects", "CProjectMgr", "GetProjects", "The subscriber's projects", true, 200, true}, &Handler::Projects},
    {{"get", "/projects/{id}", "CProjectMgr", "GetProject", "One project", false, 200, true}, &Handler::Project},
    {{"get", "/projects/{id}/tasks", "CProjectMgr", "GetProjTasksAlphaSort", "A project's tasks by name", true, 200, true}, &Handler::ProjectTasks},
    {{"get", "/time-entries", "CProjectMgr", "GetTransactionsForWeek", "The caller's slips from `from` to `to` (an administrator may add `userId`)", true, 200, true}, &Handler::TimeEntries},
    {{"post", "/time-entries", "CProjectMgr", "AddTransaction", "Add a slip (AddTransaction's arguments by name)", false, 201, true}, &Handler::AddTimeEntry},
    {{"get", "/time-entries/{id}", "CProjectMgr", "GetTransaction", "One slip", false, 200, true}, &Handler::TimeEntry},
    {{"patch", "/time-entries/{id}", "CProjectMgr", "UpdateTransaction", "Change a slip (UpdateTransaction's arguments by name)", false, 200, true}, &Handler::PatchTimeEntry},
    {{"delete", "/time-entries/{id}", "CProjectMgr", "DeleteTransaction", "Delete a slip", false, 204, true}, &Handler::DeleteTimeEntry},
    {{"put", "/time-entries/{id}/status", "CProjectMgr", "UpdateTransactionStatus", "Set a slip's status ({\"Status\": n})", false, 200, true}, &Handler::TimeEntryStatus},
    {{"get", "/timer", "CProjectMgr", "GetActiveTransaction", "The running or paused slip, or 204", false, 200, true}, &Handler::Timer},
    {{"post", "/timer/start", "CProjectMgr", "StartTransaction", "Start the timer on a task ({\"TaskID\", \"Description\"})", false, 201, true}, &Handler::TimerStart},
    {{"post", "/timer/pause", "CProjectMgr", "PauseActiveTransaction", "Pause the running slip", false, 200, true}, &Handler::TimerPause},
    {{"post", "/timer/restart", "CProjectMgr", "RestartTransaction", "Restart a slip ({\"TransID\"}, the paused one by default)", false, 200, true}, &Handler::TimerRestart},
    {{"post", "/timer/stop", "CProjectMgr", "StopActiveTransaction", "Stop the running slip", false, 204, true}, &Handler::TimerStop},
    {{"get", "/expenses", "CProjectMgr", "GetExpensesForUser", "The caller's expenses", true, 200, true}, &Handler::Expenses},
    {{"post", "/expenses", "CProjectMgr", "AddStaffExpense", "Add an expense of the caller (AddStaffExpense's arguments by name)", false, 201, true}, &Handler::AddExpense},
    {{"get", "/clients", "CCIMgr", "GetAllCustomers", "The subscriber's clients", true, 200, true}, &Handler::Clients},
    {{"get", "/invoices", "CInvoiceMgr", "GetTrialInvoices", "Invoices, of one status with `status` (0 trial, 1 approved, 2 issued)", true, 200, true}, &Handler::Invoices},
    {{"get", "/invoices/{id}", "CInvoiceMgr", "GetInvoiceBreakdown", "An invoice line by line, or its printable page for Accept: text/html", false, 200, true}, &Handler::Invoice},
    {{"get", "/invoicing/preview", "CInvoiceMgr", "PreviewInvoicing", "What a run with `cutoff` would bill", false, 200, true}, &Handler::Preview},
    {{"post", "/invoicing/runs", "CInvoiceMgr", "InvoiceAllProjects", "Invoice ({\"CutoffDate\", \"Projects\"}): the invoices made", false, 201, true}, &Handler::Run},
    {{"post", "/call/{Class}/{Method}", "", "", "Any method by name", false, 200, true}, &Handler::Call},
  };
  // clang-format on
  return routes;
}

std::vector<RouteDoc> RouteDocs() {
  std::vector<RouteDoc> docs;
  for (const auto& route : Handler::Routes()) docs.push_back(route.doc);
  return docs;
}

Api::Api(Config config) : config_(std::move(config)) {
  char resolved[PATH_MAX];
  if (realpath(config_.data_dir.c_str(), resolved) == nullptr) {
    throw std::runtime_error("the data directory '" + config_.data_dir + "' does not exist");
  }
  real_data_dir_ = resolved;
}

Response Api::Handle(const Request& request) {
  // A report statement of a client reads passwords and tokens as NULL.
  const SecretColumnsHidden hidden;
  // The caller's checks and the call share one session of the account.
  const ConnectionScope scope;
  Handler handler(*this, request);
  Response response = handler.Run();
  response.route = handler.RouteTemplate();
  return response;
}

Response Handler::Run() {
  try {
    return Dispatch();
  } catch (const HttpError& e) {
    return Problem(e);
  } catch (const Error& e) {
    return Problem(e, StatusOfError(e));
  } catch (const json::BadInput& e) {
    return Problem(400, e.what());
  } catch (const std::exception&) {
    return Problem(500, "the request failed unexpectedly");
  }
}

std::string Handler::Query(const std::string& name) const {
  const auto found = query_.find(name);
  return found == query_.end() ? std::string() : found->second;
}

Response Handler::Dispatch() {
  const std::size_t question = request_.target.find('?');
  path_ = request_.target.substr(0, question);
  if (question != std::string::npos) {
    for (const std::string& pair : Split(request_.target.substr(question + 1), '&')) {
      if (pair.empty()) continue;
      const std::size_t eq = pair.find('=');
      query_[Decoded(pair.substr(0, eq))] =
          eq == std::string::npos ? std::string() : Decoded(pair.substr(eq + 1));
    }
  }
  std::vector<std::string> segments = Split(path_, '/');
  if (!segments.empty() && segments.front().empty()) segments.erase(segments.begin());
  if (segments.empty() || segments.front() != "v1") {
    if (method_ != "GET") throw HttpError(405, "static files are read with GET", kAllowGet);
    route_ = "/{file}";
    return ServeStatic(api_.config_.web_root, path_);
  }
  if (segments.size() == 2 && (segments[1] == "health" || segments[1] == "openapi.json") &&
      method_ != "GET") {
    throw HttpError(405, "/v1/" + segments[1] + " is read with GET", kAllowGet);
  }
  if (segments.size() == 2 && segments[1] == "health") {
    route_ = "/v1/health";
    Json out = Json::object();
    out["status"] = "ok";
    out["service"] = "brivos";
    out["classes"] = RegisteredClasses().size();
    return JsonResponse(200, out);
  }
  if (segments.size() == 2 && segments[1] == "openapi.json") {
    route_ = "/v1/openapi.json";
    // The registry and the routes are fixed once the program runs.
    static const std::string document = OpenApiDocument(RouteDocs());
    Response r;
    r.body = document;
    return r;
  }
  if (segments.size() >= 4 && segments[1] == "accounts") {
    return Accounts(std::span<const std::string>(segments).subspan(2));
  }
  throw HttpError(404, "no route " + path_);
}

Response Handler::Accounts(std::span<const std::string> rest) {
  const std::string& account_no = rest.front();
  // Nothing is opened for a segment that could name a file elsewhere.
  if (!PlainAccountNumber(account_no)) throw HttpError(404, "no such account");
  // The directory is resolved and the segment names no other directory, so
  // the file stays inside unless it is itself a link (to another account's
  // file or out of the directory): a plain file is all that is accepted.
  const std::string file = api_.real_data_dir_ + "/" + account_no + ".mdb";
  struct stat status {};
  if (lstat(file.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
    throw HttpError(404, "no such account");
  }
  caller_.account_no = account_no;
  caller_.account = Variant(api_.real_data_dir_ + "\\" + account_no);

  const std::vector<std::string> path(rest.begin() + 1, rest.end());
  std::string allow;  // the methods of the path, when it is known
  static const std::vector<std::vector<std::string>> patterns = [] {
    std::vector<std::vector<std::string>> split;
    for (const Route& route : Routes()) split.push_back(Split(route.doc.path + 1, '/'));
    return split;
  }();
  for (std::size_t r = 0; r < Routes().size(); ++r) {
    const Route& route = Routes()[r];
    const std::vector<std::string>& pattern = patterns[r];
    if (pattern.size() != path.size()) continue;
    std::vector<std::string> params;
    bool match = true;
    for (std::size_t i = 0; i < path.size() && match; ++i) {
      if (pattern[i].starts_with("{")) {
        params.push_back(path[i]);
      } else {
        match = pattern[i] == path[i];
      }
    }
    if (!match) continue;
    route_ = std::string("/v1/accounts/{account}") + route.doc.path;
    if (!EqualsIgnoreCase(route.doc.method, method_)) {
      if (!allow.empty()) allow += ", ";
      for (const char c : std::string_view(route.doc.method)) allow += AsciiUpper(c);
      if (EqualsIgnoreCase(route.doc.method, "get")) allow += ", HEAD";
      continue;
    }
    if (route.doc.authenticated) Authenticate();
    if (route.doc.class_name[0] != '\0' && !caller_.admin && route.doc.authenticated) {
      const ClassInfo* info = FindClass(route.doc.class_name);
      if (AccessOf(*info, *info->Find(route.doc.member)) == Access::kAdmin) {
        throw HttpError(403, std::string(route.doc.path) + " is for administrators");
      }
    }
    return (this->*route.action)(params);
  }
  if (!allow.empty()) {
    throw HttpError(405, request_.method + " is not allowed on " + path_, {{"Allow", allow}});
  }
  throw HttpError(404, "no route " + path_);
}

void Handler::Authenticate() {
  const std::string& header = request_.authorization;
  constexpr std::string_view kScheme = "Bearer ";
  if (header.size() <= kScheme.size() ||
      !EqualsIgnoreCase(std::string_view(header).substr(0, kScheme.size()), kScheme)) {
    throw HttpError(401, "this route needs Authorization: Bearer TOKEN", kBearerChallenge);
  }
  const std::string token = header.substr(kScheme.size());
  if (token.size() > 255 ||
      token.find_first_not_of("0123456789ABCDEFabcdef-{}") != std::string::npos) {
    throw HttpError(401, "unknown token", kInvalidToken);
  }
  std::shared_ptr<SysSessions> session;
  try {
    session = CSecurityMgr{}.GetSysSession(caller_.account, token);
  } catch (const Error& e) {
    if (e.Number() != errnum::kSubscriptOutOfRange) throw;
  }
  if (!session) throw HttpError(401, "unknown token", kInvalidToken);
  const Variant session_var(std::static_pointer_cast<Object>(session));
  const Variant stamp = Property(session_var, "LastUpdate");
  const double age_seconds =
      stamp.Type() == VarType::Date ? (Now().Serial() - stamp.AsDate().Serial()) * 86400.0 : 1e300;
  if (age_seconds > static_cast<double>(api_.config_.session_max_age.count())) {
    throw HttpError(401, "the session has expired", kInvalidToken);
  }
  caller_.user = Property(session_var, "UserName");
  caller_.token = Variant(token);
  std::shared_ptr<IUser> user;
  try {
    user = IUser::Caller(caller_.account, caller_.user);
  } catch (const Error&) {
  }
  if (!user) throw HttpError(401, "the session's user no longer exists", kInvalidToken);
  const Variant user_var(std::static_pointer_cast<Object>(user));
  caller_.user_id = CLng(Property(user_var, "IUserID"));
  const Variant admin = Property(user_var, "Admin");
  caller_.admin = admin.Type() == VarType::Boolean && admin.AsBool();
}

Variant Handler::Manager(const char* class_name, const char* method, std::vector<Variant> extra) {
  std::vector<Variant> args{caller_.account, caller_.user, caller_.token};
  for (Variant& v : extra) args.push_back(std::move(v));
  return CreateObject(std::string("BRIVOS.") + class_name)->Invoke(method, args);
}

void Handler::CheckStaff(const Variant& staff_id, const std::string& what) {
  if (staff_id.IsNull() || staff_id.IsEmpty()) throw HttpError(403, what + " is not the caller's");
  const Variant staff = Manager("CProjectMgr", "GetStaff", {staff_id});
  const Variant user = Property(staff, "UserID");
  if (user.IsNull() || CLng(user) != caller_.user_id) {
    throw HttpError(403, what + " is not the caller's");
  }
}

// A user who is no administrator works on their own rows only.
void Handler::CheckOwn(const std::string& arg, const Variant& value) {
  const auto is = [&arg](std::string_view name) { return EqualsIgnoreCase(arg, name); };
  if (is("TransID")) {
    CheckStaff(Property(Manager("CProjectMgr", "GetTransaction", {value}), "StaffID"),
               "slip " + CStr(value));
  } else if (is("StaffID")) {
    CheckStaff(value, "staff row " + CStr(value));
  } else if (is("ExpenseID")) {
    CheckStaff(Property(Manager("CProjectMgr", "GetExpense", {value}), "StaffID"),
               "expense " + CStr(value));
  } else if (is("ReportID")) {
    if (value.IsEmpty() || value.IsNull() ||
        (value.Type() == VarType::Long && value.AsLong() == 0)) {
      return;
    }
    const Variant owner = Property(Manager("CUserManager", "GetExpenseReport", {value}), "UserID");
    if (owner.IsNull() || CLng(owner) != caller_.user_id) {
      throw HttpError(403, "expense report " + CStr(value) + " is not the caller's");
    }
  } else if (is("theUserName") || is("ProfileUserName") || is("ForUserName")) {
    if (!EqualsIgnoreCase(CStr(value), CStr(caller_.user))) {
      throw HttpError(403, arg + " must be the caller's own name");
    }
  } else if (is("UserID")) {
    if (CLng(value) != caller_.user_id) throw HttpError(403, "UserID must be the caller's own");
  }
}

Variant Handler::CallNamed(const std::string& class_name, const std::string& method,
                           const Json& named, bool missing_is_empty) {
  const ClassInfo* info = FindClass(class_name);
  if (info == nullptr || !info->Creatable()) {
    throw HttpError(404, "no class named '" + class_name + "'");
  }
  const MemberInfo* member = info->Find(method);
  if (member == nullptr) throw HttpError(404, info->Name() + " has no member '" + method + "'");
  const std::string name = info->Name() + "." + member->name;
  const Access access = AccessOf(*info, *member);
  if (access == Access::kAdmin && !caller_.admin) {
    throw HttpError(403, name + " is for administrators");
  }
  for (auto it = named.begin(); it != named.end(); ++it) {
    if (FilledFromSession(it.key())) {
      throw HttpError(400, "'" + it.key() + "' is taken from the session, not the body");
    }
    bool known = false;
    for (const std::string& arg : member->arg_names)
      known = known || EqualsIgnoreCase(arg, it.key());
    if (!known) throw HttpError(400, name + " has no argument '" + it.key() + "'");
  }
  std::vector<Variant> args;
  for (const std::string& arg : member->arg_names) {
    if (EqualsIgnoreCase(arg, "Account")) {
      args.push_back(caller_.account);
      continue;
    }
    if (EqualsIgnoreCase(arg, "UserName")) {
      args.push_back(caller_.user);
      continue;
    }
    if (EqualsIgnoreCase(arg, "Token")) {
      args.push_back(caller_.token);
      continue;
    }
    const Json* given = nullptr;
    for (auto it = named.begin(); it != named.end(); ++it) {
      if (EqualsIgnoreCase(it.key(), arg)) given = &it.value();
    }
    if (given == nullptr && !missing_is_empty) {
      throw HttpError(400, name + " needs the argument '" + arg + "'");
    }
    Variant value = given == nullptr ? Variant() : json::FromJson(*given);
    if (NamesAccount(arg)) {
      if (value.Type() != VarType::String || value.AsString() != caller_.account_no) {
        throw HttpError(403, arg + " must be the account of the path, " + caller_.account_no);
      }
      value = caller_.account;
    } else if (!caller_.admin) {
      const std::string refused = ForbiddenValue(arg, value);
      if (!refused.empty()) throw HttpError(403, refused);
      if (access == Access::kOwn) CheckOwn(arg, value);
    }
    args.push_back(std::move(value));
  }
  return Metrics::Instance().Invoke(info->Name(), member->name,
                                    [&] { return info->Create()->Invoke(member->name, args); });
}

Response Handler::Paged(const Json& items) {
  const auto number = [this](const char* name, int fallback) {
    const std::string text = Query(name);
    if (text.empty()) return fallback;
    if (text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
      throw HttpError(400, std::string(name) + " must be a positive whole number");
    }
    return std::atoi(text.c_str());
  };
  const int page = number("page", 1);
  const int per_page = number("per_page", kDefaultPerPage);
  if (page < 1 || per_page < 1 || per_page > kMaxPerPage) {
    throw HttpError(400, "page starts at 1 and per_page is 1 to " + std::to_string(kMaxPerPage));
  }
  const auto total = static_cast<long>(items.size());
  const long first = static_cast<long>(page - 1) * per_page;
  Json slice = Json::array();
  for (long i = first; i < total && i < first + per_page; ++i) {
    slice.push_back(items[static_cast<std::size_t>(i)]);
  }
  Response r = JsonResponse(200, slice);
  r.headers.emplace_back("X-Total-Count", std::to_string(total));
  const long last = std::max<long>(1, (total + per_page - 1) / per_page);
  std::string others;
  for (const auto& [key, value] : query_) {
    if (key != "page" && key != "per_page") others += key + "=" + value + "&";
  }
  const auto link = [&](long p, const char* rel) {
    return "<" + path_ + "?" + others + "page=" + std::to_string(p) +
           "&per_page=" + std::to_string(per_page) + ">; rel=\"" + rel + "\"";
  };
  std::string links = link(1, "first");
  if (page > 1) links += ", " + link(std::min<long>(page - 1, last), "prev");
  if (page < last) links += ", " + link(page + 1, "next");
  links += ", " + link(last, "last");
  r.headers.emplace_back("Link", links);
  return r;
}

// ---- sessions

Response Handler::SignIn(const std::vector<std::string>&) {
  const Json body = Body();
  const auto text = [&body](const char* name) {
    const auto found = body.find(name);
    if (found == body.end() || !found->is_string()) {
      throw HttpError(400, std::string("the body needs \"") + name + "\" as text");
    }
    return found->get<std::string>();
  };
  const std::string user = text("UserName");
  const std::string password = text("Password");
  const std::string key = caller_.account_no + "\n" + AsciiLowered(user);
  if (const long wait = api_.throttle_.RetryAfter(key); wait > 0) {
    throw HttpError(429, "too many refused sign-ins; try again later",
                    {{"Retry-After", std::to_string(wait)}});
  }
  std::string token;
  try {
    token = CSecurityMgr{}.BeginUserSession(caller_.account, user, password);
  } catch (const Error& e) {
    if (e.Number() != errCSecurityMgr::eInvalidUserInfo) throw;
    api_.throttle_.NoteRefusal(key);
    Response r = Problem(e, 401);
    r.headers = kBearerChallenge;
    return r;
  }
  api_.throttle_.Clear(key);
  Json out = Json::object();
  out["Token"] = token;
  out["UserName"] = user;
  return JsonResponse(201, out);
}

Response Handler::SignOut(const std::vector<std::string>&) {
  CSecurityMgr{}.EndUserSession(caller_.account, caller_.user);
  return NoContent();
}

Response Handler::Call(const std::vector<std::string>& p) {
  const Variant result = CallNamed(p[0], p[1], Body(), false);
  Response r;
  r.body = "{\"result\":";
  json::AppendJson(r.body, result, "Password", EqualsIgnoreCase(p[0], "CReportMgr"));
  r.body += '}';
  return r;
}

// ---- the working day

Response Handler::Me(const std::vector<std::string>&) {
  return PublicResponse(
      200, Manager("CUserManager", "GetUserProfile", {caller_.account, caller_.user}));
}

Response Handler::Projects(const std::vector<std::string>&) {
  return Paged(Public(Manager("CProjectMgr", "GetProjects", {Variant(0)})));
}

Response Handler::Project(const std::vector<std::string>& p) {
  return PublicResponse(200, Manager("CProjectMgr", "GetProject", {ParseId(p[0])}));
}

Response Handler::ProjectTasks(const std::vector<std::string>& p) {
  return Paged(Public(Manager("CProjectMgr", "GetProjTasksAlphaSort", {ParseId(p[0])})));
}

Response Handler::TimeEntries(const std::vector<std::string>&) {
  const Date from = ParseDate(Query("from"), "from");
  const Date to = ParseDate(Query("to"), "to");
  const double first = std::floor(from.Serial()), last = std::floor(to.Serial());
  if (last < first || last - first >= kMaxEntryDays) {
    throw HttpError(400, "from..to must be 1 to " + std::to_string(kMaxEntryDays) + " days");
  }
  Variant whose = caller_.user;
  if (const std::string user_id = Query("userId"); !user_id.empty()) {
    const std::int32_t id = ParseId(user_id);
    if (id != caller_.user_id) {
      if (!caller_.admin) throw HttpError(403, "only an administrator reads another user's slips");
      whose = Variant::Null();
      const Variant users = Manager("CUserManager", "GetSubscriberUserProfiles", {});
      for (const Variant& u : std::dynamic_pointer_cast<Collection>(users.AsObject())->Items()) {
        if (CLng(Property(u, "IUserID")) == id) whose = Property(u, "UserName");
      }
      if (whose.IsNull()) throw HttpError(404, "no user " + user_id);
    }
  }
  Json out = Json::array();
  for (double week = first; week <= last; week += 7) {
    const Variant slips =
        Manager("CProjectMgr", "GetTransactionsForWeek", {Date::FromSerial(week), whose});
    for (const Variant& slip : std::dynamic_pointer_cast<Collection>(slips.AsObject())->Items()) {
      const Variant day = Property(slip, "TransDate");
      const double d = day.Type() == VarType::Date ? std::floor(day.AsDate().Serial()) : -1;
      if (d >= first && d <= last) out.push_back(Public(slip));
    }
  }
  return Paged(out);
}

Response Handler::AddTimeEntry(const std::vector<std::string>&) {
  Json body = Body();
  // A slip entered after the fact is the caller's own by default: their staff
  // row on the project gives StaffID and the four rates the body leaves out,
  // as the timer takes them.
  if (!body.contains("StaffID") && body.contains("ProjectID") && body["ProjectID"].is_number()) {
    const Variant project = Manager("CProjectMgr", "GetProject", {Variant(body["ProjectID"].get<std::int32_t>())});
    std::vector<Variant> account{caller_.account};
    const Variant staff = project.AsObject() ? project.AsObject()->Invoke("Staff", account) : Variant();
    if (auto rows = staff.AsObject()) {
      for (const Variant& row : std::static_pointer_cast<Collection>(rows)->Items()) {
        const Variant user = Property(row, "UserID");
        if (user.IsNull() || CLng(user) != caller_.user_id) continue;
        body["StaffID"] = CLng(Property(row, "IProjectStaffID"));
        for (const auto& [arg, column] : {std::pair{"StaffRate", "Rate"}, {"StaffCost", "Cost"},
                                          {"OTRate", "OTRate"}, {"OTCost", "OTCost"}}) {
          const Variant rate = Property(row, column);
          if (!body.contains(arg) && !rate.IsNull()) body[arg] = CDbl(rate);
        }
        break;
      }
    }
  }
  const Variant id = CallNamed("CProjectMgr", "AddTransaction", body, true);
  return PublicResponse(201, Manager("CProjectMgr", "GetTransaction", {id}));
}

Response Handler::TimeEntry(const std::vector<std::string>& p) {
  const Json named = {{"TransID", ParseId(p[0])}};
  return PublicResponse(200, CallNamed("CProjectMgr", "GetTransaction", named, false));
}

Response Handler::PatchTimeEntry(const std::vector<std::string>& p) {
  const std::int32_t id = ParseId(p[0]);
  const Json current =
      Public(CallNamed("CProjectMgr", "GetTransaction", Json{{"TransID", id}}, false));
  // The slip as it stands, as UpdateTransaction's arguments, under the changes.
  Json merged = Json::object();
  merged["TransID"] = id;
  for (const char* name : {"TransDate", "Description", "Status", "StaffRate", "StaffCost", "OTCost",
                           "OTRate", "Error", "TaskID", "StaffID", "OverTime"}) {
    merged[name] = current.value(name, Json());
  }
  const auto time_parts = [&](const char* column, const char* hour, const char* minute) {
    Date at;
    const Json stamp = current.value(column, Json());
    if (stamp.is_string() && Date::TryParse(stamp.get<std::string>(), at)) {
      merged[hour] = at.Hour();
      merged[minute] = at.Minute();
    } else {
      merged[hour] = 0;
      merged[minute] = 0;
    }
  };
  time_parts("StartTime", "StartHour", "StartMinute");
  time_parts("StopTime", "EndHour", "EndMinute");
  const Json changes = Body();
  for (auto it = changes.begin(); it != changes.end(); ++it) merged[it.key()] = it.value();
  if (changes.contains("TransID") && changes["TransID"] != id) {
    throw HttpError(400, "TransID is the path's");
  }
  CallNamed("CProjectMgr", "UpdateTransaction", merged, false);
  return PublicResponse(200, Manager("CProjectMgr", "GetTransaction", {id}));
}

Response Handler::DeleteTimeEntry(const std::vector<std::string>& p) {
  CallNamed("CProjectMgr", "DeleteTransaction", Json{{"TransID", ParseId(p[0])}}, false);
  return NoContent();
}

Response Handler::TimeEntryStatus(const std::vector<std::string>& p) {
  const std::int32_t id = ParseId(p[0]);
  const Json body = Body();
  if (!body.contains("Status")) throw HttpError(400, "the body needs \"Status\"");
  CallNamed("CProjectMgr", "UpdateTransactionStatus",
            Json{{"TransID", id}, {"Status", body["Status"]}}, false);
  return PublicResponse(200, Manager("CProjectMgr", "GetTransaction", {id}));
}

Variant Handler::ActiveSlip() { return Manager("CProjectMgr", "GetActiveTransaction", {}); }

// The caller's latest paused slip of the last seven days, or Nothing.
Variant Handler::PausedSlip() {
  const double today = std::floor(Now().Serial());
  const Variant slips =
      Manager("CProjectMgr", "GetTransactionsForWeek", {Date::FromSerial(today - 6), caller_.user});
  Variant found;
  for (const Variant& slip : std::dynamic_pointer_cast<Collection>(slips.AsObject())->Items()) {
    const Variant status = Property(slip, "Status");
    if (status.Type() == VarType::Long && status.AsLong() == eTransStatus::tsPaused) found = slip;
  }
  return found;
}

Response Handler::Timer(const std::vector<std::string>&) {
  Variant slip = ActiveSlip();
  if (!slip.AsObject()) slip = PausedSlip();
  return slip.AsObject() ? PublicResponse(200, slip) : NoContent();
}

Response Handler::TimerStart(const std::vector<std::string>&) {
  Json body = Body();
  if (!body.contains("Description")) body["Description"] = "";
  CallNamed("CProjectMgr", "StartTransaction", body, false);
  return PublicResponse(201, ActiveSlip());
}

Response Handler::TimerPause(const std::vector<std::string>&) {
  Manager("CProjectMgr", "PauseActiveTransaction", {});
  const Variant slip = PausedSlip();
  return slip.AsObject() ? PublicResponse(200, slip) : NoContent();
}

Response Handler::TimerRestart(const std::vector<std::string>&) {
  Json body = Body();
  if (!body.contains("TransID")) {
    const Variant paused = PausedSlip();
    if (!paused.AsObject()) throw HttpError(404, "no paused slip to restart");
    body["TransID"] = CLng(Property(paused, "IProjectTransactionID"));
  }
  CallNamed("CProjectMgr", "RestartTransaction", body, false);
  return PublicResponse(200, ActiveSlip());
}

Response Handler::TimerStop(const std::vector<std::string>&) {
  Manager("CProjectMgr", "StopActiveTransaction", {});
  return NoContent();
}

Response Handler::Expenses(const std::vector<std::string>&) {
  return Paged(Public(Manager("CProjectMgr", "GetExpensesForUser", {})));
}

Response Handler::AddExpense(const std::vector<std::string>&) {
  const Variant id = CallNamed("CProjectMgr", "AddStaffExpense", Body(), true);
  return PublicResponse(201, Manager("CProjectMgr", "GetExpense", {id}));
}

Response Handler::Clients(const std::vector<std::string>&) {
  return Paged(Public(Manager("CCIMgr", "GetAllCustomers", {})));
}

Response Handler::Invoices(const std::vector<std::string>&) {
  static const char* const kLists[] = {"GetTrialInvoices", "GetApprovedInvoices",
                                       "GetIssuedInvoices"};
  const std::string status = Query("status");
  Json out = Json::array();
  for (int s = 0; s < 3; ++s) {
    if (!status.empty() && status != std::to_string(s)) continue;
    for (Json& invoice : Public(Manager("CInvoiceMgr", kLists[s], {}))) out.push_back(invoice);
  }
  if (!status.empty() && status != "0" && status != "1" && status != "2") {
    throw HttpError(400, "status is 0 (trial), 1 (approved) or 2 (issued)");
  }
  return Paged(out);
}

Response Handler::Invoice(const std::vector<std::string>& p) {
  const InvoiceBreakdown invoice = CInvoiceMgr{}.GetInvoiceBreakdown(caller_.account, caller_.user,
                                                                     caller_.token, ParseId(p[0]));
  if (request_.accept.find("text/html") != std::string::npos) {
    Response r;
    r.content_type = "text/html; charset=utf-8";
    r.body = documents::InvoiceHtml(invoice);
    return r;
  }
  return JsonResponse(200, documents::InvoiceJson(invoice));
}

Response Handler::Preview(const std::vector<std::string>&) {
  const Date cutoff = ParseDate(Query("cutoff"), "cutoff");
  const std::string projects = Query("projects");
  const InvoicingPreview preview = CInvoiceMgr{}.PreviewInvoicing(
      caller_.account, caller_.user, caller_.token,
      projects.empty() ? Variant::Null() : Variant(projects), cutoff);
  return JsonResponse(200, documents::PreviewJson(preview));
}

Json Handler::TrialInvoices() { return Public(Manager("CInvoiceMgr", "GetTrialInvoices", {})); }

Response Handler::Run(const std::vector<std::string>&) {
  const Json body = Body();
  if (!body.contains("CutoffDate")) throw HttpError(400, "the body needs \"CutoffDate\"");
  std::set<std::int64_t> before;
  for (const Json& invoice : TrialInvoices()) {
    before.insert(invoice.value("IProjectInvoiceID", std::int64_t{0}));
  }
  Json named = Json::object();
  named["CutoffDate"] = body["CutoffDate"];
  const Json projects = body.value("Projects", Json());
  if (projects.is_null()) {
    CallNamed("CInvoiceMgr", "InvoiceAllProjects", named, false);
  } else {
    std::string list;
    if (projects.is_array()) {
      for (const Json& id : projects) {
        if (!list.empty()) list += "|";
        list += id.is_string() ? id.get<std::string>() : id.dump();
      }
    } else {
      list = projects.is_string() ? projects.get<std::string>() : projects.dump();
    }
    named["Projects"] = list;
    CallNamed("CInvoiceMgr", "InvoiceSelectedProjects", named, false);
  }
  Json made = Json::array();
  for (const Json& invoice : TrialInvoices()) {
    if (!before.contains(invoice.value("IProjectInvoiceID", std::int64_t{0}))) {
      made.push_back(invoice);
    }
  }
  return JsonResponse(201, made);
}

}  // namespace brivos::server
