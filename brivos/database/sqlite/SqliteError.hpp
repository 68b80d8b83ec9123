#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "brivos/database/internal/DatabaseError.hpp"

struct sqlite3;

namespace brivos::internal {

// Where a result code came from; a plain SQLITE_ERROR while preparing means the
// statement itself was rejected (syntax, unknown table or column).
enum class SqlStage { kOpen, kPrepare, kBind, kStep };

// Raises the brivos::Error for a failed SQLite call. This is the one place
// where result codes are turned into error numbers:
//   any SQLITE_CONSTRAINT*                 -> -2147217873
//   SQLITE_ERROR while preparing           -> -2147217900 (the SQL is quoted)
//   SQLITE_AUTH (a refused statement)      -> -2147217900 (the SQL is quoted)
//   SQLITE_CANTOPEN while opening          -> -2147467259 "Could not find file '<file>'."
//   SQLITE_CANTOPEN, SQLITE_NOTADB         -> -2147467259 (cannot open)
//   SQLITE_INTERRUPT (a report past its time budget)
//                                          -> -2147217871 "Query timeout expired"
//   anything else, SQLITE_BUSY included    -> -2147467259
// `text` is the statement, or the file for kOpen.
[[noreturn]] void RaiseSqlite(sqlite3* db, int rc, SqlStage stage, std::string_view text = {});

// Raises unless `rc` is SQLITE_OK (or SQLITE_ROW / SQLITE_DONE).
inline void CheckSqlite(sqlite3* db, int rc, SqlStage stage, std::string_view text = {}) {
  if (rc != 0 && rc != 100 && rc != 101) RaiseSqlite(db, rc, stage, text);
}

}  // namespace brivos::internal
