#include "brivos/database/sqlite/Authorizer.hpp"

#include <sqlite3.h>

#include <cstring>
#include <string_view>

#include "brivos/database/Database.hpp"
#include "brivos/foundation/Ascii.hpp"

namespace brivos::internal {

namespace {

// The pragmas that only describe the database, whatever their argument: the
// ones SQLite also offers as table-valued functions (pragma_table_info).
bool IsDescriptivePragma(const char* name) {
  static constexpr std::string_view kNames[] = {
      "table_info",  "table_xinfo",   "table_list",       "index_info",     "index_xinfo",
      "index_list",  "database_list", "foreign_key_list", "collation_list", "function_list",
      "module_list", "pragma_list",   "compile_options",
  };
  if (name == nullptr) return false;
  for (std::string_view known : kNames) {
    if (EqualsIgnoreCase(name, known)) return true;
  }
  return false;
}

// Functions that reach beyond the database: loading code, and the full-text
// tokenizer's registry, which hands out and takes native pointers.
bool IsRefusedFunction(const char* name) {
  static constexpr std::string_view kNames[] = {"load_extension", "fts3_tokenizer"};
  if (name == nullptr) return false;
  for (std::string_view refused : kNames) {
    if (EqualsIgnoreCase(name, refused)) return true;
  }
  return false;
}

}  // namespace

int AuthorizeCallerText(int action, const char* name, const char* detail, const char* database) {
  const bool own_database = database == nullptr || std::strcmp(database, "main") == 0;
  switch (action) {
    case SQLITE_FUNCTION:
      // The function's name comes in the fourth argument.
      return IsRefusedFunction(detail) ? SQLITE_DENY : SQLITE_OK;
    case SQLITE_READ:
      // The table and column come in the third and fourth arguments. A
      // hidden secret reads as NULL wherever the statement uses it.
      if (!own_database) return SQLITE_DENY;
      return SecretColumnsHidden::Active() && name != nullptr && detail != nullptr &&
                     IsSecretColumn(name, detail)
                 ? SQLITE_IGNORE
                 : SQLITE_OK;
    case SQLITE_INSERT:
    case SQLITE_UPDATE:
    case SQLITE_DELETE:
      // SQLite fills a RETURNING clause with the written row's values even
      // where the read is ignored: while secrets are hidden, a table holding
      // one is not written.
      if (!own_database) return SQLITE_DENY;
      return SecretColumnsHidden::Active() && name != nullptr && HoldsSecretColumn(name)
                 ? SQLITE_DENY
                 : SQLITE_OK;
    case SQLITE_CREATE_TRIGGER:
    case SQLITE_ALTER_TABLE:
      // While secrets are hidden: a trigger would run later, inside another
      // caller's statement, and a renamed table or column would not be hidden.
      return own_database && !SecretColumnsHidden::Active() ? SQLITE_OK : SQLITE_DENY;
    case SQLITE_SELECT:
    case SQLITE_RECURSIVE:
    case SQLITE_CREATE_TABLE:
    case SQLITE_CREATE_INDEX:
    case SQLITE_CREATE_VIEW:
    case SQLITE_DROP_TABLE:
    case SQLITE_DROP_INDEX:
    case SQLITE_DROP_VIEW:
    case SQLITE_DROP_TRIGGER:
    case SQLITE_REINDEX:
    case SQLITE_ANALYZE:
      return own_database ? SQLITE_OK : SQLITE_DENY;
    case SQLITE_PRAGMA:
      return IsDescriptivePragma(name) ? SQLITE_OK : SQLITE_DENY;
    default:
      return SQLITE_DENY;
  }
}

}  // namespace brivos::internal
