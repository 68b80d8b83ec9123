#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "brivos/automation/Dispatch.hpp"
#include "brivos/database/ColumnType.hpp"

namespace brivos {

class Record;

// Flags of a column.
enum ColumnFlags : unsigned {
  kNoFlags = 0,
  kWidthMember = 1u << 0,  // has a member in the table's width enumeration
  kIndexed = 1u << 1,      // the library filters by it: gets an index
  kDefaultNow = 1u << 2,   // the database stamps new rows with the local time
  kSecret = 1u << 3,       // a credential: a caller's own statement may read it as NULL
                           // (SecretColumnsHidden, database/Database.hpp)
};

// One column of a table, in loader order.
struct ColumnDef {
  std::string_view property;  // interface name ("SubscriberID", "FAX")
  std::string_view column;    // database name ("Parent", "Fax")
  ColumnType type;
  int width;  // characters for text (2000 for memo), else 0
  unsigned flags;
};

// A related-record property. A single related record loads by the key held
// in column `key_column` and is cached; a collection loads with the filter
// "Parent=" and this record's key, and the order text (if any), on every read.
struct RelationDef {
  enum class Kind { Single, Many };
  std::string_view property;
  Kind kind;
  const struct RecordSchema& (*target)();
  std::size_t key_column = 0;      // Single: the column holding the foreign key
  std::string_view order_by = {};  // Many: "" for the database's order
};

// Everything the library knows of one table and its record class; the
// SELECT, LoadRow, the DDL, the width enumeration and the late-bound members
// all read it.
struct RecordSchema {
  RecordSchema(std::string_view table, std::vector<ColumnDef> columns,
               std::vector<RelationDef> relations, std::shared_ptr<Record> (*create)(),
               std::vector<std::vector<std::size_t>> indexes = {});

  std::string_view table;
  std::vector<ColumnDef> columns;
  std::vector<RelationDef> relations;
  std::shared_ptr<Record> (*create)();
  // Indexes over several columns (positions in `columns`), beside the
  // single-column ones the kIndexed flag asks for. A filter whose first
  // column has one value per subscriber file (Parent of IUser, Account of
  // SysSessions) leads with its selective column instead.
  std::vector<std::vector<std::size_t>> indexes;

  // "SELECT IUserID,Parent,... FROM IUser"
  std::string select;
  // Late-bound members: properties in interface order, each single related
  // record right after its key column, collections last.
  ClassInfo info;

  // CREATE TABLE and CREATE INDEX statements of the table, with the column
  // declarations of the active backend.
  std::string Ddl() const;
  // "len" + table, and ("len" + property, width) per width member.
  std::string WidthEnumName() const;
  std::vector<std::pair<std::string, std::int32_t>> WidthMembers() const;
};

// The schema of every registered record class, by table name: the tables
// provisioning creates. A table kept for the library's own use (its
// `create` is null) is among them without a record class.
const std::vector<const RecordSchema*>& AllRecordSchemas();

}  // namespace brivos
