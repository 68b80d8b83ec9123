#pragma once

#include <string_view>

#include "brivos/database/internal/DatabaseError.hpp"

struct pg_conn;
struct pg_result;

namespace brivos::internal {

// Raises the brivos::Error for a failed PostgreSQL call. This is the one
// place where SQLSTATE codes are turned into error numbers:
//   class 23 (not null, unique, check: a width)      -> -2147217873
//   class 42 (syntax, unknown table or column, a
//   refused privilege: another subscriber's tables)  -> -2147217900 (the SQL is quoted)
//   3F000 (unknown schema), 0A000 (not supported),
//   25006 (a write in a read-only transaction)       -> -2147217900
//   57014 (a report past its time budget)            -> -2147217871 "Query timeout expired"
//   22003 (a number out of range)                    -> 6
//   anything else, a lost connection included        -> -2147467259
// `result` may be null (the error is then the connection's).
[[noreturn]] void RaisePg(pg_conn* conn, const pg_result* result, std::string_view sql);

// Raises unless `result` reports success; clears nothing.
void CheckPg(pg_conn* conn, const pg_result* result, std::string_view sql);

// Frees a result however its use ends.
struct ResultHolder {
  pg_result* r;
  explicit ResultHolder(pg_result* result) : r(result) {}
  ResultHolder(ResultHolder&& other) noexcept : r(other.r) { other.r = nullptr; }
  ResultHolder(const ResultHolder&) = delete;
  ResultHolder& operator=(const ResultHolder&) = delete;
  ResultHolder& operator=(ResultHolder&&) = delete;
  ~ResultHolder();
};

}  // namespace brivos::internal
