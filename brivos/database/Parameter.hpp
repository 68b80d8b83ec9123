#pragma once

#include <utility>

#include "brivos/foundation/Variant.hpp"

namespace brivos {

// A positional input parameter. The kind decides how the caller's value is
// converted before binding; Null and Empty bind as SQL NULL.
struct Parameter {
  enum class Kind { Long, Double, Currency, Boolean, Date, Text, Memo };
  Kind kind;
  Variant value;

  static Parameter Long(Variant v) { return {Kind::Long, std::move(v)}; }
  static Parameter Double(Variant v) { return {Kind::Double, std::move(v)}; }
  static Parameter Currency(Variant v) { return {Kind::Currency, std::move(v)}; }
  static Parameter Boolean(Variant v) { return {Kind::Boolean, std::move(v)}; }
  static Parameter Date(Variant v) { return {Kind::Date, std::move(v)}; }
  static Parameter Text(Variant v) { return {Kind::Text, std::move(v)}; }
  static Parameter Memo(Variant v) { return {Kind::Memo, std::move(v)}; }
};

}  // namespace brivos
