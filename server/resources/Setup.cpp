// A firm's set-up: its profile, users, clients, tax codes, projects with
// their tasks and staff, and an invoice's approval, issue and deletion.
//
// A change (PATCH) is the update method's call with every argument the
// record already holds, under the body's: what the body leaves out stays as
// it is, and a name the method does not take is refused as any call's is.

#include <initializer_list>
#include <utility>

#include "app/Values.hpp"
#include "server/Routes.hpp"

namespace brivos::server::resources {

using app::Items;
using app::Property;

namespace {

using Aliases = std::initializer_list<std::pair<const char*, const char*>>;

// The named arguments of Class.Member taken from `current` (a record as
// JSON): each argument from the column of its own name, or of the name
// `aliases` gives it (argument, column); `key` is the row's key argument.
// `changes` then replaces what it names; it may not name another row.
Json Merged(std::string_view class_name, std::string_view member, const Json& current,
            Aliases aliases, const char* key, std::int32_t id, const Json& changes) {
  Json merged = Json::object();
  for (const std::string& arg : app::FindTarget(class_name, member).member->arg_names) {
    if (app::FilledFromSession(arg) || arg == key) continue;
    std::string column = arg;
    for (const auto& [name, from] : aliases) {
      if (arg == name) column = from;
    }
    merged[arg] = current.value(column, Json());
  }
  if (changes.contains(key) && changes[key] != id) {
    throw HttpError(400, std::string(key) + " is the path's");
  }
  for (auto it = changes.begin(); it != changes.end(); ++it) merged[it.key()] = it.value();
  merged[key] = id;
  return merged;
}

std::int32_t Id(const Context& c) { return ParseId(c.Params()[1]); }

// A project's Status, when the body gives one, must be of its value set: the
// manager stores any number.
void CheckProjectStatus(Context& c, const Json& body) {
  if (!body.contains("Status")) return;
  const Variant status = json::FromJson(body["Status"]);
  if (!CBool(c.Call("eProjectStatusEnm", "IsValidValue", {status}))) {
    throw HttpError(422, "Status is none of the project statuses (eProjectStatus)");
  }
}

Json Client(Context& c, std::int32_t id) { return Public(c.Call("CCIMgr", "GetCustomer", {id})); }

// A kind of row the set-up changes and deletes: its manager, the members
// that read, change and delete one, the change's key argument and the
// change's arguments named otherwise than their columns.
struct Row {
  const char* manager;
  const char* get;
  const char* update;
  const char* remove;
  const char* key;
  Aliases aliases = {};
};

const Row kClient{"CCIMgr",       "GetCustomer",
                  "UpdateClient", "DeleteCustomer",
                  "CustomerID",   {{"Name", "CompanyName"}, {"TaxCode", "TaxCodeID"}}};
const Row kTaxCode{"CCIMgr", "GetTaxCode", "UpdateTaxCode", "DeleteTaxCode", "TaxCodeID"};
const Row kProject{"CProjectMgr", "GetProject", "UpdateProject", "DeleteProject", "ProjectID"};
const Row kTask{"CProjectMgr", "GetTask", "UpdateTask", "DeleteTask", "TaskID"};
const Row kStaff{"CProjectMgr", "GetStaff", "UpdateStaff", "DeleteStaff", "StaffID"};
const Row kInvoice{"CInvoiceMgr", "GetInvoice", "UpdateInvoice", "DeleteInvoice", "InvoiceID"};

// The path's row changed by the body (after `check` of the body, when
// given): the row as it is now.
Response Patched(Context& c, const Row& row, void (*check)(Context&, const Json&) = nullptr) {
  const std::int32_t id = Id(c);
  const Json current = Public(c.Call(row.manager, row.get, {id}));  // 404 for no such row
  if (check != nullptr) check(c, c.Body());
  c.CallNamed(row.manager, row.update,
              Merged(row.manager, row.update, current, row.aliases, row.key, id, c.Body()));
  return PublicResponse(200, c.Call(row.manager, row.get, {id}));
}

// The path's row deleted, once read (404 for no such row).
Response Deleted(Context& c, const Row& row) {
  const std::int32_t id = Id(c);
  c.Call(row.manager, row.get, {id});
  c.Call(row.manager, row.remove, {id});
  return NoContent();
}

}  // namespace

// ---- the firm --------------------------------------------------------------

namespace {

// The subscriber row with its primary location's address.
Json FirmJson(Context& c) {
  Json firm = Public(c.Call("CAccountMgr", "GetAccountInfo", {}));
  const Json where =
      Public(c.Call("CAccountMgr", "GetPrimaryLocation", {Variant(c.Firm().account_no)}));
  for (const char* column : {"Address1", "Address2", "Address3", "City", "Province", "PostalCode",
                             "Country", "Telephone", "FAX"}) {
    if (!where.is_object()) continue;
    // The location's record names its fax column Fax.
    const char* from =
        std::string_view(column) == "FAX" && !where.contains(column) ? "Fax" : column;
    firm[column] = where.value(from, Json());
  }
  return firm;
}

}  // namespace

Response Firm(Context& c) { return JsonResponse(200, FirmJson(c)); }

Response PatchFirm(Context& c) {
  const Json current = FirmJson(c);
  Json merged = Json::object();
  for (const std::string& arg :
       app::FindTarget("CAccountMgr", "UpdateAccountBusinessInfo").member->arg_names) {
    if (!app::FilledFromSession(arg)) merged[arg] = current.value(arg, Json());
  }
  const Json changes = c.Body();
  for (auto it = changes.begin(); it != changes.end(); ++it) merged[it.key()] = it.value();
  c.CallNamed("CAccountMgr", "UpdateAccountBusinessInfo", merged);
  return Firm(c);
}

// ---- users -----------------------------------------------------------------

Response Users(Context& c) {
  return c.Page(Public(c.Call("CUserManager", "GetSubscriberUserProfiles", {})));
}

Response AddUser(Context& c) {
  const Json body = c.Body();
  const auto name = body.find("ProfileUserName");
  if (name == body.end() || !name->is_string() || name->get<std::string>().empty()) {
    throw HttpError(400, "the body needs \"ProfileUserName\" as text");
  }
  c.CallNamed("CUserManager", "AddUserProfile", body, true);
  return PublicResponse(201,
                        c.Call("CUserManager", "GetUserProfile",
                               {Variant(c.Firm().account_no), Variant(name->get<std::string>())}));
}

Response PatchUser(Context& c) {
  const std::int32_t id = Id(c);
  Variant user;
  for (const Variant& u : Items(c.Call("CUserManager", "GetSubscriberUserProfiles", {}))) {
    if (CLng(Property(u, "IUserID")) == id) user = u;
  }
  if (!user.AsObject()) throw HttpError(404, "no user " + std::to_string(id));
  c.CallNamed("CUserManager", "UpdateUserProfile",
              Merged("CUserManager", "UpdateUserProfile", Public(user),
                     {{"Initial", "MiddleInitial"}}, "UserID", id, c.Body()));
  return PublicResponse(200, c.Call("CUserManager", "GetUserProfile",
                                    {Variant(c.Firm().account_no), Property(user, "UserName")}));
}

// The caller's own password ({"OldPassword", "NewPassword"}).
Response ChangePassword(Context& c) {
  Json body = c.Body();
  for (const char* name : {"OldPassword", "NewPassword"}) {
    if (!body.contains(name) || !body[name].is_string()) {
      throw HttpError(400, std::string("the body needs \"") + name + "\" as text");
    }
  }
  if (body["NewPassword"].get<std::string>().empty()) {
    throw HttpError(422, "the new password may not be empty");
  }
  body["theUserName"] = CStr(c.Caller().user);
  c.CallNamed("CSecurityMgr", "ChangeUserPassword", body);
  return NoContent();
}

// ---- clients ---------------------------------------------------------------

Response ClientById(Context& c) { return JsonResponse(200, Client(c, Id(c))); }

// A client whose body gives no DefaultTerms takes the firm's.
Response AddClient(Context& c) {
  Json body = c.Body();
  if (!body.contains("DefaultTerms")) {
    body["DefaultTerms"] =
        Public(c.Call("CAccountMgr", "GetAccountInfo", {})).value("DefaultTerms", Json(""));
  }
  const Variant id = c.CallNamed("CCIMgr", "AddClient", body, true);
  return JsonResponse(201, Client(c, CLng(id)));
}

Response PatchClient(Context& c) { return Patched(c, kClient); }

Response DeleteClient(Context& c) { return Deleted(c, kClient); }

// ---- tax codes -------------------------------------------------------------

Response TaxCodes(Context& c) { return c.Page(Public(c.Call("CCIMgr", "GetAllTaxCodes", {}))); }

Response TaxCode(Context& c) {
  return PublicResponse(200, c.Call("CCIMgr", "GetTaxCode", {Id(c)}));
}

Response AddTaxCode(Context& c) {
  const Variant id = c.CallNamed("CCIMgr", "AddTaxCode", c.Body(), true);
  return PublicResponse(201, c.Call("CCIMgr", "GetTaxCode", {id}));
}

Response PatchTaxCode(Context& c) { return Patched(c, kTaxCode); }

Response DeleteTaxCode(Context& c) { return Deleted(c, kTaxCode); }

// ---- projects, tasks, staff ------------------------------------------------

Response AddProject(Context& c) {
  Json body = c.Body();
  if (!body.contains("ManagerID")) body["ManagerID"] = c.Caller().user_id;
  CheckProjectStatus(c, body);
  const Variant id = c.CallNamed("CProjectMgr", "AddProject", body, true);
  return PublicResponse(201, c.Call("CProjectMgr", "GetProject", {id}));
}

Response PatchProject(Context& c) { return Patched(c, kProject, CheckProjectStatus); }

Response DeleteProject(Context& c) { return Deleted(c, kProject); }

Response AddTask(Context& c) {
  Json body = c.Body();
  body["ProjectID"] = Id(c);
  const Variant id = c.CallNamed("CProjectMgr", "AddTask", body, true);
  return PublicResponse(201, c.Call("CProjectMgr", "GetTask", {id}));
}

Response PatchTask(Context& c) { return Patched(c, kTask); }

Response DeleteTask(Context& c) { return Deleted(c, kTask); }

// A project's staff rows, each read through GetStaff (for administrators).
Response ProjectStaff(Context& c) {
  const Variant project = c.Call("CProjectMgr", "GetProject", {Id(c)});
  std::vector<Variant> account{c.Firm().account};
  const Variant rows =
      project.AsObject() ? project.AsObject()->Invoke("Staff", account) : Variant();
  Json out = Json::array();
  for (const Variant& row : Items(rows)) {
    out.push_back(Public(c.Call("CProjectMgr", "GetStaff", {Property(row, "IProjectStaffID")})));
  }
  return c.Page(out);
}

Response AddStaff(Context& c) {
  Json body = c.Body();
  body["ProjectID"] = Id(c);
  const Variant id = c.CallNamed("CProjectMgr", "AddStaff", body, true);
  return PublicResponse(201, c.Call("CProjectMgr", "GetStaff", {id}));
}

Response PatchStaff(Context& c) { return Patched(c, kStaff); }

Response DeleteStaff(Context& c) { return Deleted(c, kStaff); }

// ---- an invoice's life -----------------------------------------------------

// Approval ({"Status": 1}) and issue ({"Status": 2}), or new terms and notes.
Response PatchInvoice(Context& c) { return Patched(c, kInvoice); }

// Deletes the invoice; its slips return to approved, its expenses to unbilled.
Response DeleteInvoice(Context& c) { return Deleted(c, kInvoice); }

}  // namespace brivos::server::resources
