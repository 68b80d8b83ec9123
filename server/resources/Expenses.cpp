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
