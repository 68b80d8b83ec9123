#include "brivos/database/Migration.hpp"

#include "brivos/database/Database.hpp"
#include "brivos/database/internal/DatabaseError.hpp"
#include "brivos/foundation/Error.hpp"

namespace brivos {

std::vector<MovedTable> CountRows(const Variant& account, const std::vector<std::string>& tables) {
  Connection db = Connection::Open(account);
  std::vector<MovedTable> counts;
  for (const std::string& table : tables) {
    const auto rows = db.Query("SELECT COUNT(*) FROM " + table);
    counts.push_back(MovedTable{table, static_cast<std::int64_t>(CDbl(rows->Field(0)))});
  }
  return counts;
}

#ifndef BRIVOS_WITH_POSTGRESQL
std::vector<MovedTable> CopyFileIntoActiveDatabase(const Variant&, const std::function<void()>&) {
  internal::RaiseDatabase(errnum::kDbFailure,
                          "This build of the library has no PostgreSQL backend (libpq was not "
                          "found when it was built).");
}
#endif

}  // namespace brivos
