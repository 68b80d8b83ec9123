#include "brivos/database/postgresql/PgError.hpp"

#include <libpq-fe.h>

#include <cstring>
#include <string>

#include "brivos/foundation/Error.hpp"

namespace brivos::internal {

void RaisePg(PGconn* conn, const PGresult* result, std::string_view sql) {
  const char* state = result == nullptr ? nullptr : PQresultErrorField(result, PG_DIAG_SQLSTATE);
  const char* primary =
      result == nullptr ? nullptr : PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY);
  std::string message = primary != nullptr ? primary
                        : conn != nullptr  ? PQerrorMessage(conn)
                                           : "no connection";
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  const std::string code = state == nullptr ? "" : state;
  if (code.starts_with("23")) RaiseDatabase(errnum::kDbConstraint, message + ".");
  // 25006: a write in a read-only transaction (a client's report statement).
  if (code.starts_with("42") || code == "3F000" || code == "0A000" || code == "25006") {
    RaiseDatabase(errnum::kDbStatementRejected, message + " in statement: " + std::string(sql));
  }
  if (code == "57014") RaiseDatabase(errnum::kDbTimeout, "Query timeout expired");
  if (code == "22003") RaiseRuntime(errnum::kOverflow);
  RaiseDatabase(errnum::kDbFailure, message + ".");
}

void CheckPg(PGconn* conn, const PGresult* result, std::string_view sql) {
  const ExecStatusType status = result == nullptr ? PGRES_FATAL_ERROR : PQresultStatus(result);
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_EMPTY_QUERY) {
    return;
  }
  RaisePg(conn, result, sql);
}

ResultHolder::~ResultHolder() { PQclear(r); }

}  // namespace brivos::internal
