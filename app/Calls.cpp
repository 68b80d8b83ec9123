#include "app/Calls.hpp"

#include <algorithm>
#include <cmath>
#include <set>

#include "app/Values.hpp"
#include "brivos/database/Database.hpp"
#include "brivos/database/OutcomeUnknown.hpp"
#include "brivos/database/Parameter.hpp"
#include "brivos/projects/internal/ProjectValues.hpp"
#include "brivos/records/IUser.hpp"
#include "brivos/security/SessionActivity.hpp"

namespace brivos::app {

namespace {

// The error numbers of the managers' refusals that are the row's state
// ("already exists", "is approved", "has invoices", "is referenced", "not
// active") and of those that are the input's ("validation error", "invalid
// task"), read from the published error enumerations.
struct ManagerErrors {
  std::set<std::int32_t> conflict, unprocessable;
};
const ManagerErrors& KnownErrors() {
  static const ManagerErrors known = [] {
    ManagerErrors found;
    for (const EnumInfo& e : PublishedEnums()) {
      if (!e.name.starts_with("err")) continue;
      for (const auto& [name, number] : e.members) {
        for (const char* state : {"Exists", "Approved", "Has", "IsReferenced", "NotActive"}) {
          if (name.find(state) != std::string::npos) found.conflict.insert(number);
        }
        if (name == "eValidationError" || name == "eInvalidTask") {
          found.unprocessable.insert(number);
        }
      }
    }
    return found;
  }();
  return known;
}

bool Given(const Variant& value) { return !value.IsNull() && !value.IsEmpty(); }

// A whole number a status or an order is given as: a Long, or a Double
// without a fraction within 32 bits; nullopt for anything else (a Boolean, a
// text, a fraction).
std::optional<std::int32_t> WholeValue(const Variant& value) {
  if (value.Type() == VarType::Long) return value.AsLong();
  if (value.Type() != VarType::Double) return std::nullopt;
  const double d = value.AsDouble();
  if (!(d >= -2147483648.0 && d <= 2147483647.0) || d != std::floor(d)) return std::nullopt;
  return static_cast<std::int32_t>(d);
}

bool InValueSet(std::string_view set, std::int32_t value) {
  for (const EnumInfo& e : PublishedEnums()) {
    if (e.name != set) continue;
    for (const auto& [name, number] : e.members) {
      if (number == value) return true;
    }
  }
  return false;
}

bool Takes(const Target& target, std::string_view arg) {
  for (const std::string& name : target.member->arg_names) {
    if (EqualsIgnoreCase(name, arg)) return true;
  }
  return false;
}

// The value set of a member's Status argument: a slip's for the members on
// slips, an invoice's for the members on invoices, none for others.
std::string_view StatusSet(const Target& target) {
  if (Takes(target, "TransID") || Takes(target, "StaffID")) return "eTransStatus";
  if (Takes(target, "InvoiceID")) return "eInvoiceStatus";
  return "";
}

// The arguments a session stands for, in the one order every front end
// fills them: its position in this list, or -1.
constexpr std::string_view kSessionArguments[] = {"Account", "UserName", "Token"};
int SessionArgument(std::string_view arg) {
  for (int i = 0; i < 3; ++i) {
    if (EqualsIgnoreCase(arg, kSessionArguments[i])) return i;
  }
  return -1;
}

Variant ManagerCall(const char* class_name, const char* member, std::vector<Variant> args) {
  return CreateObject(std::string("BRIVOS.") + class_name)->Invoke(member, args);
}

Variant ReadAs(const Principal& caller, const char* class_name, const char* member,
               const Variant& key) {
  return ManagerCall(class_name, member, {caller.tenant.account, caller.user, caller.token, key});
}

// Rates compare to the hundredth of a cent, as the database keeps them.
bool SameRate(const Variant& a, const Variant& b) {
  if (!Given(a) || !Given(b)) return !Given(a) && !Given(b);
  return std::llround(CDbl(a) * 10000) == std::llround(CDbl(b) * 10000);
}

}  // namespace

Refusal RefusalOf(const Error& error) {
  switch (error.Number()) {
    case errnum::kSubscriptOutOfRange:
    case errnum::kNoCurrentRecord:
      return Refusal::kNotFound;
    case errnum::kInvalidArgument:
    case errnum::kOverflow:
    case errnum::kTypeMismatch:
    case errnum::kInvalidUseOfNull:
    case errnum::kDbConstraint:
    // A caller's own statement text that is invalid, refused, past its time
    // budget or past a ceiling of its result (the library's texts are
    // neither).
    case errnum::kDbStatementRejected:
    case errnum::kDbLimitReached:
      return Refusal::kUnprocessable;
    case errnum::kDbCannotOpen:
    // A commit whose answer was lost: the caller looks before it tries again.
    case errnum::kDbOutcomeUnknown:
      return Refusal::kUnavailable;
    default:
      if (KnownErrors().conflict.contains(error.Number())) return Refusal::kConflict;
      if (KnownErrors().unprocessable.contains(error.Number())) return Refusal::kUnprocessable;
      return Refusal::kFailed;
  }
}

// True when `value` names the caller's user as the firm's database compares
// user names: some fold more than the letter case of ASCII (a dotted capital
// I as an i), so a name with other letters is looked up there.
bool NamesCaller(const Principal& caller, const Variant& value) {
  const std::string name = CStr(value), own = CStr(caller.user);
  if (EqualsIgnoreCase(name, own)) return true;
  const auto ascii = [](const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return c < 0x80; });
  };
  if (ascii(name) && ascii(own)) return false;
  using U = IUser;
  const auto found = Connection::Open(caller.tenant.account)
                         .Query("SELECT IUserID FROM IUser WHERE UserName=?;",
                                {U::P(U::kUserName, value)});
  for (; !found->Eof(); found->MoveNext()) {
    if (CLng(found->Field(0)) == caller.user_id) return true;
  }
  return false;
}

