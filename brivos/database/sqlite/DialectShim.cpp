#include "brivos/database/sqlite/DialectShim.hpp"

#include <sqlite3.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>

#include "brivos/database/sqlite/SqliteError.hpp"
#include "brivos/foundation/Clock.hpp"
#include "brivos/foundation/Date.hpp"
#include "brivos/foundation/Error.hpp"
#include "brivos/foundation/Variant.hpp"

namespace brivos::internal {

namespace {

constexpr std::string_view kLeftFunction = "BRIVOS_LEFT";
constexpr std::string_view kRightFunction = "BRIVOS_RIGHT";

bool IsWordChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' ||
         u == '$' || u >= 0x80;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

// End of the quoted run that starts at `i` (quote doubled inside to escape).
std::size_t SkipQuoted(std::string_view sql, std::size_t i) {
  const char open = sql[i];
  const char close = open == '[' ? ']' : open;
  std::size_t j = i + 1;
  while (j < sql.size()) {
    if (sql[j] == close) {
      if (close != ']' && j + 1 < sql.size() && sql[j + 1] == close) {
        j += 2;
        continue;
      }
      return j + 1;
    }
    ++j;
  }
  return j;
}

// --- text helpers (UTF-8, counted in characters) ---

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

std::size_t CharCount(std::string_view s) {
  std::size_t n = 0;
  for (char c : s) n += IsContinuation(static_cast<unsigned char>(c)) ? 0 : 1;
  return n;
}

// Byte offset of character `chars` (clamped to the end).
std::size_t ByteOffset(std::string_view s, std::size_t chars) {
  std::size_t i = 0;
  while (i < s.size() && chars > 0) {
    ++i;
    while (i < s.size() && IsContinuation(static_cast<unsigned char>(s[i]))) ++i;
    --chars;
  }
  return i;
}

std::string_view TextOf(sqlite3_value* v) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
  const int n = sqlite3_value_bytes(v);
  return p == nullptr ? std::string_view() : std::string_view(p, static_cast<std::size_t>(n));
}

bool AnyNull(int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i) {
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return true;
  }
  return false;
}

void ResultText(sqlite3_context* ctx, std::string_view s) {
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

void ResultInvalidArgument(sqlite3_context* ctx) {
  sqlite3_result_error(ctx, "Invalid procedure call or argument", -1);
}

// A negative length or a start below 1 is an invalid argument, as in the
// string functions of the original dialect.
bool ReadCount(sqlite3_context* ctx, sqlite3_value* v, std::int64_t minimum, std::int64_t& out) {
  out = sqlite3_value_int64(v);
  if (out < minimum) {
    ResultInvalidArgument(ctx);
    return false;
  }
  return true;
}

// Runs a function body that may raise a brivos::Error (the coercions); the
// error becomes the SQL function's error instead of crossing into SQLite.
template <class F>
void Protected(sqlite3_context* ctx, F&& body) {
  try {
    body();
  } catch (const std::exception& e) {
    sqlite3_result_error(ctx, e.what(), -1);
  } catch (...) {
    sqlite3_result_error(ctx, "Unexpected error in SQL function", -1);
  }
}

// The SQL value as a Variant, for the coercion functions.
Variant VariantOf(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: {
      const sqlite3_int64 i = sqlite3_value_int64(v);
      if (i >= INT32_MIN && i <= INT32_MAX) return Variant(static_cast<std::int32_t>(i));
      return Variant(static_cast<double>(i));
    }
    case SQLITE_FLOAT:
      return Variant(sqlite3_value_double(v));
    case SQLITE_NULL:
      return Variant::Null();
    default:
      return Variant(std::string(TextOf(v)));
  }
}

void UCaseFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  std::string s(TextOf(argv[0]));
  for (char& c : s) c = AsciiUpper(c);
  ResultText(ctx, s);
}

void LCaseFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  std::string s(TextOf(argv[0]));
  for (char& c : s) c = AsciiLower(c);
  ResultText(ctx, s);
}

void LeftFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  std::int64_t n = 0;
  if (!ReadCount(ctx, argv[1], 0, n)) return;
  const std::string_view s = TextOf(argv[0]);
  ResultText(ctx, s.substr(0, ByteOffset(s, static_cast<std::size_t>(n))));
}

void RightFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  std::int64_t n = 0;
  if (!ReadCount(ctx, argv[1], 0, n)) return;
  const std::string_view s = TextOf(argv[0]);
  const std::size_t chars = CharCount(s);
  const std::size_t skip =
      static_cast<std::size_t>(n) >= chars ? 0 : chars - static_cast<std::size_t>(n);
  ResultText(ctx, s.substr(ByteOffset(s, skip)));
}

