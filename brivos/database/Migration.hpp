#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "brivos/foundation/Variant.hpp"

namespace brivos {

// The rows of one table a move copied.
struct MovedTable {
  std::string table;
  std::int64_t rows = 0;
};

// Copies every row of the SQLite file an Account names (see DatabaseFileOf)
// into the database the same Account names on the active backend, which
// must be PostgreSQL (BRIVOS_DATABASE_URL). `provision` creates that
// database (CreateSubscriberDatabase, which refuses one that exists and
// leaves it untouched); the copy runs in the transaction that creates it:
// the rows provisioning wrote are replaced, every key is kept, each table's
// key sequence is set past its highest key, and the number counters come
// over as the file holds them. All or nothing: when the copy fails, the
// database, its role and its rows are never created. Returns the rows
// copied per table, in the order of the tables' names.
std::vector<MovedTable> CopyFileIntoActiveDatabase(const Variant& account,
                                                   const std::function<void()>& provision);

// The number of rows of each table of the database an Account names, on
// the active backend, for the tables `tables` names.
std::vector<MovedTable> CountRows(const Variant& account, const std::vector<std::string>& tables);

}  // namespace brivos