bool FilledFromSession(std::string_view arg) { return SessionArgument(arg) >= 0; }

bool NamesAccount(std::string_view arg) {
  constexpr std::string_view kSuffix = "Account";
  return arg.size() > kSuffix.size() &&
         EqualsIgnoreCase(arg.substr(arg.size() - kSuffix.size()), kSuffix);
}

Target FindTarget(std::string_view class_name, std::string_view member) {
  const ClassInfo* info = FindClass(class_name);
  if (info == nullptr || !info->Creatable()) {
    throw Refused(Refusal::kNotFound, "no class named '" + std::string(class_name) + "'",
                  errnum::kCannotCreateObject);
  }
  const MemberInfo* found = info->Find(member);
  if (found == nullptr) {
    throw Refused(Refusal::kNotFound,
                  info->Name() + " has no member '" + std::string(member) + "'",
                  errnum::kUnknownMember);
  }
  return Target{info, found};
}

std::vector<Variant> Bind(const Target& target, std::vector<Variant> positional,
                          const NamedArgs& named, bool missing_is_empty) {
  const std::vector<std::string>& names = target.member->arg_names;
  if (positional.size() > names.size()) {
    throw Refused(Refusal::kBadRequest,
                  target.Name() + " takes " + std::to_string(names.size()) + " arguments, not " +
                      std::to_string(positional.size()),
                  errnum::kWrongArgumentCount);
  }
  std::vector<Variant> args = std::move(positional);
  std::vector<bool> given(names.size(), false);
  for (std::size_t i = 0; i < args.size(); ++i) given[i] = true;
  args.resize(names.size());
  for (const auto& [name, value] : named) {
    std::size_t at = names.size();
    for (std::size_t i = 0; i < names.size() && at == names.size(); ++i) {
      if (EqualsIgnoreCase(names[i], name)) at = i;
    }
    if (at == names.size()) {
      throw Refused(Refusal::kBadRequest, target.Name() + " has no argument '" + name + "'",
                    errnum::kNamedArgumentNotFound);
    }
    if (given[at]) {
      throw Refused(Refusal::kBadRequest, target.Name() + " is given '" + names[at] + "' twice",
                    errnum::kNamedArgumentNotFound);
    }
    args[at] = value;
    given[at] = true;
  }
  if (!missing_is_empty) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (!given[i]) {
        throw Refused(Refusal::kBadRequest,
                      target.Name() + " needs the argument '" + names[i] + "'",
                      errnum::kArgumentNotOptional);
      }
    }
  }
  return args;
}

