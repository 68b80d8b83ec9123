#include "brivos/security/SignInThrottle.hpp"

#include <algorithm>
#include <cmath>

#include "brivos/database/Database.hpp"
#include "brivos/foundation/Ascii.hpp"
#include "brivos/foundation/Clock.hpp"
#include "brivos/foundation/Error.hpp"
#include "brivos/records/IUser.hpp"
#include "brivos/records/Record.hpp"
#include "brivos/security/errCSecurityMgr.hpp"
#include "brivos/security/internal/InternalTables.hpp"

namespace brivos {

namespace {

// The row that counts a user's refusals from every address.
constexpr std::string_view kAllAddresses = "*";

// Refusals of one user name from one address (or from all, Address "*")
// since WindowStart.
const RecordSchema& SignInAttemptsSchema() {
  static const RecordSchema schema(
      "SignInAttempts",
      {{"SignInAttemptsID", "SignInAttemptsID", ColumnType::Key, 0, kNoFlags},
       {"UserName", "UserName", ColumnType::Text, UserNameWidth(), kNoFlags},
       {"Address", "Address", ColumnType::Text, 64, kSecret},
       {"Failures", "Failures", ColumnType::Long, 0, kNoFlags},
       {"WindowStart", "WindowStart", ColumnType::Date, 0, kIndexed}},
      {}, nullptr, {{1, 2}});
  return schema;
}

[[maybe_unused]] const bool kRegistered = RegisterRecordSchema(&SignInAttemptsSchema);

Date SecondsBefore(const Date& when, std::chrono::seconds seconds) {
  return Date::FromSerial(when.Serial() - static_cast<double>(seconds.count()) / 86400.0);
}

void CountRefusal(Connection& db, const std::string& user, std::string_view address,
                  const Date& now) {
  const int changed =
      db.Execute("UPDATE SignInAttempts SET Failures=Failures+1 WHERE UserName=? AND Address=?;",
                 {Parameter::Text(user), Parameter::Text(std::string(address))});
  if (changed > 0) return;
  db.Execute(
      "INSERT INTO SignInAttempts (UserName, Address, Failures, WindowStart) VALUES (?,?,?,?);",
      {Parameter::Text(user), Parameter::Text(std::string(address)), Parameter::Long(1),
       Parameter::Date(now)});
}

long Attempt(const Variant& account, const std::string& user, std::string_view address,
             const SignInLimits& limits, const std::function<void()>& check) {
  const Date now = Now();
  UnitOfWork work(account);
  Connection& db = work.Db();
  db.Execute("DELETE FROM SignInAttempts WHERE WindowStart<=?;",
             {Parameter::Date(SecondsBefore(now, limits.window))});
  const auto rows = db.Query(
      "SELECT Address, Failures, WindowStart FROM SignInAttempts WHERE UserName=? AND "
      "(Address=? OR Address=?);",
      {Parameter::Text(user), Parameter::Text(std::string(address)),
       Parameter::Text(std::string(kAllAddresses))});
  long wait = 0;
  for (const std::vector<Variant>& row : rows->Rows()) {
    const bool all = CStr(row[0]) == kAllAddresses;
    if (CLng(row[1]) < (all ? limits.per_user : limits.per_address)) continue;
    const double left = (CDate(row[2]).Serial() - now.Serial()) * 86400.0 +
                        static_cast<double>(limits.window.count());
    wait = std::max(wait, std::max(1L, static_cast<long>(std::ceil(left - 0.5))));
  }
  if (wait > 0) {
    work.Commit();
    return wait;
  }
  try {
    check();
  } catch (const Error& e) {
    if (e.Number() != errCSecurityMgr::eInvalidUserInfo) throw;
    CountRefusal(db, user, address, now);
    CountRefusal(db, user, kAllAddresses, now);
    work.Commit();
    throw;
  }
  db.Execute("DELETE FROM SignInAttempts WHERE UserName=? AND Address=?;",
             {Parameter::Text(user), Parameter::Text(std::string(address))});
  work.Commit();
  return 0;
}

}  // namespace

int UserNameWidth() { return IUser::Schema().columns[IUser::kUserName].width; }

long ThrottledAttempt(const Variant& account, std::string_view user, std::string_view address,
                      const SignInLimits& limits, const std::function<void()>& check) {
  const std::string folded = AsciiLowered(user);
  return internal::WithTable(account, SignInAttemptsSchema(),
                             [&] { return Attempt(account, folded, address, limits, check); });
}

bool PasswordMatches(const Variant& account, const Variant& user, const Variant& password) {
  using U = IUser;
  const auto rows =
      Connection::Open(account).Query("SELECT COUNT(*) FROM IUser WHERE UserName=? AND Password=?;",
                                      {U::P(U::kUserName, user), U::P(U::kPassword, password)});
  return CLng(rows->Field(0)) > 0;
}

}  // namespace brivos
