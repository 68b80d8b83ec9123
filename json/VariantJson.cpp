#include "json/VariantJson.hpp"

#include <algorithm>
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

namespace {

struct Writer {
  std::string& out;
  std::string_view hidden;
  bool hidden_as_null;

  void Text(std::string_view text) {
    const std::size_t start = out.size();
    out += '"';
    std::size_t plain = 0;  // characters since the last one escaped, copied at once
    for (std::size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      if (static_cast<unsigned char>(c) >= 0x80) {
        // Text beyond ASCII keeps Dump's own handling of bytes that are not UTF-8.
        out.resize(start);
        out += Dump(Json(std::string(text)), true);
        return;
      }
      if (c != '"' && c != '\\' && static_cast<unsigned char>(c) >= 0x20) {
        ++plain;
        continue;
      }
      out.append(text.data() + i - plain, plain);
      plain = 0;
      switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\f': out += "\\f"; break;
        case '\r': out += "\\r"; break;
        default: {  // the other control characters
          constexpr char kHex[] = "0123456789abcdef";
          out += "\\u00";
          out += kHex[(c >> 4) & 0xF];
          out += kHex[c & 0xF];
        }
      }
    }
    out.append(text.data() + text.size() - plain, plain);
    out += '"';
  }

  // A member of an object; a hidden one is left out or written as null.
  void Member(std::string_view key, const Variant& value, bool& first) {
    const bool secret = key.size() == hidden.size() && !hidden.empty() &&
                        EqualsIgnoreCase(key, hidden);
    if (secret && !hidden_as_null) return;
    out += first ? "" : ",";
    first = false;
    Text(key);
    out += ':';
    if (secret) {
      out += "null";
    } else {
      Value(value);
    }
  }

  void Value(const Variant& value) {
    switch (value.Type()) {
      case VarType::Empty:
      case VarType::Null: out += "null"; return;
      case VarType::Boolean: out += value.AsBool() ? "true" : "false"; return;
      case VarType::Long: out += std::to_string(value.AsLong()); return;
      case VarType::Double: out += Dump(Json(value.AsDouble()), true); return;
      case VarType::Currency: return Text(value.AsCurrency().ToFixedString());
      case VarType::Date: return Text(value.AsDate().ToIsoString());
      case VarType::String: return Text(value.AsString());
      case VarType::Array: {
        out += '[';
        bool first = true;
        for (const Variant& item : value.AsArray()) {
          out += first ? "" : ",";
          first = false;
          Value(item);
        }
        out += ']';
        return;
      }
      case VarType::Object: {
        const std::shared_ptr<Object> object = value.AsObject();
        if (!object) {
          out += "null";
        } else {
          AnObject(*object, value);
        }
        return;
      }
    }
    out += "null";
  }

  void AnObject(const brivos::Object& object, const Variant& value) {
    if (const auto* record = dynamic_cast<const Record*>(&object)) {
      out += '{';
      bool first = true;
      const auto& columns = record->Schema().columns;
      for (std::size_t i = 0; i < columns.size(); ++i) {
        Member(columns[i].property, record->Field(i), first);
      }
      out += '}';
    } else if (const auto* collection = dynamic_cast<const Collection*>(&object)) {
      out += '[';
      bool first = true;
      for (const Variant& item : collection->Items()) {
        out += first ? "" : ",";
        first = false;
        Value(item);
      }
      out += ']';
    } else if (const auto* rows = dynamic_cast<const Recordset*>(&object)) {
      const auto& names = *rows->FieldNames();
      const bool unique = std::all_of(names.begin(), names.end(), [&](const std::string& n) {
        return std::count(names.begin(), names.end(), n) == 1;
      });
      if (!rows->IsOpen()) {
        out += "null";
      } else if (!unique) {
        // A report naming one column twice: the tree keeps the last value
        // under the first place of the name.
        Json tree = ToJson(value);
        Hide(tree, hidden, hidden_as_null);
        out += Dump(tree, true);
      } else {
        out += '[';
        bool first_row = true;
        for (const std::vector<Variant>& row : rows->Rows()) {
          out += first_row ? "{" : ",{";
          first_row = false;
          bool first = true;
          for (std::size_t i = 0; i < row.size(); ++i) Member(names[i], row[i], first);
          out += '}';
        }
        out += ']';
      }
    } else {
      out += "{";
      bool first = true;
      Member("class", Variant(object.ClassName()), first);
      out += "}";
    }
  }
};

}  // namespace

void Hide(Json& value, std::string_view name, bool as_null) {
  if (value.is_array()) {
    for (Json& item : value) Hide(item, name, as_null);
    return;
  }
  if (!value.is_object() || name.empty()) return;
  for (auto it = value.begin(); it != value.end();) {
    if (!EqualsIgnoreCase(it.key(), name)) {
      Hide((it++).value(), name, as_null);
    } else if (as_null) {
      (it++).value() = nullptr;
    } else {
      it = value.erase(it);
    }
  }
}

void AppendJson(std::string& out, const Variant& value, std::string_view hidden,
                bool hidden_as_null) {
  Writer{out, hidden, hidden_as_null}.Value(value);
}

std::string Dump(const Json& value, bool compact) {
  return value.dump(compact ? -1 : 2, ' ', false, Json::error_handler_t::replace);
}

}  // namespace brivos::json