Variant CallPath::Invoke(const Target& target, std::vector<Variant>& args) const {
  return Observed(target, [&] { return target.info->Create()->Invoke(target.member->name, args); });
}

Variant CallPath::Observed(const Target& target, const std::function<Variant()>& call) const {
  return observer_ ? observer_(target, call) : call();
}

Variant CallPath::CallLocal(std::string_view class_name, std::string_view member,
                            std::vector<Variant> positional, const NamedArgs& named) const {
  const Target target = FindTarget(class_name, member);
  std::vector<Variant> args = Bind(target, std::move(positional), named, false);
  return Invoke(target, args);
}

void CallPath::CheckAccess(const Principal& caller, const Target& target) {
  if (target.member->access == Access::kAdmin && !caller.admin) {
    throw Refused(Refusal::kForbidden, target.Name() + " is for administrators");
  }
}

void CallPath::CheckStaff(const Principal& caller, const Variant& staff_id,
                          const std::string& what) const {
  if (!Given(staff_id)) throw Refused(Refusal::kForbidden, what + " is not the caller's");
  const Variant staff = ManagerCall("CProjectMgr", "GetStaff",
                                    {caller.tenant.account, caller.user, caller.token, staff_id});
  const Variant user = Property(staff, "UserID");
  if (!Given(user) || CLng(user) != caller.user_id) {
    throw Refused(Refusal::kForbidden, what + " is not the caller's");
  }
}

void CallPath::CheckArgument(const Principal& caller, const Target& target, std::string_view arg,
                             const Variant& value) const {
  if (caller.admin || target.member->access != Access::kOwn) return;
  bool owned = false;
  for (const std::string& name : target.member->owned) owned = owned || name == arg;
  if (!owned) return;
  const auto is = [&arg](std::string_view name) { return EqualsIgnoreCase(arg, name); };
  const std::vector<Variant> session{caller.tenant.account, caller.user, caller.token};
  const auto read = [&](const char* class_name, const char* member) {
    std::vector<Variant> args = session;
    args.push_back(value);
    return ManagerCall(class_name, member, std::move(args));
  };
  if (is("TransID")) {
    CheckStaff(caller, Property(read("CProjectMgr", "GetTransaction"), "StaffID"),
               "slip " + CStr(value));
  } else if (is("StaffID")) {
    CheckStaff(caller, value, "staff row " + CStr(value));
  } else if (is("ExpenseID")) {
    CheckStaff(caller, Property(read("CProjectMgr", "GetExpense"), "StaffID"),
               "expense " + CStr(value));
  } else if (is("ReportID")) {
    // No report (0 or nothing) is nobody's.
    if (!Given(value) || (value.Type() == VarType::Long && value.AsLong() == 0)) return;
    const Variant owner = Property(read("CUserManager", "GetExpenseReport"), "UserID");
    if (!Given(owner) || CLng(owner) != caller.user_id) {
      throw Refused(Refusal::kForbidden, "expense report " + CStr(value) + " is not the caller's");
    }
  } else if (is("UserID")) {
    if (CLng(value) != caller.user_id) {
      throw Refused(Refusal::kForbidden, "UserID must be the caller's own");
    }
  } else if (!NamesCaller(caller, value)) {
    // theUserName, ProfileUserName, ForUserName: a user's name.
    throw Refused(Refusal::kForbidden, std::string(arg) + " must be the caller's own name");
  }
}

