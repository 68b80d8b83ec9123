#include <algorithm>

#include "brivos/automation/TypeLibrary.hpp"
#include "brivos/database/Database.hpp"
#include "brivos/records/Record.hpp"
#include "brivos/records/RecordSchema.hpp"

namespace brivos {

namespace {

// Filled during static initialisation; read only after it.
std::vector<const RecordSchema& (*)()>& SchemaRegistrations() {
  static std::vector<const RecordSchema& (*)()> registrations;
  return registrations;
}

}  // namespace

bool RegisterRecordSchema(const RecordSchema& (*schema)()) {
  SchemaRegistrations().push_back(schema);
  return true;
}

const std::vector<const RecordSchema*>& AllRecordSchemas() {
  static const std::vector<const RecordSchema*> schemas = [] {
    std::vector<const RecordSchema*> list;
    for (const auto& schema : SchemaRegistrations()) list.push_back(&schema());
    std::sort(list.begin(), list.end(),
              [](const RecordSchema* a, const RecordSchema* b) { return a->table < b->table; });
    return list;
  }();
  return schemas;
}

namespace {

std::vector<EnumInfo> WidthEnums() {
  std::vector<EnumInfo> enums;
  for (const RecordSchema* schema : AllRecordSchemas()) {
    // A table without a record class is none of the callers' business.
    if (schema->create == nullptr) continue;
    enums.push_back({schema->WidthEnumName(), schema->WidthMembers()});
  }
  return enums;
}

}  // namespace

BRIVOS_REGISTER_ENUMS(kWidths, &WidthEnums);

namespace {

// The columns flagged kSecret, for the database layer to keep from callers'
// own statements.
SecretColumnList SecretColumns() {
  SecretColumnList secrets;
  for (const RecordSchema* schema : AllRecordSchemas()) {
    for (const ColumnDef& c : schema->columns) {
      if (c.flags & kSecret) secrets.emplace_back(schema->table, c.column);
    }
  }
  return secrets;
}

[[maybe_unused]] const bool kSecretsNamed = (NameSecretColumns(&SecretColumns), true);

}  // namespace

}  // namespace brivos
