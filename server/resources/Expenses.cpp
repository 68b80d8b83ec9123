// A staff member's expenses.

#include "server/Routes.hpp"

namespace brivos::server::resources {

Response Expenses(Context& c) {
  if (WantsCsv(c)) return ExpensesCsv(c);
  return c.Page(Public(c.Call("CProjectMgr", "GetExpensesForUser", {})));
}

Response AddExpense(Context& c) {
  const Variant id = c.CallNamed("CProjectMgr", "AddStaffExpense", c.Body(), true);
  return PublicResponse(201, c.Call("CProjectMgr", "GetExpense", {id}));
}

}  // namespace brivos::server::resources

namespace brivos::server::resources {

// The fields of an expense its staff member changes, as UpdateStaffExpense
// takes them.
constexpr const char* kStaffExpenseFields[] = {
    "ExpenseDate", "PONumber",    "InvoiceNumber", "Amount",      "Description",
    "ProjectID",   "ExpenseType", "ExchangeRate",  "PaymentType", "Establishment",
    "City",        "Route",       "Distance",      "Rate",        "TaxCodeID"};

Response PatchExpense(Context& c) {
  const std::int32_t id = ParseId(c.Params()[1]);
  const Json current = Public(c.Call("CProjectMgr", "GetExpense", {id}));
  const Json changes = c.Body();
  if (changes.contains("ExpenseID") && changes["ExpenseID"] != id) {
    throw HttpError(400, "ExpenseID is the path's");
  }
  // The expense as it stands, under the changes; a field it does not take
  // (Markup, Approved) is refused by name.
  Json merged = Json::object();
  merged["ExpenseID"] = id;
  for (const char* name : kStaffExpenseFields) merged[name] = current.value(name, Json());
  if (merged["TaxCodeID"].is_null()) merged["TaxCodeID"] = 0;
  for (auto it = changes.begin(); it != changes.end(); ++it) merged[it.key()] = it.value();
  c.CallNamed("CProjectMgr", "UpdateStaffExpense", merged);
  return PublicResponse(200, c.Call("CProjectMgr", "GetExpense", {id}));
}

Response DeleteExpense(Context& c) {
  c.Call("CProjectMgr", "DeleteExpense", {ParseId(c.Params()[1])});
  return NoContent();
}

}  // namespace brivos::server::resources
