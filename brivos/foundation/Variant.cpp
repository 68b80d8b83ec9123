#include "brivos/foundation/Variant.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>

#include "brivos/foundation/Error.hpp"

namespace brivos {

namespace {

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The power of ten of the leading digit of a decimal text without sign
// ("123e5" -> 7, "0.01" -> -2); only its sign matters to the caller.
long DecimalMagnitude(std::string_view text) {
  std::size_t e = text.find_first_of("eE");
  long exponent = 0;
  if (e != std::string_view::npos) {
    std::string_view exp_text = text.substr(e + 1);
    bool negative = !exp_text.empty() && exp_text.front() == '-';
    if (!exp_text.empty() && (exp_text.front() == '-' || exp_text.front() == '+')) {
      exp_text.remove_prefix(1);
    }
    for (char c : exp_text) {
      exponent = std::min(exponent * 10 + (c - '0'), 100000L);
    }
    if (negative) exponent = -exponent;
  }
  std::string_view mantissa = text.substr(0, e);
  std::size_t point = std::min(mantissa.find('.'), mantissa.size());
  std::size_t first = mantissa.find_first_not_of("0.");
  if (first == std::string_view::npos) return LONG_MIN;  // zero
  long position =
      first < point ? static_cast<long>(point - first) - 1 : -static_cast<long>(first - point);
  return position + exponent;
}

// Reads a numeric text: blanks, an optional sign, digits with an optional
// fraction, an optional exponent, blanks. Raises 13 when the text is not a
// number and 6 when it is too large for a double.
double ParseNumber(std::string_view text) {
  text = TrimBlanks(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  // from_chars would also take "inf", "nan" and hexadecimal forms; only plain
  // decimal notation is a number here.
  if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text.front())) ||
                        (text.front() == '.' && text.size() > 1 &&
                         std::isdigit(static_cast<unsigned char>(text[1]))))) {
    RaiseRuntime(errnum::kTypeMismatch);
  }
  double value = 0.0;
  auto res =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (res.ptr != text.data() + text.size()) RaiseRuntime(errnum::kTypeMismatch);
  if (res.ec == std::errc::result_out_of_range) {
    // Underflow reads as zero; only a value too large is an overflow.
    if (DecimalMagnitude(text) > 0) RaiseRuntime(errnum::kOverflow);
    value = 0.0;
  } else if (res.ec != std::errc()) {
    RaiseRuntime(errnum::kTypeMismatch);
  }
  return negative ? -value : value;
}

// Rounds to the nearest integer, halves to the even neighbour, whatever the
// floating-point rounding mode is.
double RoundHalfEven(double value) {
  double rounded = std::round(value);  // halves away from zero
  if (std::fabs(value - std::trunc(value)) == 0.5 && std::fmod(rounded, 2.0) != 0.0) {
    rounded -= std::copysign(1.0, value);
  }
  return rounded;
}

std::int32_t ToLong(double value) {
  if (std::isnan(value)) RaiseRuntime(errnum::kOverflow);
  double rounded = RoundHalfEven(value);
  if (rounded < -2147483648.0 || rounded > 2147483647.0) RaiseRuntime(errnum::kOverflow);
  return static_cast<std::int32_t>(rounded);
}

// Text of a double as the platform shows it: up to 15 significant digits,
// no trailing zeros, scientific notation ("1E+20", "1E-05") for very large or
// very small magnitudes.
std::string DoubleText(double value) {
  if (value == 0.0) return "0";
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  std::string text(buf, res.ptr);
  std::size_t e = text.find('e');
  if (e != std::string::npos) text[e] = 'E';
  return text;
}

// Text of a double that reads back as the same double; integral values
// without a fraction.
std::string DoubleRoundTripText(double value) {
  if (!std::isfinite(value)) RaiseRuntime(errnum::kOverflow);
  if (value == 0.0) return "0";
  char buf[64];
  std::to_chars_result res{};
  if (value == std::trunc(value) && std::fabs(value) < 1e16) {
    res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
  } else {
    res = std::to_chars(buf, buf + sizeof buf, value);
  }
  return std::string(buf, res.ptr);
}

}  // namespace

Variant Variant::Null() {
  Variant v;
  v.value_ = NullTag{};
  return v;
}

Variant::Variant(std::vector<Variant> value)
    : value_(std::make_shared<const std::vector<Variant>>(std::move(value))) {}

VarType Variant::Type() const { return static_cast<VarType>(value_.index()); }

bool Variant::IsNothing() const {
  const auto* object = std::get_if<std::shared_ptr<Object>>(&value_);
  return object != nullptr && *object == nullptr;
}

