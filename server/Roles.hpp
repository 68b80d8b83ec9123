#pragma once

// Who may call what. Administrators (IUser.Admin) may call everything; any
// signed-in user may call the methods the table lists, those marked kOwn only
// on their own slips, expenses, expense reports and profile. Everything else
// is for administrators alone.

#include <string>
#include <string_view>

#include "brivos/brivos.hpp"

namespace brivos::server {

enum class Access {
  kAdmin,  // administrators only
  kAny,    // any signed-in user
  kOwn,    // any signed-in user, on what is their own
};

const char* AccessName(Access access);

// The access of Class.Method: the table's, or kAdmin for a class that works
// on an account's data and kAny for one that does not (the value sets).
Access AccessOf(const ClassInfo& info, const MemberInfo& member);

// Argument values a user who is no administrator may not give, as a reason,
// or "" when `value` of argument `name` is allowed: approving (a slip status
// of approved or billed, Approved true) and making oneself an administrator.
std::string ForbiddenValue(std::string_view name, const Variant& value);

}  // namespace brivos::server
