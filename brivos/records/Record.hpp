#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "brivos/automation/Object.hpp"
#include "brivos/foundation/Collection.hpp"
#include "brivos/foundation/Database.hpp"
#include "brivos/records/RecordSchema.hpp"

namespace brivos {

// A read-only snapshot of one row. Every field starts Empty; LoadRow fills
// them once. Single related records are cached once found; collections are
// read again on every access.
class Record : public Object {
 public:
  explicit Record(const RecordSchema& schema);

  const RecordSchema& Schema() const { return schema_; }
  std::string ClassName() const override;
  Variant Invoke(std::string_view member, std::vector<Variant>& args) override;

  // The value of column `index` (loader order): Empty if never loaded, Null
  // for a NULL column, else the value as the database gave it.
  const Variant& Field(std::size_t index) const { return fields_[index]; }
  // Fills every field from the current row of `rows`, reading the columns by
  // name. A missing column raises 3265; the set is not moved.
  void LoadRow(const Recordset& rows);

  // The related record or collection of relation `relation` (schema order),
  // under the error convention of this class.
  std::shared_ptr<Record> RelatedOne(std::size_t relation, const Variant& account);
  std::shared_ptr<Collection> RelatedMany(std::size_t relation, const Variant& account);

 protected:
  // The library-internal setter of column `index`.
  void SetField(std::size_t index, Variant value) { fields_[index] = std::move(value); }

 private:
  friend std::shared_ptr<Collection> RecordsFrom(const RecordSchema&, const Recordset&,
                                                 std::vector<std::vector<Variant>>);

  const RecordSchema& schema_;
  std::vector<Variant> fields_;
  std::vector<std::shared_ptr<Record>> cache_;  // one slot per relation
};

// The loader every record class shares: SELECT the schema's columns, WHERE
// the key equals `id` (a number; Error 13 otherwise) or else the `where` text,
// ORDER BY `order_by`; one record per row, keyed by its key as text. Empty
// arguments are not given. Follows the error convention of the class.
std::shared_ptr<Collection> LoadList(const RecordSchema& schema, const Variant& account,
                                     const Variant& id = Variant(),
                                     const Variant& where = Variant(),
                                     const Variant& order_by = Variant());

// The record of `schema` whose key is `id`, or nullptr. Unlike LoadList, an
// Empty `id` is not "no filter": anything but a number raises 13 (94 for Null).
std::shared_ptr<Record> LoadByKey(const RecordSchema& schema, const Variant& account,
                                  const Variant& id);

// Query into records: one record of `schema` per row of `rows`, keyed by its
// key as text.
std::shared_ptr<Collection> RecordsFrom(const RecordSchema& schema, const Recordset& rows);
// The same, taking the values out of `rows` (laid out as the fields of
// `fields`) instead of copying them.
std::shared_ptr<Collection> RecordsFrom(const RecordSchema& schema, const Recordset& fields,
                                        std::vector<std::vector<Variant>> rows);

// The factory a schema names: a new, empty record of class T.
template <class T>
std::shared_ptr<Record> MakeRecord() {
  return std::make_shared<T>();
}

// Typed related-record access for record classes.
template <class T>
std::shared_ptr<T> RelatedOneAs(Record& self, std::size_t relation, const Variant& account) {
  return std::static_pointer_cast<T>(self.RelatedOne(relation, account));
}

}  // namespace brivos

// Declares the typed part of a record class from its column list. The list is
// a macro taking COL(property, column, type, width, flags) per column.
#define BRIVOS_RECORD_ENUM_(property, column, type, width, flags) k##property,
#define BRIVOS_RECORD_GETTER_(property, column, type, width, flags) \
  ::brivos::Variant property() const { return Field(k##property); }
#define BRIVOS_RECORD_COLUMN_(property, column, type, width, flags) \
  ::brivos::ColumnDef{#property, #column, ::brivos::ColumnType::type, width, flags},

#define BRIVOS_RECORD(Class, COLUMNS)                                                      \
 public:                                                                                   \
  enum Column : std::size_t { COLUMNS(BRIVOS_RECORD_ENUM_) kColumnCount };                 \
  COLUMNS(BRIVOS_RECORD_GETTER_)                                                           \
  static const ::brivos::RecordSchema& Schema();                                           \
  Class() : ::brivos::Record(Schema()) {}                                                  \
  static std::shared_ptr<::brivos::Collection> LoadList(                                   \
      const ::brivos::Variant& account, const ::brivos::Variant& id = ::brivos::Variant(), \
      const ::brivos::Variant& where = ::brivos::Variant(),                                \
      const ::brivos::Variant& order_by = ::brivos::Variant()) {                           \
    return ::brivos::LoadList(Schema(), account, id, where, order_by);                     \
  }                                                                                        \
  /* The record whose key is `id` (a number: Error 13 otherwise, 94 for */                 \
  /* Null), or nullptr when no row has that key. */                                        \
  static std::shared_ptr<Class> Load(const ::brivos::Variant& account,                     \
                                     const ::brivos::Variant& id) {                        \
    return std::static_pointer_cast<Class>(::brivos::LoadByKey(Schema(), account, id));    \
  }

// The column definitions of a list, for the schema in the class's source file.
#define BRIVOS_RECORD_COLUMNS(COLUMNS) \
  std::vector<::brivos::ColumnDef> { COLUMNS(BRIVOS_RECORD_COLUMN_) }
