#include "brivos/records/Provisioning.hpp"

#include "brivos/database/Database.hpp"
#include "brivos/records/RecordSchema.hpp"

namespace brivos {

void CreateSubscriberDatabase(const std::string& account, const std::string& companyName,
                              const std::string& mainUserName,
                              const std::string& mainUserPassword) {
  Guarded("BRIVOS", [&] {
    const Variant path(account);
    std::string script;
    for (const RecordSchema* schema : AllRecordSchemas()) script += schema->Ddl();
    const std::string company = SqlQuote(Variant(companyName));
    const std::string subscriber = "(SELECT ISubScriberID FROM ISubScriber)";
    script +=
        "INSERT INTO ISubScriber (CompanyName,AccountNo,NextInvoiceNumber,"
        "NextExpenseReportNumber,NextClientAccountNumber) VALUES (" +
        company + "," + SqlQuote(Variant(AccountNumberOf(path))) + ",1,1,1);\n";
    script += "INSERT INTO ISubscriberLocation (Parent,Name,IsPrimary) VALUES (" + subscriber +
              "," + company + ",1);\n";
    script += "INSERT INTO IUser (Parent,UserName,Password,Admin,MainUser,AllowLogon) VALUES (" +
              subscriber + "," + SqlQuote(Variant(mainUserName)) + "," +
              SqlQuote(Variant(mainUserPassword)) + ",1,1,1);\n";
    CreateDatabaseFile(DatabasePathOf(BuildConnectionString(path)), script);
  });
}

}  // namespace brivos
