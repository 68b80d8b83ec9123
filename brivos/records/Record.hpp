#pragma once

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "brivos/automation/ClassRegistry.hpp"
#include "brivos/automation/Collection.hpp"
#include "brivos/automation/Object.hpp"
#include "brivos/automation/Recordset.hpp"
#include "brivos/database/Parameter.hpp"
#include "brivos/records/RecordSchema.hpp"

namespace brivos {

// A read-only snapshot of one row. Every field starts Empty; a loader fills
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
  const Variant& Field(std::size_t index) const {
    return index < fields_.size() ? fields_[index] : kNeverLoaded;
  }
  // The related record or collection of relation `relation` (schema order),
  // under the error convention of this class.
  std::shared_ptr<Record> RelatedOne(std::size_t relation, const Variant& account);
  std::shared_ptr<Collection> RelatedMany(std::size_t relation, const Variant& account);
  // The same without the error convention, for callers that apply it
  // themselves (the late-bound properties).
  std::shared_ptr<Record> FindRelatedOne(std::size_t relation, const Variant& account);
  std::shared_ptr<Collection> FindRelatedMany(std::size_t relation, const Variant& account);

 protected:
  // The library-internal setter of column `index`.
  void SetField(std::size_t index, Variant value) {
    fields_.resize(schema_.columns.size());
    fields_[index] = std::move(value);
  }

 private:
  friend std::shared_ptr<Collection> RecordsFrom(const RecordSchema&, const Recordset&,
                                                 std::vector<std::vector<Variant>>);

  static const Variant kNeverLoaded;

  const RecordSchema& schema_;
  // Empty until the record is loaded: a list of records takes each row's
  // values over without copying them.
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

// The loader with a filter of "?" placeholders bound to `params` in order:
// SELECT the schema's columns WHERE `where` (all rows when empty) ORDER BY
// `order_by` (the database's order when empty). Follows the error
// convention of the class.
std::shared_ptr<Collection> SelectWhere(const RecordSchema& schema, const Variant& account,
                                        std::string_view where, std::span<const Parameter> params,
                                        std::string_view order_by = {});

// Query into records: the rows of `sql`, a statement selecting every column
// of the schema's table, with `params` bound in order; one record per row.
// Follows the error convention of the class.
std::shared_ptr<Collection> QueryRecords(const RecordSchema& schema, const Variant& account,
                                         std::string_view sql,
                                         std::initializer_list<Parameter> params);

// A parameter bound as column `column` of `schema` is written.
Parameter ColumnParameter(const RecordSchema& schema, std::size_t column, Variant value);

// The record of `schema` whose key is `id`, or nullptr. Unlike LoadList, an
// Empty `id` is not "no filter": anything but a number raises 13 (94 for Null).
std::shared_ptr<Record> LoadByKey(const RecordSchema& schema, const Variant& account,
                                  const Variant& id);

// Query into records: one record of `schema` per row of `rows` (laid out as
// the fields of `fields`), keyed by its key as text, taking the values over.
// A column of the schema missing from `fields` raises 3265.
std::shared_ptr<Collection> RecordsFrom(const RecordSchema& schema, const Recordset& fields,
                                        std::vector<std::vector<Variant>> rows);

// A lookup by key fails when nothing is found, as taking item 1 of an empty
// list does (9); returns the record otherwise.
template <class T>
std::shared_ptr<T> Found(std::shared_ptr<T> record) {
  if (!record) RaiseRuntime(errnum::kSubscriptOutOfRange);
  return record;
}

// Adds a record class's schema to AllRecordSchemas; see
// BRIVOS_RECORD_DEFINITION. Returns true.
bool RegisterRecordSchema(const RecordSchema& (*schema)());

// The factory a schema names: a new, empty record of class T.
template <class T>
std::shared_ptr<Record> MakeRecord() {
  return std::make_shared<T>();
}

}  // namespace brivos

