#include "brivos/security/CSecurityMgr.hpp"

#include "brivos/automation/TypeLibrary.hpp"
#include "brivos/foundation/Database.hpp"
#include "brivos/foundation/Messages.hpp"
#include "brivos/security/Guid.hpp"

namespace brivos {

using P = Parameter;

const ClassInfo& CSecurityMgr::Info() {
  static const ClassInfo info(
      "CSecurityMgr", true, [] { return std::make_shared<CSecurityMgr>(); },
      {
          BindMethod("BeginUserSession", {"Account", "UserName", "Password"},
                     &CSecurityMgr::BeginUserSession),
          BindMethod("EndUserSession", {"Account", "UserName"}, &CSecurityMgr::EndUserSession),
          BindMethod("GetSysSession", {"Account", "Token"}, &CSecurityMgr::GetSysSession),
          BindMethod("ChangeUserPassword", {"Account", "theUserName", "OldPassword", "NewPassword"},
                     &CSecurityMgr::ChangeUserPassword),
      });
  return info;
}

std::string CSecurityMgr::BeginUserSession(Variant& Account, Variant& UserName, Variant& Password) {
  return Guard([&] {
    // One unit of work: concurrent sign-ins of one user leave one session.
    UnitOfWork work(Account);
    Connection& db = work.Db();
    auto users = db.Query("SELECT * FROM IUser WHERE UserName=? AND Password=? AND AllowLogon=1;",
                          {P::Text(UserName, 30), P::Text(Password, 30)});
    if (users->RecordCount() == 0) {
      Raise(errCSecurityMgr::eInvalidUserInfo,
            FillMessage("The logon information you entered was incorrect."));
    }
    db.Execute("DELETE FROM SysSessions WHERE Account=? AND UserName=?;",
               {P::Text(Account, 30), P::Text(UserName, 30)});
    std::string token = CreateGUIDString();
    db.Execute("INSERT INTO SysSessions (Account,UserName,Token) VALUES (?,?,?);",
               {P::Text(Account, 30), P::Text(UserName, 30), P::Text(token, 255)});
    work.Commit();
    return token;
  });
}

void CSecurityMgr::EndUserSession(Variant& Account, Variant& UserName) {
  Guard([&] {
    OpenRecordset(Account, "DELETE FROM SysSessions WHERE Account=" + SqlQuote(Account) +
                               " AND UserName=" + SqlQuote(UserName) + ";");
  });
}

std::shared_ptr<SysSessions> CSecurityMgr::GetSysSession(Variant& Account, Variant& Token) {
  return Guard([&] {
    auto sessions = SysSessions::LoadList(Account, Variant(), "Token=" + SqlQuote(Token));
    return sessions->ItemAs<SysSessions>(1);
  });
}

void CSecurityMgr::ChangeUserPassword(Variant& Account, Variant& theUserName, Variant& OldPassword,
                                      Variant& NewPassword) {
  Guard([&] {
    Connection::Open(Account).Execute(
        "UPDATE IUser SET Password=? WHERE UserName=? AND Password=?;",
        {P::Text(NewPassword, 30), P::Text(theUserName, 30), P::Text(OldPassword, 30)});
  });
}

}  // namespace brivos
