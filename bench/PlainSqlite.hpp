#pragma once

// The plain twin of every benchmark: sqlite3 code as a tuned caller writes
// it. One connection per thread, kept open for the whole run, with the
// library's durability settings (the file is in WAL mode; busy timeout,
// synchronous=FULL or what BRIVOS_SYNCHRONOUS chooses); statements prepared
// once, then reset and rebound on every use; rows read into plain values.

#include <sqlite3.h>
#include <strings.h>
#include <sys/random.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "brivos/brivos.hpp"
#include "brivos/database/Database.hpp"

namespace brivos::bench {

// Any failure of plain code is a broken benchmark, not a measurement.
inline void Check(int rc, sqlite3* db, std::string_view what = "") {
  if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE) return;
  const std::string context(what);
  std::fprintf(stderr, "sqlite (%s): %s\n", context.c_str(),
               db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
  std::abort();
}

// The synchronous setting the library gives its connections.
inline const char* LibrarySynchronousPragma() {
  const char* mode = std::getenv("BRIVOS_SYNCHRONOUS");
  if (mode != nullptr && strcasecmp(mode, "NORMAL") == 0) return "PRAGMA synchronous=NORMAL;";
  return "PRAGMA synchronous=FULL;";
}

class PlainDb {
 public:
  explicit PlainDb(const std::string& file) {
    Check(sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr),
          db_, file);
    Check(sqlite3_busy_timeout(db_, 10000), db_);
    Check(sqlite3_exec(db_, LibrarySynchronousPragma(), nullptr, nullptr, nullptr), db_);
  }
  PlainDb(const PlainDb&) = delete;
  PlainDb& operator=(const PlainDb&) = delete;
  ~PlainDb() { sqlite3_close_v2(db_); }

  sqlite3* get() const { return db_; }
  void Exec(const char* sql) { Check(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr), db_, sql); }

 private:
  sqlite3* db_ = nullptr;
};

// One value per column, as plain C++ reading code would keep it.
using RawValue = std::variant<std::monostate, std::int64_t, double, std::string>;
using RawRow = std::vector<RawValue>;

// A value bound to a column: Null, an integer, a real or a text. A text is
// held by reference and must outlive the statement run that binds it.
using Value = std::variant<std::monostate, std::int64_t, double, std::string_view>;

class PlainStatement {
 public:
  PlainStatement(PlainDb& db, std::string_view sql) : db_(db.get()) {
    Check(sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()),
                             SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr),
          db_, sql);
  }
  PlainStatement(const PlainStatement&) = delete;
  PlainStatement& operator=(const PlainStatement&) = delete;
  ~PlainStatement() { sqlite3_finalize(stmt_); }

  PlainStatement& Bind(int i, std::string_view text) {
    Check(sqlite3_bind_text(stmt_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT),
          db_);
    return *this;
  }
  PlainStatement& Bind(int i, std::int64_t v) {
    Check(sqlite3_bind_int64(stmt_, i, v), db_);
    return *this;
  }
  PlainStatement& Bind(int i, double v) {
    Check(sqlite3_bind_double(stmt_, i, v), db_);
    return *this;
  }
  PlainStatement& BindNull(int i) {
    Check(sqlite3_bind_null(stmt_, i), db_);
    return *this;
  }
  PlainStatement& Bind(int i, std::monostate) { return BindNull(i); }
  PlainStatement& BindValue(int i, const Value& v) {
    std::visit([&](const auto& x) { Bind(i, x); }, v);
    return *this;
  }

  // Steps once: true while a row is available.
  bool Step() {
    const int rc = sqlite3_step(stmt_);
    Check(rc, db_, sqlite3_sql(stmt_));
    return rc == SQLITE_ROW;
  }
  // Runs a statement that returns no rows.
  void Run() {
    Step();
    Reset();
  }
  void Reset() { sqlite3_reset(stmt_); }

  int Columns() const { return sqlite3_column_count(stmt_); }
  std::int64_t Int(int c) const { return sqlite3_column_int64(stmt_, c); }
  double Real(int c) const { return sqlite3_column_double(stmt_, c); }
  bool IsNull(int c) const { return sqlite3_column_type(stmt_, c) == SQLITE_NULL; }
  std::string Text(int c) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, c));
    return std::string(p == nullptr ? "" : p,
                       static_cast<std::size_t>(sqlite3_column_bytes(stmt_, c)));
  }

  // The current row as values.
  void Read(RawRow& row) const {
    const int columns = Columns();
    row.resize(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) {
      RawValue& v = row[static_cast<std::size_t>(c)];
      switch (sqlite3_column_type(stmt_, c)) {
        case SQLITE_INTEGER:
          v = static_cast<std::int64_t>(sqlite3_column_int64(stmt_, c));
          break;
        case SQLITE_FLOAT:
          v = sqlite3_column_double(stmt_, c);
          break;
        case SQLITE_TEXT:
          v = Text(c);
          break;
        default:
          v = std::monostate();
          break;
      }
    }
  }

  // Every remaining row, then reset.
  std::vector<RawRow> ReadAll() {
    std::vector<RawRow> rows;
    while (Step()) Read(rows.emplace_back());
    Reset();
    return rows;
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

// The integer in the first column of the first row of `sql`, run with
// `args` bound in order; stops the run when there is no row.
template <class... Args>
std::int64_t IntOf(PlainDb& db, std::string_view sql, const Args&... args) {
  PlainStatement statement(db, sql);
  int i = 0;
  (statement.Bind(++i, args), ...);
  if (!statement.Step()) std::abort();
  return statement.Int(0);
}

// Stops the run: a row written to the table of `schema` is wrong.
[[noreturn]] inline void RefuseRow(const RecordSchema& schema, const std::string& why) {
  std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(schema.table.size()), schema.table.data(),
               why.c_str());
  std::abort();
}

