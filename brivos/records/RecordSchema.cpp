#include "brivos/records/RecordSchema.hpp"

#include "brivos/database/Backend.hpp"
#include "brivos/records/Record.hpp"

namespace brivos {
namespace {

std::string BuildSelect(std::string_view table, const std::vector<ColumnDef>& columns) {
  // "SELECT " + each column followed by a comma, the last comma removed.
  std::string sql = "SELECT ";
  for (const ColumnDef& c : columns) {
    sql += c.column;
    sql += ',';
  }
  sql.pop_back();
  sql += " FROM ";
  sql += table;
  return sql;
}

MemberInfo ColumnMember(const ColumnDef& column, std::size_t index) {
  return MemberInfo{std::string(column.property), {}, [index](Object& self, std::vector<Variant>&) {
                      return static_cast<Record&>(self).Field(index);
                    }};
}

MemberInfo RelationMember(const RelationDef& relation, std::size_t index) {
  if (relation.kind == RelationDef::Kind::Single) {
    return MemberInfo{std::string(relation.property),
                      {"Account"},
                      [index](Object& self, std::vector<Variant>& args) {
                        return Variant(static_cast<Record&>(self).FindRelatedOne(index, args[0]));
                      }};
  }
  return MemberInfo{std::string(relation.property),
                    {"Account"},
                    [index](Object& self, std::vector<Variant>& args) {
                      return Variant(static_cast<Record&>(self).FindRelatedMany(index, args[0]));
                    }};
}

// Properties in interface order: each column, a single related record right
// after the column holding its key, the collections last.
std::vector<MemberInfo> BuildMembers(const std::vector<ColumnDef>& columns,
                                     const std::vector<RelationDef>& relations) {
  std::vector<MemberInfo> members;
  for (std::size_t c = 0; c < columns.size(); ++c) {
    members.push_back(ColumnMember(columns[c], c));
    for (std::size_t r = 0; r < relations.size(); ++r) {
      if (relations[r].kind == RelationDef::Kind::Single && relations[r].key_column == c) {
        members.push_back(RelationMember(relations[r], r));
      }
    }
  }
  for (std::size_t r = 0; r < relations.size(); ++r) {
    if (relations[r].kind == RelationDef::Kind::Many) {
      members.push_back(RelationMember(relations[r], r));
    }
  }
  return members;
}

}  // namespace

RecordSchema::RecordSchema(std::string_view table_name, std::vector<ColumnDef> column_defs,
                           std::vector<RelationDef> relation_defs,
                           std::shared_ptr<Record> (*create_record)(),
                           std::vector<std::vector<std::size_t>> index_defs)
    : table(table_name),
      columns(std::move(column_defs)),
      relations(std::move(relation_defs)),
      create(create_record),
      indexes(std::move(index_defs)),
      select(BuildSelect(table, columns)),
      info(std::string(table), false, nullptr, BuildMembers(columns, relations)) {}

std::string RecordSchema::Ddl() const {
  std::string t = "\"" + std::string(table) + "\"";
  std::string ddl = "CREATE TABLE " + t + " (";
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (i) ddl += ", ";
    const ColumnDef& c = columns[i];
    ddl += ActiveBackend().ColumnDeclaration("\"" + std::string(c.column) + "\"", c.type, c.width,
                                             (c.flags & kDefaultNow) != 0);
  }
  ddl += ");\n";
  std::vector<std::vector<std::size_t>> all;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].flags & kIndexed) all.push_back({i});
  }
  all.insert(all.end(), indexes.begin(), indexes.end());
  for (const std::vector<std::size_t>& index : all) {
    std::string name = "IX_" + std::string(table);
    std::string list;
    for (std::size_t i : index) {
      name += "_" + std::string(columns[i].column);
      list += (list.empty() ? "\"" : ", \"") + std::string(columns[i].column) + "\"";
    }
    ddl += "CREATE INDEX \"" + name + "\" ON " + t + " (" + list + ");\n";
  }
  return ddl;
}

std::string RecordSchema::WidthEnumName() const { return "len" + std::string(table); }

std::vector<std::pair<std::string, std::int32_t>> RecordSchema::WidthMembers() const {
  std::vector<std::pair<std::string, std::int32_t>> members;
  for (const ColumnDef& c : columns) {
    if (c.flags & kWidthMember) members.emplace_back("len" + std::string(c.property), c.width);
  }
  return members;
}

}  // namespace brivos
