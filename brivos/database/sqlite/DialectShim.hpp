#pragma once

#include <string>
#include <string_view>

struct sqlite3;

namespace brivos::internal {

// The statement text SQLite is given for `sql`: every call of LEFT( or RIGHT(
// (any letter case, blanks allowed before the parenthesis) becomes a call of
// the shim's own function, because both words are keywords in SQLite. String
// literals, quoted identifiers and comments are left as they are, and so is
// LEFT JOIN.
std::string RewriteDialect(std::string_view sql);

// Registers the functions the statements use beside SQLite's own: CDATE,
// CLNG, CDBL, CCUR, CSTR, UCASE, LCASE, LEFT, RIGHT, MID, LEN and NOW. Text
// positions and lengths count characters, not bytes; a NULL argument gives
// NULL. Raises through CheckSqlite when registration fails.
void RegisterDialectFunctions(sqlite3* db);

}  // namespace brivos::internal
