#include "json/VariantJson.hpp"

#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

namespace brivos::json {
namespace {

Json ObjectToJson(const Object& object, bool raw) {
  if (const auto* record = dynamic_cast<const Record*>(&object)) {
    Json out = Json::object();
    const auto& columns = record->Schema().columns;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      out[std::string(columns[i].property)] = ToJson(record->Field(i), raw);
    }
    return out;
  }
  if (const auto* collection = dynamic_cast<const Collection*>(&object)) {
    Json out = Json::array();
    for (const Variant& item : collection->Items()) out.push_back(ToJson(item, raw));
    return out;
  }
  if (const auto* rows = dynamic_cast<const Recordset*>(&object)) {
    // A statement without rows (UPDATE, DELETE) leaves its set closed.
    if (!rows->IsOpen()) return nullptr;
    Json out = Json::array();
    for (const std::vector<Variant>& row : rows->Rows()) {
      Json line = Json::object();
      for (std::size_t i = 0; i < row.size(); ++i) {
        line[rows->FieldName(static_cast<std::int32_t>(i))] = ToJson(row[i], raw);
      }
      out.push_back(std::move(line));
    }
    return out;
  }
  return Json{{"class", object.ClassName()}};
}

Json ScalarToJson(const Variant& value, bool raw) {
  switch (value.Type()) {
    case VarType::Empty:
    case VarType::Null:
      return nullptr;
    case VarType::Boolean:
      return value.AsBool();
    case VarType::Long:
      return value.AsLong();
    case VarType::Double:
      return value.AsDouble();
    case VarType::Currency:
      return value.AsCurrency().ToFixedString();
    case VarType::Date:
      return value.AsDate().ToIsoString();
    case VarType::String:
      return value.AsString();
    case VarType::Array: {
      Json out = Json::array();
      for (const Variant& item : value.AsArray()) out.push_back(ToJson(item, raw));
      return out;
    }
    case VarType::Object: {
      const std::shared_ptr<Object> object = value.AsObject();
      return object ? ObjectToJson(*object, raw) : Json(nullptr);
    }
  }
  return nullptr;
}

}  // namespace

Variant FromJson(const Json& value) {
  switch (value.type()) {
    case Json::value_t::null:
      return Variant::Null();
    case Json::value_t::boolean:
      return Variant(value.get<bool>());
    case Json::value_t::number_integer: {
      const auto n = value.get<std::int64_t>();
      if (n >= std::numeric_limits<std::int32_t>::min() &&
          n <= std::numeric_limits<std::int32_t>::max()) {
        return Variant(static_cast<std::int32_t>(n));
      }
      return Variant(static_cast<double>(n));
    }
    case Json::value_t::number_unsigned: {
      const auto n = value.get<std::uint64_t>();
      if (n <= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
        return Variant(static_cast<std::int32_t>(n));
      }
      return Variant(static_cast<double>(n));
    }
    case Json::value_t::number_float:
      return Variant(value.get<double>());
    case Json::value_t::string:
      return Variant(value.get<std::string>());
    case Json::value_t::array: {
      std::vector<Variant> items;
      items.reserve(value.size());
      for (const Json& item : value) items.push_back(FromJson(item));
      return Variant(std::move(items));
    }
    default:
      throw BadInput("JSON objects cannot be passed as arguments");
  }
}

Variant ArgumentFromText(std::string_view text) {
  Json parsed = Json::parse(text.begin(), text.end(), nullptr, false);
  if (!parsed.is_discarded()) return FromJson(parsed);
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first != std::string_view::npos &&
      (text[first] == '{' || text[first] == '[' || text[first] == '"')) {
    throw BadInput("malformed JSON argument: " + std::string(text));
  }
  return Variant(std::string(text));
}

Variant DateArgumentFromText(std::string_view text) {
  try {
    return Variant(CDate(ArgumentFromText(text)));
  } catch (const Error&) {
    throw BadInput("--date needs a date such as 2024-03-05 or 2024-03-05T09:30:00, not '" +
                   std::string(text) + "'");
  }
}

Json ToJson(const Variant& value, bool raw) {
  Json plain = ScalarToJson(value, raw);
  if (!raw) return plain;
  Json out = Json::object();
  out["type"] = value.TypeName();
  if (const std::shared_ptr<Object> object = value.AsObject()) out["class"] = object->ClassName();
  out["value"] = std::move(plain);
  return out;
}

std::string Dump(const Json& value, bool compact) {
  return value.dump(compact ? -1 : 2, ' ', false, Json::error_handler_t::replace);
}

}  // namespace brivos::json
