#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "brivos/automation/Manager.hpp"
#include "brivos/database/Database.hpp"
#include "brivos/records/RecordSchema.hpp"

// Writes built from a record class's column list: each column is named once
// per statement, with its value beside it, and bound as the column's kind.
//
//   std::int32_t id = Insert<IProject>(db, {{IProject::kName, a.Name}, ...});
//   Update<IProject>(db, a.ProjectID, {{IProject::kStatus, eProjectStatus::psActive}});
//
// A column set gives one statement text, which the connection keeps prepared.
// In a manager method, the columns written with the argument of the same
// name are listed by name alone:
//
//   Update<SFAProspect>(db, a.CustomerID, {{C::kCompanyName, a.Name},
//                                          BRIVOS_ARG_COLUMNS(C, City, Province)});

// {T::kName, a.Name} for each Name.
#define BRIVOS_ARG_COLUMNS(T, ...) BRIVOS_FOR_EACH_WITH_(BRIVOS_ARG_COLUMN_, T, __VA_ARGS__)
#define BRIVOS_ARG_COLUMN_(T, x) \
  { T::k##x, a.x }

namespace brivos {

// One column of a row being written, and its value. A NaN, an infinity or a
// number beyond Currency's range for a Double or Currency column raises 6
// before anything is written; otherwise the value converts as the column's
// kind when bound.
template <class T>
struct ColumnValue {
  typename T::Column column;
  Variant value;
};

namespace internal {

// The statement text and parameters of one write, built column by column.
class RowWrite {
 public:
  RowWrite(const RecordSchema& schema, std::size_t columns);
  void Add(std::size_t column, const Variant& value);
  // INSERT INTO table (columns) VALUES (?, ...); the new row's key.
  std::int32_t Insert(Connection& db);
  // UPDATE table SET column=?, ... WHERE `where`; the rows changed.
  int Update(Connection& db, std::string_view where, std::span<const Parameter> where_params);

 private:
  const RecordSchema& schema_;
  std::vector<std::string_view> names_;
  std::vector<Parameter> params_;
};

template <class T>
RowWrite RowOf(std::initializer_list<ColumnValue<T>> values) {
  RowWrite row(T::Schema(), values.size());
  for (const ColumnValue<T>& v : values) row.Add(v.column, v.value);
  return row;
}

}  // namespace internal

// Inserts one row of T's table with these columns (the others take their
// defaults) and returns the key the database gave it.
template <class T>
std::int32_t Insert(Connection& db, std::initializer_list<ColumnValue<T>> values) {
  return internal::RowOf<T>(values).Insert(db);
}

// Sets these columns of the row of T's table whose key is `key` (bound as
// the key column is written); returns the rows changed, 0 for an unknown key.
template <class T>
int Update(Connection& db, const Variant& key, std::initializer_list<ColumnValue<T>> values) {
  const Parameter id{ColumnType::Long, key};
  const std::string where = std::string(T::Schema().columns[0].column) + "=?";
  return internal::RowOf<T>(values).Update(db, where, {&id, 1});
}

// Sets these columns of every row of T's table that `where` selects, its
// "?" placeholders bound to `params` in order; returns the rows changed.
template <class T>
int UpdateWhere(Connection& db, std::initializer_list<ColumnValue<T>> values,
                std::string_view where, std::span<const Parameter> params) {
  return internal::RowOf<T>(values).Update(db, where, params);
}
template <class T>
int UpdateWhere(Connection& db, std::initializer_list<ColumnValue<T>> values,
                std::string_view where, std::initializer_list<Parameter> params) {
  return internal::RowOf<T>(values).Update(db, where, {params.begin(), params.size()});
}

// The same on a connection of their own to the database `account` names.
template <class T>
std::int32_t Insert(const Variant& account, std::initializer_list<ColumnValue<T>> values) {
  Connection db = Connection::Open(account);
  return Insert<T>(db, values);
}
template <class T>
int Update(const Variant& account, const Variant& key,
           std::initializer_list<ColumnValue<T>> values) {
  Connection db = Connection::Open(account);
  return Update<T>(db, key, values);
}
template <class T>
int UpdateWhere(const Variant& account, std::initializer_list<ColumnValue<T>> values,
                std::string_view where, std::initializer_list<Parameter> params) {
  Connection db = Connection::Open(account);
  return UpdateWhere<T>(db, values, where, params);
}

}  // namespace brivos
