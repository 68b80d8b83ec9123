#include "brivos/database/postgresql/PgText.hpp"

#include <cctype>
#include <vector>

#include "brivos/foundation/Ascii.hpp"

namespace brivos::internal {

namespace {

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// Calls `word(begin, end)` for every bare word and `other(i)` for every
// other character outside literals, quoted names and comments; those are
// copied through `keep(begin, end)` untouched.
template <typename Word, typename Other, typename Keep>
void Scan(std::string_view sql, Word word, Other other, Keep keep) {
  std::size_t i = 0;
  const std::size_t n = sql.size();
  while (i < n) {
    const char c = sql[i];
    std::size_t end = i;
    if (c == '\'' || c == '"') {
      end = i + 1;
      while (end < n) {
        if (sql[end] == c) {
          if (end + 1 < n && sql[end + 1] == c) {
            end += 2;
            continue;
          }
          ++end;
          break;
        }
        ++end;
      }
      keep(i, end);
    } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
      end = sql.find('\n', i);
      if (end == std::string_view::npos) end = n;
      keep(i, end);
    } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
      end = sql.find("*/", i + 2);
      end = end == std::string_view::npos ? n : end + 2;
      keep(i, end);
    } else if (IsWordChar(c)) {
      while (end < n && IsWordChar(sql[end])) ++end;
      word(i, end);
    } else {
      other(i);
      end = i + 1;
    }
    i = end;
  }
}

std::vector<std::string> Words(std::string_view sql, std::size_t most) {
  std::vector<std::string> words;
  Scan(
      sql,
      [&](std::size_t b, std::size_t e) {
        if (words.size() < most) words.push_back(AsciiLowered(sql.substr(b, e - b)));
      },
      [](std::size_t) {}, [](std::size_t, std::size_t) {});
  return words;
}

}  // namespace

std::string TranslateStatement(std::string_view sql) {
  std::string out;
  out.reserve(sql.size() + 16);
  int placeholder = 0;
  Scan(
      sql,
      [&](std::size_t b, std::size_t e) {
        const std::string_view w = sql.substr(b, e - b);
        out += w;
        if (EqualsIgnoreCase(w, "ASC")) out += " NULLS FIRST";
        if (EqualsIgnoreCase(w, "DESC")) out += " NULLS LAST";
      },
      [&](std::size_t i) {
        if (sql[i] == '?') {
          out += '$';
          out += std::to_string(++placeholder);
        } else {
          out += sql[i];
        }
      },
      [&](std::size_t b, std::size_t e) { out += sql.substr(b, e - b); });
  return out;
}

std::string UnquoteIdentifiers(std::string_view ddl) {
  std::string out;
  out.reserve(ddl.size());
  for (char c : ddl) {
    if (c != '"') out += c;
  }
  return out;
}

bool IsConfinedStatement(std::string_view sql) {
  const std::vector<std::string> w = Words(sql, 4);
  if (w.empty()) return false;
  const std::string& first = w[0];
  if (first == "select" || first == "with" || first == "values" || first == "table" ||
      first == "insert" || first == "update" || first == "delete") {
    // SELECT ... INTO makes a table, possibly a temporary one: refused.
    bool into = false;
    if (first == "select") {
      Scan(
          sql, [&](std::size_t b, std::size_t e) { into |= EqualsIgnoreCase(sql.substr(b, e - b), "into"); },
          [](std::size_t) {}, [](std::size_t, std::size_t) {});
    }
    return !into;
  }
  const auto object = [&](std::size_t at) {
    if (at >= w.size()) return false;
    const std::string& o = w[at];
    return o == "table" || o == "view" || o == "index" || o == "trigger";
  };
  if (first == "create") {
    if (w.size() > 1 && w[1] == "unique") return object(2);
    if (w.size() > 2 && w[1] == "or" && w[2] == "replace") return object(3);
    return object(1);
  }
  if (first == "drop") return object(1);
  if (first == "alter") return w.size() > 1 && w[1] == "table";
  return false;
}

std::string SpellingIn(std::string_view sql, std::string_view name) {
  std::string found;
  Scan(
      sql,
      [&](std::size_t b, std::size_t e) {
        if (found.empty() && EqualsIgnoreCase(sql.substr(b, e - b), name)) {
          found = sql.substr(b, e - b);
        }
      },
      [](std::size_t) {}, [](std::size_t, std::size_t) {});
  return found;
}

std::string QuoteIdentifier(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string QuoteLiteral(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

}  // namespace brivos::internal