// MID(text, start[, length]), start 1-based.
void MidFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  std::int64_t start = 0;
  if (!ReadCount(ctx, argv[1], 1, start)) return;
  const std::string_view s = TextOf(argv[0]);
  const std::size_t from = ByteOffset(s, static_cast<std::size_t>(start - 1));
  std::string_view rest = s.substr(from);
  if (argc == 3) {
    std::int64_t length = 0;
    if (!ReadCount(ctx, argv[2], 0, length)) return;
    rest = rest.substr(0, ByteOffset(rest, static_cast<std::size_t>(length)));
  }
  ResultText(ctx, rest);
}

void LenFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(CharCount(TextOf(argv[0]))));
}

void NowFunction(sqlite3_context* ctx, int, sqlite3_value**) {
  Protected(ctx, [&] { sqlite3_result_double(ctx, Now().Serial()); });
}

// CDATE: a date text or a day serial, as a day serial.
void CDateFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const int type = sqlite3_value_type(argv[0]);
  if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
    return sqlite3_result_double(ctx, sqlite3_value_double(argv[0]));
  }
  const std::string text(TextOf(argv[0]));
  Date d;
  if (Date::TryParse(text, d)) return sqlite3_result_double(ctx, d.Serial());
  char* end = nullptr;
  const double serial = std::strtod(text.c_str(), &end);
  if (!text.empty() && end != nullptr && *end == '\0' && std::isfinite(serial)) {
    return sqlite3_result_double(ctx, serial);
  }
  sqlite3_result_error(ctx, "Type mismatch", -1);
}

void CLngFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  Protected(ctx, [&] { sqlite3_result_int64(ctx, CLng(VariantOf(argv[0]))); });
}

void CDblFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  Protected(ctx, [&] { sqlite3_result_double(ctx, CDbl(VariantOf(argv[0]))); });
}

void CCurFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  Protected(ctx, [&] {
    sqlite3_result_double(ctx, static_cast<double>(CCur(VariantOf(argv[0])).Scaled()) / 10000.0);
  });
}

void CStrFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  Protected(ctx, [&] { ResultText(ctx, CStr(VariantOf(argv[0]))); });
}

struct ShimFunction {
  const char* name;
  int args;
  bool deterministic;
  void (*fn)(sqlite3_context*, int, sqlite3_value**);
};

// Names match without regard to letter case in SQLite.
constexpr ShimFunction kShimFunctions[] = {
    {"UCASE", 1, true, UCaseFunction},      {"LCASE", 1, true, LCaseFunction},
    {"BRIVOS_LEFT", 2, true, LeftFunction}, {"BRIVOS_RIGHT", 2, true, RightFunction},
    {"MID", 2, true, MidFunction},          {"MID", 3, true, MidFunction},
    {"LEN", 1, true, LenFunction},          {"NOW", 0, false, NowFunction},
    {"CDATE", 1, true, CDateFunction},      {"CLNG", 1, true, CLngFunction},
    {"CDBL", 1, true, CDblFunction},        {"CCUR", 1, true, CCurFunction},
    {"CSTR", 1, true, CStrFunction},
};

}  // namespace

std::string RewriteDialect(std::string_view sql) {
  std::string out;
  out.reserve(sql.size() + 16);
  std::size_t i = 0;
  const std::size_t n = sql.size();
  while (i < n) {
    const char c = sql[i];
    std::size_t j = i + 1;
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
      j = SkipQuoted(sql, i);
    } else if (c == '-' && j < n && sql[j] == '-') {
      while (j < n && sql[j] != '\n') ++j;
    } else if (c == '/' && j < n && sql[j] == '*') {
      const std::size_t close = sql.find("*/", j + 1);
      j = close == std::string_view::npos ? n : close + 2;
    } else if (IsWordChar(c)) {
      while (j < n && IsWordChar(sql[j])) ++j;
      const std::string_view word = sql.substr(i, j - i);
      std::size_t k = j;
      while (k < n && IsBlank(sql[k])) ++k;
      if (k < n && sql[k] == '(') {
        if (EqualsIgnoreCase(word, "LEFT")) {
          out += kLeftFunction;
          i = j;
          continue;
        }
        if (EqualsIgnoreCase(word, "RIGHT")) {
          out += kRightFunction;
          i = j;
          continue;
        }
      }
    }
    out.append(sql.substr(i, j - i));
    i = j;
  }
  return out;
}

void RegisterDialectFunctions(sqlite3* db) {
  for (const ShimFunction& f : kShimFunctions) {
    int flags = SQLITE_UTF8 | SQLITE_INNOCUOUS;
    if (f.deterministic) flags |= SQLITE_DETERMINISTIC;
    const int rc = sqlite3_create_function_v2(db, f.name, f.args, flags, nullptr, f.fn, nullptr,
                                              nullptr, nullptr);
    CheckSqlite(db, rc, SqlStage::kOpen);
  }
}

}  // namespace brivos::internal