void CallPath::CheckValues(const Principal& caller, const Target& target,
                           const std::vector<Variant>& args) {
  const std::vector<std::string>& names = target.member->arg_names;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& arg = names[i];
    const Variant& value = args[i];
    if (EqualsIgnoreCase(arg, "Status") && !StatusSet(target).empty()) {
      const std::string_view set = StatusSet(target);
      const std::optional<std::int32_t> status = WholeValue(value);
      if (!status || !InValueSet(set, *status)) {
        throw Refused(Refusal::kUnprocessable,
                      "Status " + CStr(value) + " is none of " + std::string(set), errnum::kInvalidArgument);
      }
      if (set == "eTransStatus" && *status == eTransStatus::tsBilled) {
        throw Refused(Refusal::kForbidden, "a slip is billed by an invoice run, not by a change");
      }
      if (set == "eTransStatus" && *status == eTransStatus::tsApproved && !caller.admin) {
        throw Refused(Refusal::kForbidden, "only an administrator approves a slip");
      }
    } else if (EqualsIgnoreCase(arg, "SortOrder")) {
      const std::optional<std::int32_t> order = WholeValue(value);
      if (!order || *projects::ProjectOrder(Variant(*order)) == '\0') {
        throw Refused(Refusal::kUnprocessable, "SortOrder " + CStr(value) + " is no project order",
                      errnum::kInvalidArgument);
      }
    } else if (EqualsIgnoreCase(arg, "Billed") && IsTrue(value)) {
      throw Refused(Refusal::kForbidden, "an expense is billed by an invoice run, not by a change");
    } else if (!caller.admin && EqualsIgnoreCase(arg, "Approved") && IsTrue(value)) {
      throw Refused(Refusal::kForbidden, "only an administrator approves");
    } else if (!caller.admin && EqualsIgnoreCase(arg, "Admin") && IsTrue(value)) {
      throw Refused(Refusal::kForbidden, "only an administrator makes administrators");
    }
  }
}

void CallPath::CheckChanged(const Principal& caller, const Target& target,
                            const std::vector<Variant>& args) const {
  const std::vector<std::string>& names = target.member->arg_names;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& arg = names[i];
    bool changed = false;
    for (const std::string& name : target.member->changed) changed = changed || name == arg;
    if (!changed) continue;
    const Variant& key = args[i];
    const auto billed_on = [](const Variant& row, const std::string& what) {
      const Variant invoice = Property(row, "InvoiceID");
      if (!Given(invoice)) return;
      throw Refused(Refusal::kConflict, what + " is billed on invoice " + CStr(invoice) +
                                            "; delete the invoice first");
    };
    if (arg == "TransID") {
      const Variant slip = ReadAs(caller, "CProjectMgr", "GetTransaction", key);
      const std::string what = "slip " + CStr(key);
      billed_on(slip, what);
      const Variant status = Property(slip, "Status");
      if (Given(status) && CLng(status) == eTransStatus::tsBilled) {
        throw Refused(Refusal::kConflict, what + " is billed");
      }
      if (!caller.admin && Given(status) && CLng(status) == eTransStatus::tsApproved) {
        throw Refused(Refusal::kConflict,
                      what + " is approved; only an administrator changes it now");
      }
    } else if (arg == "ExpenseID") {
      const Variant expense = ReadAs(caller, "CProjectMgr", "GetExpense", key);
      const std::string what = "expense " + CStr(key);
      billed_on(expense, what);
      if (IsTrue(Property(expense, "Billed"))) throw Refused(Refusal::kConflict, what + " is billed");
      if (!caller.admin && IsTrue(Property(expense, "Approved"))) {
        throw Refused(Refusal::kConflict,
                      what + " is approved; only an administrator changes it now");
      }
    } else if (arg == "InvoiceID") {
      const Variant invoice = ReadAs(caller, "CInvoiceMgr", "GetInvoice", key);
      const Variant status = Property(invoice, "Status");
      if (Given(status) && CLng(status) == eInvoiceStatus::isIssued) {
        throw Refused(Refusal::kConflict, "invoice " + CStr(key) + " is issued and stays as issued");
      }
    }
  }
}

void CallPath::TakeStaffRates(const Principal& caller, const Target& target,
                              std::vector<Variant>& args) const {
  const std::vector<std::string>& names = target.member->arg_names;
  const auto at = [&names](std::string_view arg) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (EqualsIgnoreCase(names[i], arg)) return i;
    }
    return names.size();
  };
  const std::size_t staff_at = at("StaffID");
  if (caller.admin || staff_at == names.size() || at(kSlipRates[0].arg) == names.size()) return;
  const Variant staff = ReadAs(caller, "CProjectMgr", "GetStaff", args[staff_at]);
  // A slip rewritten keeps the rates it was entered with, as well.
  const std::size_t slip_at = at("TransID");
  const Variant slip = slip_at == names.size()
                           ? Variant()
                           : ReadAs(caller, "CProjectMgr", "GetTransaction", args[slip_at]);
  for (const SlipRate& rate : kSlipRates) {
    Variant& given = args[at(rate.arg)];
    const Variant own = Property(staff, rate.column);
    if (!Given(given)) {
      given = own;
    } else if (!SameRate(given, own) &&
               !(slip_at != names.size() && SameRate(given, Property(slip, rate.arg)))) {
      throw Refused(Refusal::kForbidden, std::string(rate.arg) + " comes from the staff row (" +
                                             (Given(own) ? CStr(own) : "none") + ")");
    }
  }
}

