#include "brivos/database/sqlite/SqliteError.hpp"

#include <sqlite3.h>

#include "brivos/foundation/Error.hpp"

namespace brivos::internal {

static_assert(SQLITE_OK == 0 && SQLITE_ROW == 100 && SQLITE_DONE == 101);

void RaiseSqlite(sqlite3* db, int rc, SqlStage stage, std::string_view text) {
  const int primary = rc & 0xff;
  if (stage == SqlStage::kOpen && primary == SQLITE_CANTOPEN) {
    RaiseDatabase(errnum::kDbCannotOpen, "Could not find file '" + std::string(text) + "'.");
  }
  if (primary == SQLITE_INTERRUPT) RaiseDatabase(errnum::kDbTimeout, "Query timeout expired");
  std::int32_t number = errnum::kDbFailure;
  if (primary == SQLITE_CONSTRAINT) {
    number = errnum::kDbConstraint;
  } else if ((stage == SqlStage::kPrepare && primary == SQLITE_ERROR) || primary == SQLITE_AUTH) {
    number = errnum::kDbStatementRejected;
  } else if (primary == SQLITE_CANTOPEN || primary == SQLITE_NOTADB) {
    number = errnum::kDbCannotOpen;
  }
  // The connection's message describes `rc` only when it was the last call on it.
  std::string description;
  if (db != nullptr && (sqlite3_extended_errcode(db) == rc || sqlite3_errcode(db) == primary)) {
    description = sqlite3_errmsg(db);
  } else {
    description = sqlite3_errstr(rc);
  }
  if (number == errnum::kDbStatementRejected && stage != SqlStage::kOpen && !text.empty()) {
    description += " in statement: ";
    description += text;
  }
  throw Error(number, std::string(kDatabaseSource), std::move(description));
}

}  // namespace brivos::internal
