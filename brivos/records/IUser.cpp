#include "brivos/records/IUser.hpp"

#include "brivos/database/Database.hpp"
#include "brivos/records/IExpenseReport.hpp"
#include "brivos/records/ISubScriber.hpp"

namespace brivos {

// Sign-in finds a user by name alone, the caller lookup by name within the
// subscriber: both lead with the name.
BRIVOS_RECORD_DEFINITION(IUser, BRIVOS_IUSER_COLUMNS, BRIVOS_IUSER_RELATIONS,
                         {kUserName, kSubscriberID});

std::shared_ptr<IUser> IUser::FindByName(const Variant& Account, const Variant& ProfileAccount,
                                         const Variant& UserName) {
  auto users = Select(
      Account, "UserName=? AND Parent=(SELECT ISubScriberID FROM ISubScriber WHERE AccountNo=?)",
      {Parameter::QuotedText(UserName), Parameter::QuotedText(AccountNumberOf(ProfileAccount))});
  if (users->Count() == 0) return nullptr;
  return users->ItemAs<IUser>(1);
}

std::shared_ptr<IUser> IUser::Caller(const Variant& Account, const Variant& UserName) {
  std::shared_ptr<IUser> caller = FindByName(Account, Account, UserName);
  if (!caller) RaiseRuntime(errnum::kNoObject);
  return caller;
}

}  // namespace brivos
