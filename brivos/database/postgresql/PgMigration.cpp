#include <functional>
#include <memory>
#include <string>

#include "brivos/database/Database.hpp"
#include "brivos/database/Migration.hpp"
#include "brivos/database/internal/DatabaseError.hpp"
#include "brivos/database/postgresql/PgBackend.hpp"
#include "brivos/database/sqlite/SqliteBackend.hpp"
#include "brivos/foundation/Ascii.hpp"
#include "brivos/foundation/Error.hpp"

namespace brivos {

namespace {

// A value read from the file, bound as the kind it holds; a Null binds
// untyped and takes its column's type.
Parameter AsParameter(const Variant& v) {
  switch (v.Type()) {
    case VarType::Long:
      return Parameter::Long(v);
    case VarType::Double:
      return Parameter::Double(v);
    case VarType::Currency:
      return Parameter::Currency(v);
    case VarType::Boolean:
      return Parameter::Boolean(v);
    case VarType::Date:
      return Parameter::Date(v);
    default:
      return Parameter::Text(v);
  }
}

}  // namespace

std::vector<MovedTable> CopyFileIntoActiveDatabase(const Variant& account,
                                                   const std::function<void()>& provision) {
  if (dynamic_cast<internal::PgBackend*>(&ActiveBackend()) == nullptr) {
    internal::RaiseDatabase(errnum::kDbFailure,
                            "A subscriber moves into a PostgreSQL database: set BRIVOS_DATABASE_URL.");
  }
  internal::SqliteBackend files;
  const std::shared_ptr<Session> source = files.Connect(files.Locate(account));
  const auto tables = source->Query(
      "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite%' ORDER BY name",
      {});
  std::vector<MovedTable> moved;
  // The rows go in with the schema, in its creating transaction.
  internal::PgBackend::CreateWith(provision, [&](Session& target) {
    Connection db = Connection::Borrow(target);
    for (const std::vector<Variant>& table_row : tables->Rows()) {
      const std::string table = CStr(table_row[0]);
      const auto rows = source->Query("SELECT * FROM \"" + table + "\"", {});
      const std::vector<std::string>& names = *rows->FieldNames();
      db.Execute("DELETE FROM " + table);
      std::string insert = "INSERT INTO " + table + " (";
      std::string marks;
      for (const std::string& name : names) {
        insert += (marks.empty() ? "" : ",") + name;
        marks += marks.empty() ? "?" : ",?";
      }
      insert += ") VALUES (" + marks + ")";
      std::vector<Parameter> params;
      for (const std::vector<Variant>& row : rows->Rows()) {
        params.clear();
        for (const Variant& v : row) params.push_back(AsParameter(v));
        db.Execute(insert, params);
      }
      // New rows take keys past the highest one copied.
      if (!names.empty()) {
        db.Query("SELECT setval(pg_get_serial_sequence('" + AsciiLowered(table) + "', '" +
                 AsciiLowered(names[0]) + "'), coalesce(max(" + names[0] + "), 0) + 1, false) FROM " +
                 table);
      }
      moved.push_back(MovedTable{table, static_cast<std::int64_t>(rows->Rows().size())});
    }
  });
  return moved;
}

}  // namespace brivos
