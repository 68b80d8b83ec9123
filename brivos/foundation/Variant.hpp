#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "brivos/foundation/Ascii.hpp"
#include "brivos/foundation/Currency.hpp"
#include "brivos/foundation/Date.hpp"

namespace brivos {

class Object;

enum class VarType { Empty, Null, Boolean, Long, Double, Currency, Date, String, Object, Array };

// An automation value. Copies are cheap for scalars; arrays and texts copy
// their contents, objects share the referenced object.
class Variant {
 public:
  Variant() = default;  // Empty
  static Variant Null();
  Variant(bool value) : value_(value) {}
  Variant(std::int32_t value) : value_(value) {}
  Variant(double value) : value_(value) {}
  Variant(Currency value) : value_(value) {}
  Variant(Date value) : value_(value) {}
  Variant(const char* value) : value_(std::string(value)) {}
  Variant(std::string value) : value_(std::move(value)) {}
  Variant(std::vector<Variant> value);
  Variant(std::shared_ptr<Object> value) : value_(std::move(value)) {}
  template <class T>
  requires std::is_base_of_v<Object, T> Variant(std::shared_ptr<T> value)
      : value_(std::shared_ptr<Object>(std::move(value))) {}

  VarType Type() const;
  bool IsEmpty() const { return value_.index() == 0; }
  bool IsNull() const { return value_.index() == 1; }
  // An Object variant that holds no object.
  bool IsNothing() const;
  bool IsNumeric() const;  // Boolean, Long, Double, Currency

  // Direct access; each raises Error 13 when the variant holds another type.
  bool AsBool() const;
  std::int32_t AsLong() const;
  double AsDouble() const;
  Currency AsCurrency() const;
  Date AsDate() const;
  const std::string& AsString() const;
  // nullptr unless an object is held.
  std::shared_ptr<Object> AsObject() const;
  const std::vector<Variant>& AsArray() const;

  // Type name as the platform reports it: "Empty", "Null", "Long", "String"...
  const char* TypeName() const;

 private:
  struct NullTag {
    bool operator==(const NullTag&) const = default;
  };
  using Array = std::shared_ptr<const std::vector<Variant>>;
  std::variant<std::monostate, NullTag, bool, std::int32_t, double, Currency, Date, std::string,
               std::shared_ptr<Object>, Array>
      value_;
};

// Coercions with the classic rules. Failures raise Error 13 (type mismatch),
// 6 (overflow) or 94 (invalid use of Null).
std::string CStr(const Variant& v);   // Empty -> "", 2.0 -> "2", true -> "True"
std::int32_t CLng(const Variant& v);  // rounds halves to even
double CDbl(const Variant& v);
Currency CCur(const Variant& v);  // rounds halves to even
Date CDate(const Variant& v);     // Date, numbers (serial) and ISO-8601 text
bool CBool(const Variant& v);

// A flag read from a record that is definitely true, or definitely false:
// Null is neither, as in a condition of the classic language.
inline bool IsTrue(const Variant& flag) { return !flag.IsNull() && CBool(flag); }
inline bool IsFalse(const Variant& flag) { return !flag.IsNull() && !CBool(flag); }

// Text between single quotes in SQL, with every apostrophe doubled:
// SqlQuote("O'Brien") == "'O''Brien'". Error 94 on Null, 5 on a text holding
// a NUL character.
std::string SqlQuote(const Variant& v);
// A value that is placed into SQL text as a number: raises Error 13 unless the
// value is a number or a text that reads as one, and Error 94 on Null. Returns
// its decimal text, so "1 OR 1=1" can never reach a statement.
std::string SqlNumber(const Variant& v);

}  // namespace brivos
