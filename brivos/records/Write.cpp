#include "brivos/records/Write.hpp"

#include <cmath>

#include "brivos/foundation/Error.hpp"

namespace brivos::internal {

namespace {
constexpr double kLargestCurrency = 922337203685477.5807;
}  // namespace

RowWrite::RowWrite(const RecordSchema& schema, std::size_t columns) : schema_(schema) {
  names_.reserve(columns);
  params_.reserve(columns + 1);
}

void RowWrite::Add(std::size_t column, const Variant& value) {
  const ColumnDef& c = schema_.columns[column];
  // Every Double column holds a rate, a quantity or hours that some
  // reckoning turns into currency: a NaN, an infinity or a number beyond
  // Currency's range would be stored and make that reckoning (an invoice's
  // total) fail ever after, so it is refused before anything is written.
  if ((c.type == ColumnType::Double || c.type == ColumnType::Currency) && !value.IsNull() &&
      !value.IsEmpty() && !(std::fabs(CDbl(value)) <= kLargestCurrency)) {
    RaiseRuntime(errnum::kOverflow);
  }
  names_.push_back(c.column);
  params_.push_back(Parameter{c.type, value});
}

std::int32_t RowWrite::Insert(Connection& db) {
  std::string sql = "INSERT INTO ";
  std::string values;
  sql += schema_.table;
  sql += " (";
  for (std::string_view name : names_) {
    if (!values.empty()) sql += ',';
    sql += name;
    values += values.empty() ? "?" : ",?";
  }
  sql += ") VALUES (" + values + ")";
  return db.Insert(sql, params_, schema_.columns[0].column);
}

int RowWrite::Update(Connection& db, std::string_view where,
                     std::span<const Parameter> where_params) {
  std::string sql = "UPDATE ";
  sql += schema_.table;
  sql += " SET ";
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (i) sql += ',';
    sql += names_[i];
    sql += "=?";
  }
  sql += " WHERE ";
  sql += where;
  params_.insert(params_.end(), where_params.begin(), where_params.end());
  return db.Execute(sql, params_);
}

}  // namespace brivos::internal
