#pragma once

// Tables the service keeps beside the records' (sign-in counts, session
// use): created with every new database, and on first use in a database
// made before they existed.

#include "brivos/foundation/Error.hpp"
#include "brivos/foundation/Variant.hpp"
#include "brivos/records/RecordSchema.hpp"

namespace brivos::internal {

// Creates the table of `schema` and its indexes in the database `account`
// names, unless they exist.
void CreateTableIfMissing(const Variant& account, const RecordSchema& schema);

// `work()`; when a statement of it is rejected (a database older than the
// table), the table is created and `work()` runs once more.
template <class F>
auto WithTable(const Variant& account, const RecordSchema& schema, F&& work) {
  try {
    return work();
  } catch (const Error& e) {
    if (e.Number() != errnum::kDbStatementRejected) throw;
  }
  CreateTableIfMissing(account, schema);
  return work();
}

}  // namespace brivos::internal
