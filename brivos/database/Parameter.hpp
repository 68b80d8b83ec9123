#pragma once

#include <utility>

#include "brivos/database/ColumnType.hpp"
#include "brivos/foundation/Variant.hpp"

namespace brivos {

// A positional input parameter. The kind, the kind of the column it is
// compared with or written to, decides how the caller's value is converted
// before binding (a Key as a Long); Null and Empty bind as SQL NULL.
struct Parameter {
  using Kind = ColumnType;
  Kind kind;
  Variant value;

  static Parameter Long(Variant v) { return {Kind::Long, std::move(v)}; }
  static Parameter Double(Variant v) { return {Kind::Double, std::move(v)}; }
  static Parameter Currency(Variant v) { return {Kind::Currency, std::move(v)}; }
  static Parameter Boolean(Variant v) { return {Kind::Boolean, std::move(v)}; }
  static Parameter Date(Variant v) { return {Kind::Date, std::move(v)}; }
  static Parameter Text(Variant v) { return {Kind::Text, std::move(v)}; }
  static Parameter Memo(Variant v) { return {Kind::Memo, std::move(v)}; }

  // A value compared as text: its CStr text, so Empty is "" (94 for Null).
  static Parameter QuotedText(const Variant& v) { return {Kind::Text, Variant(CStr(v))}; }
  // A value compared as a number, checked as SqlNumber checks it (13 for
  // anything but a number or a text that reads as one, 94 for Null) and
  // bound exactly: 1.5 stays 1.5, "007" is 7.
  static Parameter Number(const Variant& v);
};

}  // namespace brivos