// Stops the run when `value` cannot be column `column` of `schema`: a text
// for a number or a number for a text, or a text longer than the column.
inline void CheckFits(const RecordSchema& schema, std::size_t column, const Value& value) {
  const ColumnDef& c = schema.columns[column];
  const bool text = c.type == ColumnType::Text || c.type == ColumnType::Memo;
  const bool real =
      c.type == ColumnType::Double || c.type == ColumnType::Currency || c.type == ColumnType::Date;
  const std::size_t kind = value.index();  // Null, integer, real, text
  const bool fits =
      kind == 0 || (kind == 1 && !text) || (kind == 2 && real) ||
      (kind == 3 && text && std::get<3>(value).size() <= static_cast<std::size_t>(c.width));
  if (!fits) RefuseRow(schema, std::string(c.column) + " does not take the value given");
}

// INSERTs into the table of record class T, each row naming its columns by
// the class's column enumeration with the value beside: the statement's
// column names come from the class's column list, so a column the class no
// longer has fails to compile, and a value that does not fit its column
// stops the first row that gives it. The statement is prepared on the first
// row and again whenever a row names other columns than the one before.
template <class T>
class PlainInsert {
 public:
  struct Field {
    typename T::Column column;
    Value value;
  };

  explicit PlainInsert(PlainDb& db) : db_(db) {}

  // Inserts the row of `fields` and returns its key.
  std::int64_t Row(std::initializer_list<Field> fields) {
    const auto same = [](const Field& f, std::size_t c) { return f.column == c; };
    if (!std::equal(fields.begin(), fields.end(), columns_.begin(), columns_.end(), same)) {
      Prepare(fields);
    }
    int i = 0;
    for (const Field& f : fields) {
      CheckFits(schema_, f.column, f.value);
      statement_->BindValue(++i, f.value);
    }
    statement_->Run();
    return sqlite3_last_insert_rowid(db_.get());
  }

 private:
  void Prepare(std::initializer_list<Field> fields) {
    columns_.clear();
    std::string names, marks;
    for (const Field& f : fields) {
      if (std::find(columns_.begin(), columns_.end(), f.column) != columns_.end()) {
        RefuseRow(schema_, std::string(schema_.columns[f.column].column) + " named twice");
      }
      columns_.push_back(f.column);
      (names += names.empty() ? "" : ",") += schema_.columns[f.column].column;
      marks += marks.empty() ? "?" : ",?";
    }
    statement_ =
        std::make_unique<PlainStatement>(db_, "INSERT INTO " + std::string(schema_.table) + " (" +
                                                  names + ") VALUES (" + marks + ");");
  }

  PlainDb& db_;
  const RecordSchema& schema_ = T::Schema();
  std::vector<std::size_t> columns_;
  std::unique_ptr<PlainStatement> statement_;
};

// Sets column `column` of every row of T's table to `value`.
template <class T>
void SetEveryRow(PlainDb& db, typename T::Column column, const Value& value) {
  CheckFits(T::Schema(), column, value);
  PlainStatement(db, "UPDATE " + std::string(T::Schema().table) + " SET " +
                         std::string(T::Schema().columns[column].column) + "=?;")
      .BindValue(1, value)
      .Run();
}

// The caller lookup every manager call makes, as plain code runs it: the
// IUser row of a user name in the subscriber of an account.
class PlainCaller {
 public:
  PlainCaller(PlainDb& db, const Variant& account)
      : find_(db, IUser::Schema().select +
                      " WHERE UserName=? AND Parent=(SELECT ISubScriberID FROM ISubScriber "
                      "WHERE AccountNo=?);"),
        account_number_(AccountNumberOf(account)) {}

  const RawRow& Find(std::string_view user) {
    find_.Bind(1, user).Bind(2, account_number_);
    if (!find_.Step()) std::abort();
    find_.Read(row_);
    find_.Reset();
    return row_;
  }

 private:
  PlainStatement find_;
  std::string account_number_;
  RawRow row_;
};

// 32 uppercase hexadecimal digits of 128 random bits, as a session token.
inline std::string NewToken() {
  unsigned char bytes[16];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n <= 0) std::abort();
    got += static_cast<std::size_t>(n);
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string token(32, '0');
  for (std::size_t i = 0; i < sizeof bytes; ++i) {
    token[2 * i] = kHex[bytes[i] >> 4];
    token[2 * i + 1] = kHex[bytes[i] & 0x0F];
  }
  return token;
}

// The local date and time as a day serial, to the whole second.
inline double LocalNowSerial() { return SystemNow().Serial(); }

}  // namespace brivos::bench