// Declares the typed part of a record class from its column list and its
// relation list. The column list is a macro taking COL(property, column, type,
// width, flags) per column; the relation list a macro taking
// ONE(property, class, key property) per single related record and
// MANY(property, class, order text) per collection, "" for the database's order.
#define BRIVOS_RECORD_ENUM_(property, column, type, width, flags) k##property,
#define BRIVOS_RECORD_GETTER_(property, column, type, width, flags) \
  ::brivos::Variant property() const { return Field(k##property); }
#define BRIVOS_RECORD_COLUMN_(property, column, type, width, flags) \
  ::brivos::ColumnDef{#property, #column, ::brivos::ColumnType::type, width, flags},
#define BRIVOS_RELATION_ENUM_(property, target, key) kRel##property,
#define BRIVOS_RELATION_ONE_DECL_(property, target, key) \
  std::shared_ptr<target> property(const ::brivos::Variant& Account);
#define BRIVOS_RELATION_MANY_DECL_(property, target, order)                          \
  std::shared_ptr<::brivos::Collection> property(const ::brivos::Variant& Account) { \
    return RelatedMany(kRel##property, Account);                                     \
  }
#define BRIVOS_RELATION_ONE_DEF_(property, target, key) \
  ::brivos::RelationDef{#property, ::brivos::RelationDef::Kind::Single, &target::Schema, k##key},
#define BRIVOS_RELATION_MANY_DEF_(property, target, order) \
  ::brivos::RelationDef{#property, ::brivos::RelationDef::Kind::Many, &target::Schema, 0, order},
#define BRIVOS_RELATION_ONE_BODY_(property, target, key)                           \
  std::shared_ptr<target> ThisRecord::property(const ::brivos::Variant& Account) { \
    return std::static_pointer_cast<target>(RelatedOne(kRel##property, Account));  \
  }
#define BRIVOS_RELATION_NONE_(property, target, arg)

// The relation list of a record class without related records.
#define BRIVOS_NO_RELATIONS(ONE, MANY)

#define BRIVOS_RECORD(Class, COLUMNS, RELATIONS)                                                \
 public:                                                                                        \
  enum Column : std::size_t { COLUMNS(BRIVOS_RECORD_ENUM_) kColumnCount };                      \
  enum Relation : std::size_t {                                                                 \
    RELATIONS(BRIVOS_RELATION_ENUM_, BRIVOS_RELATION_ENUM_) kRelationCount                      \
  };                                                                                            \
  COLUMNS(BRIVOS_RECORD_GETTER_)                                                                \
  RELATIONS(BRIVOS_RELATION_ONE_DECL_, BRIVOS_RELATION_MANY_DECL_)                              \
  static const ::brivos::RecordSchema& Schema();                                                \
  static const ::brivos::ClassInfo& Info() { return Schema().info; }                            \
  Class() : ::brivos::Record(Schema()) {}                                                       \
  /* A parameter bound as column `c` of this table is written. */                               \
  static ::brivos::Parameter P(Column c, ::brivos::Variant value) {                             \
    return ::brivos::ColumnParameter(Schema(), c, std::move(value));                            \
  }                                                                                             \
  static std::shared_ptr<::brivos::Collection> LoadList(                                        \
      const ::brivos::Variant& account, const ::brivos::Variant& id = ::brivos::Variant(),      \
      const ::brivos::Variant& where = ::brivos::Variant(),                                     \
      const ::brivos::Variant& order_by = ::brivos::Variant()) {                                \
    return ::brivos::LoadList(Schema(), account, id, where, order_by);                          \
  }                                                                                             \
  static std::shared_ptr<::brivos::Collection> Select(                                          \
      const ::brivos::Variant& account, std::string_view where,                                 \
      std::initializer_list<::brivos::Parameter> params = {}, std::string_view order_by = {}) { \
    return ::brivos::SelectWhere(Schema(), account, where, {params.begin(), params.size()},     \
                                 order_by);                                                     \
  }                                                                                             \
  static std::shared_ptr<::brivos::Collection> Select(                                          \
      const ::brivos::Variant& account, std::string_view where,                                 \
      std::span<const ::brivos::Parameter> params, std::string_view order_by = {}) {            \
    return ::brivos::SelectWhere(Schema(), account, where, params, order_by);                   \
  }                                                                                             \
  static std::shared_ptr<::brivos::Collection> FromQuery(                                       \
      const ::brivos::Variant& account, std::string_view sql,                                   \
      std::initializer_list<::brivos::Parameter> params = {}) {                                 \
    return ::brivos::QueryRecords(Schema(), account, sql, params);                              \
  }                                                                                             \
  /* The record whose key is `id` (a number: Error 13 otherwise, 94 for */                      \
  /* Null), or nullptr when no row has that key. */                                             \
  static std::shared_ptr<Class> Load(const ::brivos::Variant& account,                          \
                                     const ::brivos::Variant& id) {                             \
    return std::static_pointer_cast<Class>(::brivos::LoadByKey(Schema(), account, id));         \
  }

// Registers a record class as a published class and its table as one of
// the schema's.
#define BRIVOS_REGISTER_RECORD(Class)                                                       \
  BRIVOS_REGISTER_CLASS(kRecord, Class);                                                    \
  [[maybe_unused]] static const bool BRIVOS_CONCAT(brivos_table_registered_, __COUNTER__) = \
      ::brivos::RegisterRecordSchema(&Class::Schema)

// The column definitions of a list.
#define BRIVOS_RECORD_COLUMNS(COLUMNS) \
  std::vector<::brivos::ColumnDef> { COLUMNS(BRIVOS_RECORD_COLUMN_) }

// In the record class's source file: its schema, its single related records
// and its registration. Indexes over several columns follow as lists of
// columns: {kStaffID, kTransDate}.
#define BRIVOS_RECORD_DEFINITION(Class, COLUMNS, RELATIONS, ...)          \
  namespace {                                                             \
  using ThisRecord = Class;                                               \
  }                                                                       \
  const ::brivos::RecordSchema& Class::Schema() {                         \
    static const ::brivos::RecordSchema schema(                           \
        #Class, BRIVOS_RECORD_COLUMNS(COLUMNS),                           \
        {RELATIONS(BRIVOS_RELATION_ONE_DEF_, BRIVOS_RELATION_MANY_DEF_)}, \
        &::brivos::MakeRecord<Class>, {__VA_ARGS__});                     \
    return schema;                                                        \
  }                                                                       \
  RELATIONS(BRIVOS_RELATION_ONE_BODY_, BRIVOS_RELATION_NONE_)             \
  BRIVOS_REGISTER_RECORD(Class)
