#pragma once

namespace brivos {

// The kinds of value a column holds. Each backend declares them with types
// of its own that read back the same values: Key is the table's integer key,
// given by the database on insert; Text has a width, Memo up to 2000
// characters; texts compare ignoring letter case.
enum class ColumnType { Key, Long, Double, Currency, Boolean, Date, Text, Memo };

}  // namespace brivos
