#pragma once

// A table of sums of another table's rows kept by triggers on that table:
// every writer, the library's or a statement of its own, keeps the sums
// right. Each row of the sums holds a key, the number of the rows it sums
// (a row of the sums whose last row leaves is deleted) and a sum per column.
// A row changed under the same key changes its row of the sums in place
// (one statement); one changing its key leaves one row for another.

#include <functional>
#include <string>
#include <vector>

#include "brivos/foundation/Variant.hpp"

namespace brivos {

// An expression over a row of the summed table, given the name of the row
// ("NEW", "OLD" or an alias).
using RowExpression = std::function<std::string(const std::string& row)>;

struct SummedColumn {
  std::string name;
  RowExpression of;
};

struct SummedTable {
  std::string table;                 // the sums
  std::string source;                // the table summed
  std::vector<SummedColumn> keys;    // never Null: their expressions give a value for every row
  std::string count;                 // the column of the number of rows
  std::vector<SummedColumn> sums;    // double precision
  RowExpression counts;              // whether a row of the source counts
  std::vector<std::string> watched;  // the source's columns the keys and sums read
};

// The statements making the table of sums and its triggers in a new
// database of the active backend.
std::string SummedTableDdl(const SummedTable& summed);

// Adds the table of sums and its triggers to the database an Account names,
// made before they existed, filled with the sums of its rows; nothing when
// the table is there. All or nothing; rows written meanwhile are summed.
void AddSummedTable(const Variant& account, const SummedTable& summed);

}  // namespace brivos
