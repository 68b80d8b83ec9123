#pragma once

#include <string>

namespace brivos {

// Creates <account>.mdb with the schema of every record class, the subscriber
// row (AccountNo = the account number of the path, the three counters at 1),
// one primary location named after the company and the main user (Admin,
// MainUser and AllowLogon true). All or nothing: on any failure no file is
// left behind. Raises -2147467259 when the file already exists.
void CreateSubscriberDatabase(const std::string& account, const std::string& companyName,
                              const std::string& mainUserName, const std::string& mainUserPassword);

}  // namespace brivos
