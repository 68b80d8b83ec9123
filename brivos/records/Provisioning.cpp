#include "brivos/records/Provisioning.hpp"

#include "brivos/database/Database.hpp"
#include "brivos/records/ISubScriber.hpp"
#include "brivos/records/ISubscriberLocation.hpp"
#include "brivos/records/IUser.hpp"
#include "brivos/records/RecordSchema.hpp"
#include "brivos/records/SlipWeeks.hpp"
#include "brivos/records/Write.hpp"

namespace brivos {

void CreateSubscriberDatabase(const std::string& account, const std::string& companyName,
                              const std::string& mainUserName,
                              const std::string& mainUserPassword) {
  Guarded("BRIVOS", [&] {
    const Variant path(account);
    std::string ddl;
    for (const RecordSchema* schema : AllRecordSchemas()) ddl += schema->Ddl();
    ddl += SlipWeeksDdl();
    CreateDatabase(path, ddl, [&](Connection& db) {
      using S = ISubScriber;
      const std::int32_t subscriber = Insert<S>(db, {{S::kCompanyName, companyName},
                                                     {S::kAccountNo, AccountNumberOf(path)},
                                                     {S::kNextInvoiceNumber, 1},
                                                     {S::kNextExpenseReportNumber, 1},
                                                     {S::kNextClientAccountNumber, 1}});
      using L = ISubscriberLocation;
      Insert<L>(db,
                {{L::kSubscriberID, subscriber}, {L::kName, companyName}, {L::kIsPrimary, true}});
      using U = IUser;
      Insert<U>(db, {{U::kSubscriberID, subscriber},
                     {U::kUserName, mainUserName},
                     {U::kPassword, mainUserPassword},
                     {U::kAdmin, true},
                     {U::kMainUser, true},
                     {U::kAllowLogon, true}});
    });
  });
}

}  // namespace brivos
