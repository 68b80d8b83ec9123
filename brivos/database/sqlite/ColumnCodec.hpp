#pragma once

#include <span>
#include <string_view>

#include "brivos/database/Parameter.hpp"
#include "brivos/foundation/Variant.hpp"

struct sqlite3;
struct sqlite3_stmt;

namespace brivos::internal {

// How a column's value is read back, decided by its declared type.
enum class ColumnKind { kUntyped, kLong, kDouble, kCurrency, kBoolean, kDate, kText };

// The kind of a column declared as `decl` (nullptr for an expression).
ColumnKind KindOfDeclaredType(const char* decl);

// The value of column `col` of the current row: NULL reads as Null, other
// values as the column's kind gives them (Currency exact to four places,
// Boolean from 0 and 1, Date from a day serial); a value the kind cannot
// take reads as it is stored.
Variant ReadColumn(sqlite3_stmt* stmt, int col, ColumnKind kind);

// Binds `params` to the placeholders of `stmt` in order, each converted as
// its kind says; Null and Empty bind as NULL. A Currency value whose stored
// form would not read back as itself is refused with 6 before anything is
// written. Texts of String values are bound without a copy: `params` must
// outlive the statement's use.
void BindParameters(sqlite3* db, sqlite3_stmt* stmt, std::span<const Parameter> params,
                    std::string_view sql);

}  // namespace brivos::internal
