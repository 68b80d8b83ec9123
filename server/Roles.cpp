#include "server/Roles.hpp"

#include <array>

namespace brivos::server {
namespace {

struct Grant {
  std::string_view class_name;
  std::string_view method;
  Access access;
};

// Every method a user who is no administrator may call.
constexpr std::array kGrants = {
    Grant{"CAccountMgr", "GetAccountInfo", Access::kAny},
    Grant{"CAccountMgr", "GetPrimaryLocation", Access::kAny},
    Grant{"CCIMgr", "GetCustomer", Access::kAny},
    Grant{"CCIMgr", "GetAllCustomers", Access::kAny},
    Grant{"CCIMgr", "GetAllCustomersForUser", Access::kAny},
    Grant{"CCIMgr", "GetClientList", Access::kAny},
    Grant{"CCIMgr", "GetClientProjects", Access::kAny},
    Grant{"CCIMgr", "GetAllTaxCodes", Access::kAny},
    Grant{"CCIMgr", "GetTaxCode", Access::kAny},
    Grant{"CProjectMgr", "GetProjTasksAlphaSort", Access::kAny},
    Grant{"CProjectMgr", "GetProjects", Access::kAny},
    Grant{"CProjectMgr", "GetProject", Access::kAny},
    Grant{"CProjectMgr", "GetTask", Access::kAny},
    Grant{"CProjectMgr", "AddTransaction", Access::kOwn},
    Grant{"CProjectMgr", "UpdateTransaction", Access::kOwn},
    Grant{"CProjectMgr", "DeleteTransaction", Access::kOwn},
    Grant{"CProjectMgr", "GetTransaction", Access::kOwn},
    Grant{"CProjectMgr", "DeleteExpense", Access::kOwn},
    Grant{"CProjectMgr", "GetExpense", Access::kOwn},
    Grant{"CProjectMgr", "GetTransactionsForDay", Access::kAny},
    Grant{"CProjectMgr", "GetTransactionsForWeek", Access::kOwn},
    Grant{"CProjectMgr", "GetExpensesForUser", Access::kAny},
    Grant{"CProjectMgr", "GetProjectsForUser", Access::kAny},
    Grant{"CProjectMgr", "GetPostableProjectsForUser", Access::kAny},
    Grant{"CProjectMgr", "GetTasksForUser", Access::kAny},
    Grant{"CProjectMgr", "UpdateStaffExpense", Access::kOwn},
    Grant{"CProjectMgr", "AddStaffExpense", Access::kOwn},
    Grant{"CProjectMgr", "GetActiveTransaction", Access::kAny},
    Grant{"CProjectMgr", "StartTransaction", Access::kAny},
    Grant{"CProjectMgr", "RestartTransaction", Access::kOwn},
    Grant{"CProjectMgr", "StopActiveTransaction", Access::kAny},
    Grant{"CProjectMgr", "PauseActiveTransaction", Access::kAny},
    Grant{"CProjectMgr", "UpdateTransactionStatus", Access::kOwn},
    Grant{"CSecurityMgr", "BeginUserSession", Access::kOwn},
    Grant{"CSecurityMgr", "EndUserSession", Access::kOwn},
    Grant{"CSecurityMgr", "GetSysSession", Access::kAny},
    Grant{"CSecurityMgr", "ChangeUserPassword", Access::kOwn},
    Grant{"CUserManager", "GetUserProfile", Access::kOwn},
    Grant{"CUserManager", "UpdateUserProfile", Access::kOwn},
    Grant{"CUserManager", "GetExpenseReport", Access::kOwn},
    Grant{"CUserManager", "AddExpenseReport", Access::kOwn},
    Grant{"CUserManager", "UpdateExpenseReport", Access::kOwn},
    Grant{"CUserManager", "DeleteExpenseReport", Access::kOwn},
    Grant{"CUserManager", "GetReportExpenses", Access::kOwn},
};

bool WorksOnAccount(const ClassInfo& info) {
  for (const MemberInfo& m : info.Members()) {
    if (!m.arg_names.empty() && EqualsIgnoreCase(m.arg_names.front(), "Account")) return true;
  }
  return false;
}

}  // namespace

const char* AccessName(Access access) {
  switch (access) {
    case Access::kAdmin:
      return "administrator";
    case Access::kAny:
      return "any user";
    case Access::kOwn:
      return "any user, on their own";
  }
  return "administrator";
}

Access AccessOf(const ClassInfo& info, const MemberInfo& member) {
  for (const Grant& g : kGrants) {
    if (EqualsIgnoreCase(g.class_name, info.Name()) && EqualsIgnoreCase(g.method, member.name)) {
      return g.access;
    }
  }
  return WorksOnAccount(info) ? Access::kAdmin : Access::kAny;
}

std::string ForbiddenValue(std::string_view name, const Variant& value) {
  try {
    if (EqualsIgnoreCase(name, "Status") && !value.IsNull() && !value.IsEmpty()) {
      const std::int32_t status = CLng(value);
      if (status == eTransStatus::tsApproved || status == eTransStatus::tsBilled) {
        return "only an administrator approves or bills a slip";
      }
    }
    if ((EqualsIgnoreCase(name, "Approved") || EqualsIgnoreCase(name, "Billed")) &&
        !value.IsNull() && !value.IsEmpty() && CBool(value)) {
      return "only an administrator approves";
    }
    if (EqualsIgnoreCase(name, "Admin") && !value.IsNull() && !value.IsEmpty() && CBool(value)) {
      return "only an administrator makes administrators";
    }
  } catch (const Error&) {
    // A value that does not convert is the method's to refuse.
  }
  return "";
}

}  // namespace brivos::server
