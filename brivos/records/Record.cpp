#include "brivos/records/Record.hpp"

#include "brivos/database/Database.hpp"

namespace brivos {
namespace {

// Where each column of `schema` stands in sets with the field names of
// `rows`, and whether that is the schema's own order. A missing column raises
// 3265, as reading it by name would. Sets of one prepared statement share
// their names, so the last answer is kept per thread.
struct ColumnMap {
  const RecordSchema* schema = nullptr;
  std::shared_ptr<const std::vector<std::string>> names;
  std::vector<std::size_t> positions;
  bool in_order = false;
};

const ColumnMap& ColumnPositions(const RecordSchema& schema, const Recordset& rows) {
  thread_local ColumnMap last;
  if (last.schema == &schema && last.names == rows.FieldNames()) return last;
  ColumnMap map{&schema, rows.FieldNames(), {}, rows.FieldNames()->size() == schema.columns.size()};
  map.positions.reserve(schema.columns.size());
  for (std::size_t i = 0; i < schema.columns.size(); ++i) {
    int pos = rows.FindField(schema.columns[i].column);
    if (pos < 0) RaiseRuntime(3265);
    map.positions.push_back(static_cast<std::size_t>(pos));
    map.in_order = map.in_order && map.positions.back() == i;
  }
  last = std::move(map);
  return last;
}

bool Given(const Variant& v) { return !v.IsEmpty(); }

// SELECT the schema's columns WHERE `where` ORDER BY `order_by`, each part
// left out when empty, with `params` bound in order.
std::shared_ptr<Collection> Select(const RecordSchema& schema, const Variant& account,
                                   std::string_view where, std::span<const Parameter> params,
                                   std::string_view order_by) {
  // The text is composed in a buffer each thread keeps, as the same few texts
  // are composed over and over.
  thread_local std::string sql;
  sql.assign(schema.select);
  if (!where.empty()) {
    sql += " WHERE ";
    sql += where;
  }
  if (!order_by.empty()) {
    sql += " ORDER BY ";
    sql += order_by;
  }
  sql += ';';
  std::shared_ptr<Recordset> rows = Connection::Open(account).Query(sql, params);
  return RecordsFrom(schema, *rows, rows->TakeRows());
}

}  // namespace

// The cache slots are made on the first related-record read: most records
// of a long list never have one read, and loading stays one allocation less.
const Variant Record::kNeverLoaded;

Record::Record(const RecordSchema& schema) : schema_(schema) {}

std::string Record::ClassName() const { return schema_.info.Name(); }

Variant Record::Invoke(std::string_view member, std::vector<Variant>& args) {
  return InvokeMember(schema_.info, *this, member, args);
}

std::shared_ptr<Record> Record::RelatedOne(std::size_t relation, const Variant& account) {
  return Guarded(schema_.info.ProgId(), [&] { return FindRelatedOne(relation, account); });
}

std::shared_ptr<Collection> Record::RelatedMany(std::size_t relation, const Variant& account) {
  return Guarded(schema_.info.ProgId(), [&] { return FindRelatedMany(relation, account); });
}

std::shared_ptr<Record> Record::FindRelatedOne(std::size_t relation, const Variant& account) {
  const RelationDef& r = schema_.relations[relation];
  const Variant& key = Field(r.key_column);
  // A record never loaded, or a foreign key that names no row, has no
  // related record; nothing is sent to the database for either.
  if (key.IsEmpty() || key.IsNull()) return nullptr;
  if (cache_.empty()) cache_.resize(schema_.relations.size());
  if (!cache_[relation]) {
    auto list = LoadList(r.target(), account, key);
    if (list->Count() > 0) {
      cache_[relation] = std::static_pointer_cast<Record>(list->Items()[0].AsObject());
    }
  }
  return cache_[relation];
}

std::shared_ptr<Collection> Record::FindRelatedMany(std::size_t relation, const Variant& account) {
  const RelationDef& r = schema_.relations[relation];
  const Parameter parent[] = {Parameter::Number(Field(0))};
  return Select(r.target(), account, "Parent=?", parent, r.order_by);
}

std::shared_ptr<Collection> LoadList(const RecordSchema& schema, const Variant& account,
                                     const Variant& id, const Variant& where,
                                     const Variant& order_by) {
  return Guarded(schema.info.ProgId(), [&] {
    const std::string order = Given(order_by) ? CStr(order_by) : std::string();
    if (Given(id)) {
      const Parameter key[] = {Parameter::Number(id)};
      return Select(schema, account, std::string(schema.columns[0].column) + "=?", key, order);
    }
    return Select(schema, account, Given(where) ? CStr(where) : std::string(), {}, order);
  });
}

std::shared_ptr<Collection> SelectWhere(const RecordSchema& schema, const Variant& account,
                                        std::string_view where, std::span<const Parameter> params,
                                        std::string_view order_by) {
  return Guarded(schema.info.ProgId(),
                 [&] { return Select(schema, account, where, params, order_by); });
}

std::shared_ptr<Collection> QueryRecords(const RecordSchema& schema, const Variant& account,
                                         std::string_view sql,
                                         std::initializer_list<Parameter> params) {
  return Guarded(schema.info.ProgId(), [&] {
    std::shared_ptr<Recordset> rows = Connection::Open(account).Query(sql, params);
    return RecordsFrom(schema, *rows, rows->TakeRows());
  });
}

Parameter ColumnParameter(const RecordSchema& schema, std::size_t column, Variant value) {
  return {schema.columns[column].type, std::move(value)};
}

std::shared_ptr<Record> LoadByKey(const RecordSchema& schema, const Variant& account,
                                  const Variant& id) {
  return Guarded(schema.info.ProgId(), [&]() -> std::shared_ptr<Record> {
    const std::string key = std::string(schema.columns[0].column) + "=?";
    const Parameter value[] = {Parameter::Number(id)};
    auto list = Select(schema, account, key, value, {});
    if (list->Count() == 0) return nullptr;
    return std::static_pointer_cast<Record>(list->Items()[0].AsObject());
  });
}

std::shared_ptr<Collection> RecordsFrom(const RecordSchema& schema, const Recordset& fields,
                                        std::vector<std::vector<Variant>> rows) {
  auto list = std::make_shared<Collection>();
  if (rows.empty()) return list;
  const ColumnMap& map = ColumnPositions(schema, fields);
  const std::vector<std::size_t>& positions = map.positions;
  // The loaders select the schema's columns in its order: then each row
  // becomes the record's fields as it stands.
  const bool in_order = map.in_order;
  list->Reserve(rows.size());
  for (std::vector<Variant>& row : rows) {
    std::shared_ptr<Record> record = schema.create();
    if (in_order) {
      record->fields_ = std::move(row);
    } else {
      record->fields_.resize(positions.size());
      for (std::size_t i = 0; i < positions.size(); ++i) {
        record->fields_[i] = std::move(row[positions[i]]);
      }
    }
    std::string key = CStr(record->fields_[0]);
    // A table's keys are unique: no need to check them one by one.
    list->AddUnique(Variant(std::shared_ptr<Object>(std::move(record))), std::move(key));
  }
  return list;
}

}  // namespace brivos