bool Variant::IsNumeric() const {
  switch (Type()) {
    case VarType::Boolean:
    case VarType::Long:
    case VarType::Double:
    case VarType::Currency:
      return true;
    default:
      return false;
  }
}

bool Variant::AsBool() const {
  if (const bool* v = std::get_if<bool>(&value_)) return *v;
  RaiseRuntime(errnum::kTypeMismatch);
}

std::int32_t Variant::AsLong() const {
  if (const std::int32_t* v = std::get_if<std::int32_t>(&value_)) return *v;
  RaiseRuntime(errnum::kTypeMismatch);
}

double Variant::AsDouble() const {
  if (const double* v = std::get_if<double>(&value_)) return *v;
  RaiseRuntime(errnum::kTypeMismatch);
}

Currency Variant::AsCurrency() const {
  if (const Currency* v = std::get_if<Currency>(&value_)) return *v;
  RaiseRuntime(errnum::kTypeMismatch);
}

Date Variant::AsDate() const {
  if (const Date* v = std::get_if<Date>(&value_)) return *v;
  RaiseRuntime(errnum::kTypeMismatch);
}

const std::string& Variant::AsString() const {
  if (const std::string* v = std::get_if<std::string>(&value_)) return *v;
  RaiseRuntime(errnum::kTypeMismatch);
}

std::shared_ptr<Object> Variant::AsObject() const {
  if (const auto* v = std::get_if<std::shared_ptr<Object>>(&value_)) return *v;
  return nullptr;
}

const std::vector<Variant>& Variant::AsArray() const {
  if (const Array* v = std::get_if<Array>(&value_)) return **v;
  RaiseRuntime(errnum::kTypeMismatch);
}

const char* Variant::TypeName() const {
  switch (Type()) {
    case VarType::Empty:
      return "Empty";
    case VarType::Null:
      return "Null";
    case VarType::Boolean:
      return "Boolean";
    case VarType::Long:
      return "Long";
    case VarType::Double:
      return "Double";
    case VarType::Currency:
      return "Currency";
    case VarType::Date:
      return "Date";
    case VarType::String:
      return "String";
    case VarType::Object:
      return IsNothing() ? "Nothing" : "Object";
    case VarType::Array:
      return "Array";
  }
  return "Unknown";
}

std::string CStr(const Variant& v) {
  switch (v.Type()) {
    case VarType::Empty:
      return std::string();
    case VarType::Null:
      RaiseRuntime(errnum::kInvalidUseOfNull);
    case VarType::Boolean:
      return v.AsBool() ? "True" : "False";
    case VarType::Long:
      return std::to_string(v.AsLong());
    case VarType::Double:
      return DoubleText(v.AsDouble());
    case VarType::Currency:
      return v.AsCurrency().ToString();
    case VarType::Date:
      return v.AsDate().ToString();
    case VarType::String:
      return v.AsString();
    case VarType::Object:
    case VarType::Array:
      break;
  }
  RaiseRuntime(errnum::kTypeMismatch);
}

std::int32_t CLng(const Variant& v) {
  switch (v.Type()) {
    case VarType::Empty:
      return 0;
    case VarType::Null:
      RaiseRuntime(errnum::kInvalidUseOfNull);
    case VarType::Boolean:
      return v.AsBool() ? -1 : 0;
    case VarType::Long:
      return v.AsLong();
    case VarType::Double:
      return ToLong(v.AsDouble());
    case VarType::Currency: {
      // Exact: round the ten-thousandths, halves to even.
      std::int64_t scaled = v.AsCurrency().Scaled();
      std::int64_t whole = scaled / 10000;
      std::int64_t rest = scaled % 10000;  // same sign as scaled
      if (rest > 5000 || (rest == 5000 && whole % 2 != 0)) ++whole;
      if (rest < -5000 || (rest == -5000 && whole % 2 != 0)) --whole;
      if (whole < INT32_MIN || whole > INT32_MAX) RaiseRuntime(errnum::kOverflow);
      return static_cast<std::int32_t>(whole);
    }
    case VarType::Date:
      return ToLong(v.AsDate().Serial());
    case VarType::String:
      return ToLong(ParseNumber(v.AsString()));
    case VarType::Object:
    case VarType::Array:
      break;
  }
  RaiseRuntime(errnum::kTypeMismatch);
}

double CDbl(const Variant& v) {
  switch (v.Type()) {
    case VarType::Empty:
      return 0.0;
    case VarType::Null:
      RaiseRuntime(errnum::kInvalidUseOfNull);
    case VarType::Boolean:
      return v.AsBool() ? -1.0 : 0.0;
    case VarType::Long:
      return v.AsLong();
    case VarType::Double:
      return v.AsDouble();
    case VarType::Currency:
      return v.AsCurrency().ToDouble();
    case VarType::Date:
      return v.AsDate().Serial();
    case VarType::String:
      return ParseNumber(v.AsString());
    case VarType::Object:
    case VarType::Array:
      break;
  }
  RaiseRuntime(errnum::kTypeMismatch);
}

