#pragma once

#include <string>
#include <string_view>

namespace brivos::internal {

// The text PostgreSQL is given for a statement written for the library's
// dialect: each "?" placeholder becomes $1, $2, ... in order; an explicit
// ASC sorts NULL first and DESC last, as SQLite does; string literals,
// quoted identifiers and comments are left as they are.
std::string TranslateStatement(std::string_view sql);

// A schema script with its double-quoted identifiers unquoted, so that
// tables and columns are reachable unquoted in any letter case.
std::string UnquoteIdentifiers(std::string_view ddl);

// True when a caller's own statement text (a report) may run: it reads or
// writes tables, views, indexes and triggers only. Transaction control,
// settings, temporary objects, functions, roles, COPY, LISTEN and the like
// are refused, and so are calls of the functions that reach past the schema
// (advisory locks, other sessions, large objects, files) or run a
// text of their own (query_to_xml, ts_stat).
bool IsConfinedStatement(std::string_view sql);

// The spelling of the word `name` (compared ignoring case) where it stands
// as a whole word in `sql`; "" when it does not.
std::string SpellingIn(std::string_view sql, std::string_view name);

// A name quoted as a PostgreSQL identifier or literal.
std::string QuoteIdentifier(std::string_view name);
std::string QuoteLiteral(std::string_view text);

}  // namespace brivos::internal