Variant CallPath::CheckedCall(const Principal& caller, const Target& target,
                              std::vector<Variant> args) const {
  CheckAccess(caller, target);
  const std::vector<std::string>& names = target.member->arg_names;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& arg = names[i];
    if (const int session = SessionArgument(arg); session >= 0) {
      const Variant* filled[] = {&caller.tenant.account, &caller.user, &caller.token};
      args[i] = *filled[session];
    } else if (NamesAccount(arg)) {
      if (args[i].Type() != VarType::String || args[i].AsString() != caller.tenant.account_no) {
        throw Refused(Refusal::kForbidden,
                      arg + " must be the account of the firm, " + caller.tenant.account_no);
      }
      args[i] = caller.tenant.account;
    } else {
      CheckArgument(caller, target, arg, args[i]);
    }
  }
  CheckChanged(caller, target, args);
  CheckValues(caller, target, args);
  TakeStaffRates(caller, target, args);
  if (std::optional<Variant> done = SecurityCall(caller, target, args)) return *done;
  return Invoke(target, args);
}

std::optional<Variant> CallPath::SecurityCall(const Principal& caller, const Target& target,
                                              std::vector<Variant>& args) const {
  if (!EqualsIgnoreCase(target.info->Name(), "CSecurityMgr")) return std::nullopt;
  const std::string& member = target.member->name;
  const auto arg = [&](std::string_view name) -> Variant& {
    const std::vector<std::string>& names = target.member->arg_names;
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (EqualsIgnoreCase(names[i], name)) return args[i];
    }
    throw Refused(Refusal::kFailed, target.Name() + " lacks '" + std::string(name) + "'");
  };
  if (EqualsIgnoreCase(member, "ChangeUserPassword")) {
    // The manager changes nothing for a wrong old password and says
    // nothing: here the old password is checked first, and its refusals
    // count as refused sign-ins do.
    const Variant user = arg("theUserName");
    const Variant old_password = arg("OldPassword");
    Variant result;
    long wait = 0;
    try {
      wait = ThrottledAttempt(caller.tenant.account, CStr(user), caller.address,
                              caller.sign_in_limits, [&] {
                                if (!PasswordMatches(caller.tenant.account, user, old_password)) {
                                  Raise(errCSecurityMgr::eInvalidUserInfo, "wrong old password");
                                }
                                result = Invoke(target, args);
                              });
    } catch (const Error& e) {
      if (e.Number() != errCSecurityMgr::eInvalidUserInfo) throw;
      throw Refused(Refusal::kForbidden, "the old password is not " + CStr(user) + "'s");
    }
    if (wait > 0) throw TooManyAttempts(wait);
    return result;
  }
  if (EqualsIgnoreCase(member, "GetSysSession")) {
    // The session as its firm sees it: the Account as the firm's number,
    // not the path of its database.
    const Variant token = arg("Token");
    return Observed(target, [&] {
      const auto found = SysSessions::FromQuery(
          caller.tenant.account,
          "SELECT SysSessionsID, ? AS Account, UserName, Token, LastUpdate FROM SysSessions "
          "WHERE Token=?;",
          {Parameter::Text(caller.tenant.account_no), Parameter::QuotedText(token)});
      return Variant(std::static_pointer_cast<Object>(found->ItemAs<SysSessions>(1)));
    });
  }
  return std::nullopt;
}

Variant CallPath::CallNamed(const Principal& caller, std::string_view class_name,
                            std::string_view member, const NamedArgs& named,
                            bool missing_is_empty) const {
  const Target target = FindTarget(class_name, member);
  CheckAccess(caller, target);
  NamedArgs input;
  input.reserve(named.size() + 3);
  for (const auto& [name, value] : named) {
    if (FilledFromSession(name)) {
      throw Refused(Refusal::kBadRequest, "'" + name + "' is taken from the session, not the input",
                    errnum::kNamedArgumentNotFound);
    }
    input.emplace_back(name, value);
  }
  // Filled in CheckedCall; named here so that binding finds them given.
  for (const std::string& arg : target.member->arg_names) {
    if (FilledFromSession(arg)) input.emplace_back(arg, Variant());
  }
  return CheckedCall(caller, target, Bind(target, {}, input, missing_is_empty));
}

