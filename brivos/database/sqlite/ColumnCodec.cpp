#include "brivos/database/sqlite/ColumnCodec.hpp"

#include <sqlite3.h>

#include <cstdint>
#include <string>

#include "brivos/database/sqlite/SqliteError.hpp"
#include "brivos/foundation/Ascii.hpp"
#include "brivos/foundation/Error.hpp"

namespace brivos::internal {

namespace {

Variant IntegerValue(sqlite3_int64 i) {
  if (i >= INT32_MIN && i <= INT32_MAX) return Variant(static_cast<std::int32_t>(i));
  return Variant(static_cast<double>(i));
}

Variant TextValue(sqlite3_stmt* stmt, int col) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, col));
  const int n = sqlite3_column_bytes(stmt, col);
  return Variant(std::string(p == nullptr ? "" : p, static_cast<std::size_t>(n)));
}

int BindOne(sqlite3_stmt* stmt, int index, const Parameter& p) {
  const Variant& v = p.value;
  if (v.IsNull() || v.IsEmpty()) return sqlite3_bind_null(stmt, index);
  switch (p.kind) {
    case Parameter::Kind::Key:
    case Parameter::Kind::Long:
      return sqlite3_bind_int64(stmt, index, CLng(v));
    case Parameter::Kind::Double:
      return sqlite3_bind_double(stmt, index, CDbl(v));
    case Parameter::Kind::Currency: {
      // Stored as a real and read back through Currency::FromDouble: a value
      // whose real form reads back as another value (possible beyond about
      // 225 billion) is refused before anything is written.
      const Currency value = CCur(v);
      if (Currency::FromDouble(value.ToDouble()) != value) RaiseRuntime(errnum::kOverflow);
      return sqlite3_bind_double(stmt, index, value.ToDouble());
    }
    case Parameter::Kind::Boolean:
      return sqlite3_bind_int(stmt, index, CBool(v) ? 1 : 0);
    case Parameter::Kind::Date:
      return sqlite3_bind_double(stmt, index, CDate(v).Serial());
    case Parameter::Kind::Text:
    case Parameter::Kind::Memo:
      if (v.Type() == VarType::String) {
        const std::string& s = v.AsString();
        return sqlite3_bind_text64(stmt, index, s.data(), s.size(), SQLITE_STATIC, SQLITE_UTF8);
      } else {
        const std::string s = CStr(v);
        return sqlite3_bind_text64(stmt, index, s.data(), s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
      }
  }
  return SQLITE_OK;
}

}  // namespace

ColumnKind KindOfDeclaredType(const char* decl) {
  if (decl == nullptr) return ColumnKind::kUntyped;
  struct Prefix {
    std::string_view text;
    ColumnKind kind;
  };
  static constexpr Prefix kPrefixes[] = {
      {"INT", ColumnKind::kLong},          {"DOUBLE", ColumnKind::kDouble},
      {"REAL", ColumnKind::kDouble},       {"FLOAT", ColumnKind::kDouble},
      {"CURRENCY", ColumnKind::kCurrency}, {"BOOLEAN", ColumnKind::kBoolean},
      {"DATETIME", ColumnKind::kDate},     {"DATE", ColumnKind::kDate},
      {"VARCHAR", ColumnKind::kText},      {"MEMO", ColumnKind::kText},
      {"TEXT", ColumnKind::kText},         {"CHAR", ColumnKind::kText},
  };
  for (const Prefix& p : kPrefixes) {
    if (StartsWithIgnoreCase(decl, p.text)) return p.kind;
  }
  return ColumnKind::kUntyped;
}

Variant ReadColumn(sqlite3_stmt* stmt, int col, ColumnKind kind) {
  const int storage = sqlite3_column_type(stmt, col);
  if (storage == SQLITE_NULL) return Variant::Null();
  const bool numeric = storage == SQLITE_INTEGER || storage == SQLITE_FLOAT;
  switch (kind) {
    case ColumnKind::kLong:
      if (storage == SQLITE_INTEGER) return IntegerValue(sqlite3_column_int64(stmt, col));
      if (storage == SQLITE_FLOAT) return Variant(sqlite3_column_double(stmt, col));
      break;
    case ColumnKind::kDouble:
      if (numeric) return Variant(sqlite3_column_double(stmt, col));
      break;
    case ColumnKind::kCurrency:
      if (numeric) return Variant(Currency::FromDouble(sqlite3_column_double(stmt, col)));
      break;
    case ColumnKind::kBoolean:
      if (numeric) return Variant(sqlite3_column_double(stmt, col) != 0.0);
      break;
    case ColumnKind::kDate:
      if (numeric) return Variant(Date::FromSerial(sqlite3_column_double(stmt, col)));
      if (storage == SQLITE_TEXT) {
        Date d;
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, col));
        if (p != nullptr && Date::TryParse(p, d)) return Variant(d);
      }
      break;
    case ColumnKind::kText:
      return TextValue(stmt, col);
    case ColumnKind::kUntyped:
      if (storage == SQLITE_INTEGER) return IntegerValue(sqlite3_column_int64(stmt, col));
      if (storage == SQLITE_FLOAT) return Variant(sqlite3_column_double(stmt, col));
      break;
  }
  return TextValue(stmt, col);
}

void BindParameters(sqlite3* db, sqlite3_stmt* stmt, std::span<const Parameter> params,
                    std::string_view sql) {
  for (std::size_t i = 0; i < params.size(); ++i) {
    CheckSqlite(db, BindOne(stmt, static_cast<int>(i + 1), params[i]), SqlStage::kBind, sql);
  }
}

}  // namespace brivos::internal
