#pragma once

// Automation values to and from JSON, as the `brivos` program reads its
// arguments and prints its results. Header-only so that the program and its
// tests share one copy.

#include <cstdint>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "brivos/brivos.hpp"

namespace brivos::cli {

using Json = nlohmann::ordered_json;

// Input the program refuses before the library sees it: a usage mistake, not
// an error the library raised.
class BadInput : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

namespace internal {

inline Variant FromJson(const Json& value) {
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

}  // namespace internal

// One command-line argument as a Variant. JSON text gives its value: an
// integral number that fits 32 bits is a Long, any other number a Double;
// strings, true/false, null (Null) and arrays as written. A bare word that is
// not JSON (admin, A100, 2024-03-05) is a String. Text that starts like JSON
// ({, [ or a double quote) but does not parse is refused, since the caller
// plainly meant JSON.
inline Variant ArgumentFromText(std::string_view text) {
  Json parsed = Json::parse(text.begin(), text.end(), nullptr, false);
  if (!parsed.is_discarded()) return internal::FromJson(parsed);
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first != std::string_view::npos &&
      (text[first] == '{' || text[first] == '[' || text[first] == '"')) {
    throw BadInput("malformed JSON argument: " + std::string(text));
  }
  return Variant(std::string(text));
}

// A Date from an argument given after --date: ISO text or a day serial.
inline Variant DateArgumentFromText(std::string_view text) {
  try {
    return Variant(CDate(ArgumentFromText(text)));
  } catch (const Error&) {
    throw BadInput("--date needs a date such as 2024-03-05 or 2024-03-05T09:30:00, not '" +
                   std::string(text) + "'");
  }
}

// A result as JSON. Records are objects of their column properties in
// interface order, collections arrays of their items, result sets arrays of
// row objects (every row, from the first), Currency the decimal text with
// four places, Dates ISO text, Empty and Null null. With `raw`, every value
// is wrapped as {"type": <variant type>, "value": ...} so the variant type
// shows; objects also carry their class.
inline Json ToJson(const Variant& value, bool raw = false);

namespace internal {

inline Json ObjectToJson(const Object& object, bool raw) {
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

inline Json ScalarToJson(const Variant& value, bool raw) {
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

}  // namespace internal

inline Json ToJson(const Variant& value, bool raw) {
  Json plain = internal::ScalarToJson(value, raw);
  if (!raw) return plain;
  Json out = Json::object();
  out["type"] = value.TypeName();
  if (const std::shared_ptr<Object> object = value.AsObject()) out["class"] = object->ClassName();
  out["value"] = std::move(plain);
  return out;
}

// The text the program prints: one JSON document, indented unless `compact`.
// Text that is not valid UTF-8 is printed with replacement characters rather
// than refused.
inline std::string Dump(const Json& value, bool compact) {
  return value.dump(compact ? -1 : 2, ' ', false, Json::error_handler_t::replace);
}

}  // namespace brivos::cli