Currency CCur(const Variant& v) {
  switch (v.Type()) {
    case VarType::Empty:
      return Currency();
    case VarType::Null:
      RaiseRuntime(errnum::kInvalidUseOfNull);
    case VarType::Boolean:
      return Currency::FromScaled(v.AsBool() ? -10000 : 0);
    case VarType::Long:
      return Currency::FromScaled(static_cast<std::int64_t>(v.AsLong()) * 10000);
    case VarType::Double:
      return Currency::FromDouble(v.AsDouble());
    case VarType::Currency:
      return v.AsCurrency();
    case VarType::Date:
      return Currency::FromDouble(v.AsDate().Serial());
    case VarType::String:
      return Currency::FromDouble(ParseNumber(v.AsString()));
    case VarType::Object:
    case VarType::Array:
      break;
  }
  RaiseRuntime(errnum::kTypeMismatch);
}

Date CDate(const Variant& v) {
  switch (v.Type()) {
    case VarType::Empty:
      return Date();
    case VarType::Null:
      RaiseRuntime(errnum::kInvalidUseOfNull);
    case VarType::Boolean:
    case VarType::Long:
    case VarType::Double:
    case VarType::Currency:
      return Date::FromSerial(CDbl(v));
    case VarType::Date:
      return v.AsDate();
    case VarType::String: {
      Date date;
      if (Date::TryParse(v.AsString(), date)) return date;
      break;
    }
    case VarType::Object:
    case VarType::Array:
      break;
  }
  RaiseRuntime(errnum::kTypeMismatch);
}

bool CBool(const Variant& v) {
  switch (v.Type()) {
    case VarType::Empty:
      return false;
    case VarType::Null:
      RaiseRuntime(errnum::kInvalidUseOfNull);
    case VarType::Boolean:
      return v.AsBool();
    case VarType::Long:
      return v.AsLong() != 0;
    case VarType::Double:
      return v.AsDouble() != 0.0;
    case VarType::Currency:
      return v.AsCurrency().Scaled() != 0;
    case VarType::Date:
      return v.AsDate().Serial() != 0.0;
    case VarType::String: {
      std::string_view text = TrimBlanks(v.AsString());
      if (EqualsIgnoreCase(text, "True")) return true;
      if (EqualsIgnoreCase(text, "False")) return false;
      return ParseNumber(text) != 0.0;
    }
    case VarType::Object:
    case VarType::Array:
      break;
  }
  RaiseRuntime(errnum::kTypeMismatch);
}

std::string SqlQuote(const Variant& v) {
  std::string text = CStr(v);
  // A database engine may end the statement text at a NUL, whatever quotes are open.
  if (text.find('\0') != std::string::npos) RaiseRuntime(errnum::kInvalidArgument);
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') quoted += '\'';
    quoted += c;
  }
  quoted += '\'';
  return quoted;
}

std::string SqlNumber(const Variant& v) {
  switch (v.Type()) {
    case VarType::Null:
      RaiseRuntime(errnum::kInvalidUseOfNull);
    case VarType::Boolean:
      return v.AsBool() ? "-1" : "0";
    case VarType::Long:
      return std::to_string(v.AsLong());
    case VarType::Double:
      return DoubleRoundTripText(v.AsDouble());
    case VarType::Currency:
      return v.AsCurrency().ToString();
    case VarType::String: {
      // Only a plain decimal number passes, rewritten from its digits: an
      // optional sign, digits, an optional fraction.
      std::string_view text = TrimBlanks(v.AsString());
      bool negative = false;
      if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
      }
      std::size_t point = text.find('.');
      std::string_view whole = text.substr(0, point);
      std::string_view fraction =
          point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
      auto all_digits = [](std::string_view s) {
        return s.find_first_not_of("0123456789") == std::string_view::npos;
      };
      if ((whole.empty() && fraction.empty()) || !all_digits(whole) || !all_digits(fraction)) {
        break;
      }
      while (whole.size() > 1 && whole.front() == '0') whole.remove_prefix(1);
      while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
      std::string number(whole.empty() ? "0" : whole);
      if (!fraction.empty()) {
        number += '.';
        number += fraction;
      }
      if (negative && number != "0") number.insert(0, 1, '-');
      return number;
    }
    case VarType::Empty:  // callers treat Empty as "not given"; it is never a number
    case VarType::Date:
    case VarType::Object:
    case VarType::Array:
      break;
  }
  RaiseRuntime(errnum::kTypeMismatch);
}

}  // namespace brivos
