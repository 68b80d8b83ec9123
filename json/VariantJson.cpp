#include "json/VariantJson.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "app/Values.hpp"

namespace brivos::json {
namespace {

Json ObjectToJson(const Object& object, bool raw) {
  return app::VisitObject(
      object, app::Overloaded{
                  [&](const Record& record) {
                    Json out = Json::object();
                    const auto& columns = record.Schema().columns;
                    for (std::size_t i = 0; i < columns.size(); ++i) {
                      out[std::string(columns[i].property)] = ToJson(record.Field(i), raw);
                    }
                    return out;
                  },
                  [&](const Collection& collection) {
                    Json out = Json::array();
                    for (const Variant& item : collection.Items()) out.push_back(ToJson(item, raw));
                    return out;
                  },
                  [&](const Recordset& rows) {
                    // A statement without rows (UPDATE, DELETE) leaves its set closed.
                    if (!rows.IsOpen()) return Json(nullptr);
                    Json out = Json::array();
                    for (const std::vector<Variant>& row : rows.Rows()) {
                      Json line = Json::object();
                      for (std::size_t i = 0; i < row.size(); ++i) {
                        line[rows.FieldName(static_cast<std::int32_t>(i))] = ToJson(row[i], raw);
                      }
                      out.push_back(std::move(line));
                    }
                    return out;
                  },
                  [&](const Object& other) {
                    return Json{{"class", other.ClassName()}};
                  },
              });
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
    case Json::value_t::number_integer:
      return app::WholeNumber(value.get<std::int64_t>());
    case Json::value_t::number_unsigned: {
      const auto n = value.get<std::uint64_t>();
      if (n > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        app::RaiseTooWide("BRIVOS");
      }
      return app::WholeNumber(static_cast<std::int64_t>(n));
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

namespace {

// Reads JSON text only to see whether it writes a whole number beyond 64
// bits, which the parser keeps as a Double (inexactly) rather than refusing.
class WideNumberCheck : public nlohmann::json_sax<Json> {
 public:
  bool found = false;

  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t& text) override {
    found = found || text.find_first_of(".eE") == string_t::npos;
    return true;
  }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override { return true; }
  bool key(string_t&) override { return true; }
  bool end_object() override { return true; }
  bool start_array(std::size_t) override { return true; }
  bool end_array() override { return true; }
  bool parse_error(std::size_t, const std::string&, const Json::exception&) override {
    return false;
  }
};

}  // namespace

Variant ArgumentFromText(std::string_view text) {
  Json parsed = Json::parse(text.begin(), text.end(), nullptr, false);
  if (!parsed.is_discarded()) {
    WideNumberCheck check;
    Json::sax_parse(text.begin(), text.end(), &check);
    if (check.found) app::RaiseTooWide("BRIVOS");
    return FromJson(parsed);
  }
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
        case '"':
          out += "\\\"";
          break;
        case '\\':
          out += "\\\\";
          break;
        case '\b':
          out += "\\b";
          break;
        case '\t':
          out += "\\t";
          break;
        case '\n':
          out += "\\n";
          break;
        case '\f':
          out += "\\f";
          break;
        case '\r':
          out += "\\r";
          break;
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
    const bool secret =
        key.size() == hidden.size() && !hidden.empty() && EqualsIgnoreCase(key, hidden);
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
      case VarType::Null:
        out += "null";
        return;
      case VarType::Boolean:
        out += value.AsBool() ? "true" : "false";
        return;
      case VarType::Long:
        out += std::to_string(value.AsLong());
        return;
      case VarType::Double:
        out += Dump(Json(value.AsDouble()), true);
        return;
      case VarType::Currency:
        return Text(value.AsCurrency().ToFixedString());
      case VarType::Date:
        return Text(value.AsDate().ToIsoString());
      case VarType::String:
        return Text(value.AsString());
      case VarType::Array:
        return List(value.AsArray());
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

  // An array of values: an Array's items or a Collection's.
  void List(const std::vector<Variant>& items) {
    out += '[';
    bool first = true;
    for (const Variant& item : items) {
      out += first ? "" : ",";
      first = false;
      Value(item);
    }
    out += ']';
  }

  void AnObject(const brivos::Object& object, const Variant& value) {
    app::VisitObject(object, app::Overloaded{
                                 [&](const Record& record) {
                                   out += '{';
                                   bool first = true;
                                   const auto& columns = record.Schema().columns;
                                   for (std::size_t i = 0; i < columns.size(); ++i) {
                                     Member(columns[i].property, record.Field(i), first);
                                   }
                                   out += '}';
                                 },
                                 [&](const Collection& collection) { List(collection.Items()); },
                                 [&](const Recordset& rows) { Rows(rows, value); },
                                 [&](const Object& other) {
                                   out += "{";
                                   bool first = true;
                                   Member("class", Variant(other.ClassName()), first);
                                   out += "}";
                                 },
                             });
  }

  void Rows(const Recordset& rows, const Variant& value) {
    const auto& names = *rows.FieldNames();
    const bool unique = std::all_of(names.begin(), names.end(), [&](const std::string& n) {
      return std::count(names.begin(), names.end(), n) == 1;
    });
    if (!rows.IsOpen()) {
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
      for (const std::vector<Variant>& row : rows.Rows()) {
        out += first_row ? "{" : ",{";
        first_row = false;
        bool first = true;
        for (std::size_t i = 0; i < row.size(); ++i) Member(names[i], row[i], first);
        out += '}';
      }
      out += ']';
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
