#include "brivos/database/postgresql/PgText.hpp"

#include <algorithm>
#include <cctype>
#include <vector>

#include "brivos/foundation/Ascii.hpp"

namespace brivos::internal {

namespace {

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// The end of the dollar-quoted string opening at `i` ($$...$$ or
// $tag$...$tag$), or npos when no dollar quote opens there.
std::size_t DollarQuoteEnd(std::string_view sql, std::size_t i) {
  std::size_t tag_end = i + 1;
  while (tag_end < sql.size() && sql[tag_end] != '$') {
    const char c = sql[tag_end];
    const bool digit = c >= '0' && c <= '9';
    if (!IsWordChar(c) || (digit && tag_end == i + 1)) return std::string_view::npos;
    ++tag_end;
  }
  if (tag_end >= sql.size()) return std::string_view::npos;
  const std::string_view tag = sql.substr(i, tag_end - i + 1);
  const std::size_t close = sql.find(tag, tag_end + 1);
  return close == std::string_view::npos ? sql.size() : close + tag.size();
}

// The end of the quoted text opening at `i` with `quote`; `backslash`: a
// backslash escapes the next character (an E'...' string).
std::size_t QuotedEnd(std::string_view sql, std::size_t i, char quote, bool backslash) {
  std::size_t end = i + 1;
  while (end < sql.size()) {
    if (backslash && sql[end] == '\\') {
      end += 2;
    } else if (sql[end] == quote) {
      if (end + 1 < sql.size() && sql[end + 1] == quote) {
        end += 2;
      } else {
        return end + 1;
      }
    } else {
      ++end;
    }
  }
  return sql.size();
}

// Calls `word(begin, end)` for every bare word and `other(i)` for every
// other character outside literals, quoted names and comments; those
// (string constants in any of PostgreSQL's spellings, nested block comments)
// are copied through `keep(begin, end)` untouched.
template <typename Word, typename Other, typename Keep>
void Scan(std::string_view sql, Word word, Other other, Keep keep) {
  std::size_t i = 0;
  const std::size_t n = sql.size();
  while (i < n) {
    const char c = sql[i];
    std::size_t end = i;
    const bool after_word = i > 0 && IsWordChar(sql[i - 1]);
    if (c == '\'' || c == '"') {
      end = QuotedEnd(sql, i, c, false);
      keep(i, end);
    } else if ((c == 'e' || c == 'E') && i + 1 < n && sql[i + 1] == '\'' && !after_word) {
      end = QuotedEnd(sql, i + 1, '\'', true);
      keep(i, end);
    } else if (c == '$' && !after_word &&
               (end = DollarQuoteEnd(sql, i)) != std::string_view::npos) {
      keep(i, end);
    } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
      end = sql.find('\n', i);
      if (end == std::string_view::npos) end = n;
      keep(i, end);
    } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
      int depth = 0;
      end = i;
      do {
        if (sql.compare(end, 2, "/*") == 0) {
          ++depth;
          end += 2;
        } else if (sql.compare(end, 2, "*/") == 0) {
          --depth;
          end += 2;
        } else {
          ++end;
        }
      } while (depth > 0 && end < n);
      keep(i, std::min(end, n));
      end = std::min(end, n);
    } else if (IsWordChar(c)) {
      end = i;
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

// True when the statement's own level (not a parenthesized part) holds
// INTO other than INSERT INTO or MERGE INTO, and other than a name (a column
// label after AS, a column after a dot): a SELECT ... INTO.
bool HasSelectInto(std::string_view sql) {
  int depth = 0;
  int own_level = -1;
  std::string previous;  // the word before, lowered; "" after punctuation
  bool after_dot = false;
  bool found = false;
  Scan(
      sql,
      [&](std::size_t b, std::size_t e) {
        const std::string w = AsciiLowered(sql.substr(b, e - b));
        if (own_level < 0) own_level = depth;
        if (w == "into" && depth == own_level && !after_dot && previous != "insert" &&
            previous != "merge" && previous != "as") {
          found = true;
        }
        previous = w;
        after_dot = false;
      },
      [&](std::size_t i) {
        const char c = sql[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') return;
        depth += c == '(' ? 1 : c == ')' ? -1 : 0;
        after_dot = c == '.';
        previous.clear();
      },
      [](std::size_t, std::size_t) {});
  return found;
}

// Functions a caller's statement may not call: they reach beyond the
// subscriber's schema (locks every subscriber's units of work take, other
// sessions, large objects, files) or run a text of their own,
// which would escape the check of the statement's words.
bool IsRefusedFunction(std::string_view lowered) {
  static constexpr std::string_view kNames[] = {
      "pg_advisory_lock",
      "pg_advisory_lock_shared",
      "pg_advisory_xact_lock",
      "pg_advisory_xact_lock_shared",
      "pg_try_advisory_lock",
      "pg_try_advisory_lock_shared",
      "pg_try_advisory_xact_lock",
      "pg_try_advisory_xact_lock_shared",
      "pg_advisory_unlock",
      "pg_advisory_unlock_shared",
      "pg_advisory_unlock_all",
      "pg_cancel_backend",
      "pg_terminate_backend",
      "pg_reload_conf",
      "pg_rotate_logfile",
      "pg_log_backend_memory_contexts",
      "pg_notify",
      "query_to_xml",
      "query_to_xmlschema",
      "query_to_xml_and_xmlschema",
      "cursor_to_xml",
      "cursor_to_xmlschema",
      "ts_stat",
      "ts_rewrite",
      "pg_read_file",
      "pg_read_binary_file",
      "pg_ls_dir",
      "pg_stat_file",
      "loread",
      "lowrite",
      "dblink",
  };
  if (lowered.starts_with("lo_") || lowered.starts_with("dblink_") || lowered == "u&") return true;
  return std::find(std::begin(kNames), std::end(kNames), lowered) != std::end(kNames);
}

// True when the text calls a refused function: its name, bare, quoted or
// qualified by a schema, followed by "(" (comments between them allowed). A
// name quoted with escapes (U&"...") could spell any function: refused
// wherever it is followed by "(".
bool CallsRefusedFunction(std::string_view sql) {
  std::string name;  // the last name, lowered; "" after anything else
  bool found = false;
  Scan(
      sql, [&](std::size_t b, std::size_t e) { name = AsciiLowered(sql.substr(b, e - b)); },
      [&](std::size_t i) {
        const char c = sql[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') return;
        if (c == '(' && IsRefusedFunction(name)) found = true;
        name.clear();
      },
      [&](std::size_t b, std::size_t e) {
        if (sql[b] == '"') {
          name = b > 0 && sql[b - 1] == '&'
                     ? "u&"
                     : AsciiLowered(sql.substr(b + 1, e - b >= 2 ? e - b - 2 : 0));
        } else if (!sql.substr(b).starts_with("--") && !sql.substr(b).starts_with("/*")) {
          name.clear();  // a literal; a comment leaves the name before it
        }
      });
  return found;
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
  if (w.empty() || CallsRefusedFunction(sql)) return false;
  const std::string& first = w[0];
  if (first == "select" || first == "with" || first == "values" || first == "table" ||
      first == "insert" || first == "update" || first == "delete") {
    // SELECT ... INTO makes a table, possibly a temporary one, where a file
    // database knows no such statement: refused.
    return !((first == "select" || first == "with") && HasSelectInto(sql));
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