Variant CallPath::Call(const Principal& caller, std::string_view class_name,
                       std::string_view member, std::vector<Variant> rest) const {
  const Target target = FindTarget(class_name, member);
  std::vector<Variant> args;
  std::size_t next = 0;
  for (const std::string& arg : target.member->arg_names) {
    if (FilledFromSession(arg)) {
      args.emplace_back();
    } else if (next < rest.size()) {
      args.push_back(std::move(rest[next++]));
    } else {
      throw Refused(Refusal::kBadRequest, target.Name() + " needs the argument '" + arg + "'",
                    errnum::kArgumentNotOptional);
    }
  }
  if (next != rest.size()) {
    throw Refused(Refusal::kBadRequest, target.Name() + " takes fewer arguments",
                  errnum::kWrongArgumentCount);
  }
  return CheckedCall(caller, target, std::move(args));
}

std::string SignIn(const Tenant& tenant, const std::string& user, const std::string& password,
                   const std::string& address, const SessionPolicy& policy) {
  // A name wider than the column names nobody: refused before anything is
  // counted or stored for it. The column counts characters, not bytes.
  const auto characters = std::count_if(user.begin(), user.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  });
  if (characters > UserNameWidth()) {
    Raise(errCSecurityMgr::eInvalidUserInfo,
          FillMessage("The logon information you entered was incorrect."));
  }
  // Sessions expired for an hour at least: a process started with shorter
  // limits than the others of the firm (while settings change) removes no
  // session they still honour.
  const auto seconds_before = [](double seconds) {
    return Date::FromSerial(Now().Serial() - std::max(seconds, 3600.0) / 86400.0);
  };
  std::string token;
  const long wait = ThrottledAttempt(tenant.account, user, address, policy.sign_ins, [&] {
    token = CSecurityMgr{}.BeginUserSession(tenant.account, user, password);
    NoteSignIn(tenant.account, token);
    RemoveExpiredSessions(tenant.account, seconds_before(policy.max_age_seconds),
                          seconds_before(policy.idle_seconds));
  });
  if (wait > 0) throw TooManyAttempts(wait);
  return token;
}

Principal Authenticate(const Tenant& tenant, const std::string& token,
                       const SessionPolicy& policy) {
  // The session and its user are read in one statement.
  const std::optional<SessionState> session = FindSession(tenant.account, token);
  if (!session) throw Refused(Refusal::kUnauthorized, "unknown token");
  const double now = Now().Serial();
  const double since_sign_in = (now - session->signed_in.Serial()) * 86400.0;
  const double unused = (now - session->last_use.Serial()) * 86400.0;
  if (since_sign_in > policy.max_age_seconds) {
    throw Refused(Refusal::kUnauthorized, "the session has expired");
  }
  if (unused > policy.idle_seconds) {
    throw Refused(Refusal::kUnauthorized, "the session has expired after going unused");
  }
  if (!session->user) throw Refused(Refusal::kUnauthorized, "the session's user no longer exists");
  Principal caller;
  caller.tenant = tenant;
  caller.user = session->user_name;
  caller.token = Variant(token);
  caller.sign_in_limits = policy.sign_ins;
  // A request writes the session's last use at most once a minute (more
  // often only for an idle limit under four minutes).
  if (unused >= std::clamp(policy.idle_seconds / 4, 1.0, 60.0)) {
    NoteUse(tenant.account, token, *session);
  }
  caller.record = Variant(std::static_pointer_cast<Object>(session->user));
  caller.user_id = CLng(Property(caller.record, "IUserID"));
  const Variant admin = Property(caller.record, "Admin");
  caller.admin = admin.Type() == VarType::Boolean && admin.AsBool();
  return caller;
}

Principal Authenticate(const Tenant& tenant, const std::string& token, double max_age_seconds) {
  SessionPolicy policy;
  policy.max_age_seconds = max_age_seconds;
  policy.idle_seconds = std::max(max_age_seconds, 0.0);
  return Authenticate(tenant, token, policy);
}

}  // namespace brivos::app
