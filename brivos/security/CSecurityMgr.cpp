#include "brivos/security/CSecurityMgr.hpp"

#include "brivos/database/Database.hpp"
#include "brivos/foundation/Messages.hpp"
#include "brivos/records/IUser.hpp"
#include "brivos/records/Write.hpp"
#include "brivos/security/Guid.hpp"

namespace brivos {

BRIVOS_REGISTER_CLASS(kManager, CSecurityMgr);

using S = SysSessions;
using U = IUser;

BRIVOS_METHOD(CSecurityMgr, BeginUserSession) {
  // One unit of work: concurrent sign-ins of one user leave one session.
  UnitOfWork work(a.Account);
  Connection& db = work.Db();
  auto users = db.Query(
      "SELECT * FROM IUser WHERE UserName=? AND Password=? AND AllowLogon=?;",
      {U::P(U::kUserName, a.UserName), U::P(U::kPassword, a.Password), U::P(U::kAllowLogon, true)});
  if (users->RecordCount() == 0) {
    Raise(errCSecurityMgr::eInvalidUserInfo,
          FillMessage("The logon information you entered was incorrect."));
  }
  db.Execute("DELETE FROM SysSessions WHERE Account=? AND UserName=?;",
             {S::P(S::kAccount, a.Account), S::P(S::kUserName, a.UserName)});
  std::string token = CreateGUIDString();
  Insert<S>(db, {{S::kAccount, a.Account}, {S::kUserName, a.UserName}, {S::kToken, token}});
  work.Commit();
  return token;
}

BRIVOS_METHOD(CSecurityMgr, EndUserSession) {
  Connection::Open(a.Account).Execute(
      "DELETE FROM SysSessions WHERE Account=? AND UserName=?;",
      {Parameter::QuotedText(a.Account), Parameter::QuotedText(a.UserName)});
}

BRIVOS_METHOD(CSecurityMgr, GetSysSession) {
  return S::Select(a.Account, "Token=?", {Parameter::QuotedText(a.Token)})->ItemAs<SysSessions>(1);
}

BRIVOS_METHOD(CSecurityMgr, ChangeUserPassword) {
  UpdateWhere<U>(a.Account, {{U::kPassword, a.NewPassword}}, "UserName=? AND Password=?",
                 {U::P(U::kUserName, a.theUserName), U::P(U::kPassword, a.OldPassword)});
}

}  // namespace brivos
