#include "brivos/security/internal/InternalTables.hpp"

#include "brivos/database/Database.hpp"

namespace brivos::internal {

void CreateTableIfMissing(const Variant& account, const RecordSchema& schema) {
  Connection db = Connection::Open(account);
  const std::string ddl = schema.Ddl();
  std::size_t at = 0;
  while (at < ddl.size()) {
    std::size_t end = ddl.find(";\n", at);
    if (end == std::string::npos) end = ddl.size();
    std::string statement = ddl.substr(at, end - at);
    at = end + 2;
    for (const std::string_view kind : {"CREATE TABLE ", "CREATE INDEX "}) {
      if (statement.starts_with(kind)) statement.insert(kind.size(), "IF NOT EXISTS ");
    }
    if (!statement.empty()) db.Execute(statement);
  }
}

}  // namespace brivos::internal
