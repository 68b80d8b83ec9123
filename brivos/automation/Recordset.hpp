#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "brivos/automation/Dispatch.hpp"

namespace brivos {

// A client-side, static, disconnected row set: fields read by name (letter
// case ignored) or 0-based position, rows in the order the statement gave
// them, an end-of-rows test and forward movement. It holds no connection.
// A new set is positioned on its first row (at its end when it has none).
class Recordset final : public Dispatch<Recordset> {
 public:
  static const ClassInfo& Info();

  Recordset();
  explicit Recordset(std::vector<std::string> field_names);
  // A set whose field names are shared with other sets (the sets a prepared
  // statement returns).
  explicit Recordset(std::shared_ptr<const std::vector<std::string>> field_names);

  // Building (the database layer and in-memory sets).
  void AppendField(std::string name);
  // Adds a row and makes it the current row. `values` has one value per field.
  void AddRow(std::vector<Variant> values);
  // A statement that returns no rows (UPDATE, DELETE) leaves the set closed:
  // it has no fields and reading it raises 3704.
  void SetClosed(bool closed) { closed_ = closed; }
  bool IsOpen() const { return !closed_; }

  bool Eof() const;
  bool Bof() const;
  void MoveFirst();
  void MoveNext();  // Error 3021 when already at the end
  std::int32_t RecordCount() const;
  std::int32_t FieldCount() const;
  const std::string& FieldName(std::int32_t index) const;
  // The position of a field, or -1.
  int FindField(std::string_view name) const;
  // The current row's value. Error 3265 for an unknown name, 3021 at the end.
  const Variant& Field(std::string_view name) const;
  const Variant& Field(std::int32_t index) const;
  // Late-bound Fields(name or 0-based index).
  Variant Fields(const Variant& index) const;

  // The field names, shared by every set of the statement that made this one.
  const std::shared_ptr<const std::vector<std::string>>& FieldNames() const { return names_; }
  // Raw rows, for code that walks every row (record loaders).
  const std::vector<std::vector<Variant>>& Rows() const { return rows_; }
  std::size_t Position() const { return pos_; }
  // Moves every row out, leaving the set with its fields and no rows (for a
  // loader that owns the set and turns its rows into records).
  std::vector<std::vector<Variant>> TakeRows();

 private:
  void CheckOpen() const;
  const std::vector<Variant>& CurrentRow() const;

  // Shared between the sets of one statement; copied before a change.
  std::shared_ptr<const std::vector<std::string>> names_;
  std::vector<std::vector<Variant>> rows_;
  std::size_t pos_ = 0;
  bool before_first_ = false;
  bool closed_ = false;
};

}  // namespace brivos
