#include "brivos/foundation/Currency.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "brivos/foundation/Error.hpp"

namespace brivos {

namespace {

constexpr std::int64_t kScale = 10000;

// The magnitude of a negative value may be one more than the largest positive.
constexpr std::uint64_t kMaxPositive = static_cast<std::uint64_t>(INT64_MAX);
constexpr std::uint64_t kMaxNegative = kMaxPositive + 1;

std::uint64_t Magnitude(std::int64_t v) {
  return v < 0 ? ~static_cast<std::uint64_t>(v) + 1 : static_cast<std::uint64_t>(v);
}

}  // namespace

Currency Currency::FromDouble(double value) {
  if (!std::isfinite(value)) RaiseRuntime(errnum::kOverflow);
  // 922337203685477.5807 is the largest value; anything well beyond it cannot
  // round back into range, and it keeps the digit arithmetic below in 64 bits.
  if (std::fabs(value) >= 1e15) RaiseRuntime(errnum::kOverflow);

  // Round the shortest decimal text that reads back as `value`, not the binary
  // product value * 10000: 0.00015 is meant as 1.5 ten-thousandths and must
  // round to 0.0002, though its binary neighbour lies just below the half.
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));
  bool negative = false;
  if (!text.empty() && text.front() == '-') {
    negative = true;
    text.remove_prefix(1);
  }
  std::string digits;
  std::size_t e_pos = text.find('e');
  for (char c : text.substr(0, e_pos)) {
    if (c != '.') digits += c;
  }
  int exponent = 0;
  std::string_view exp_text = text.substr(e_pos + 1);
  if (!exp_text.empty() && exp_text.front() == '+') exp_text.remove_prefix(1);
  std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exponent);

  // value * 10^4 == digits * 10^shift.
  int shift = exponent + 4 - static_cast<int>(digits.size() - 1);
  std::uint64_t whole = 0;
  bool round_up = false;
  int keep = static_cast<int>(digits.size()) + shift;  // digits left of the point
  for (int i = 0; i < keep && i < static_cast<int>(digits.size()); ++i) {
    whole = whole * 10 + static_cast<std::uint64_t>(digits[static_cast<std::size_t>(i)] - '0');
  }
  for (int i = 0; i < shift; ++i) whole *= 10;
  if (shift < 0) {
    // Dropped digits start at index `keep` (which may be negative: leading
    // zeros that are not in `digits`).
    if (keep >= 0) {
      std::string_view dropped = std::string_view(digits).substr(static_cast<std::size_t>(keep));
      char first = dropped.empty() ? '0' : dropped.front();
      bool rest_nonzero =
          dropped.size() > 1 && dropped.substr(1).find_first_not_of('0') != std::string_view::npos;
      if (first > '5' || (first == '5' && rest_nonzero)) {
        round_up = true;
      } else if (first == '5') {
        round_up = (whole % 2) == 1;
      }
    }
  }
  if (round_up) ++whole;
  if (whole > (negative ? kMaxNegative : kMaxPositive)) RaiseRuntime(errnum::kOverflow);
  std::int64_t scaled =
      negative ? static_cast<std::int64_t>(~whole + 1) : static_cast<std::int64_t>(whole);
  return FromScaled(scaled);
}

std::string Currency::ToString() const {
  std::string text = ToFixedString();
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  if (text == "-0") return std::string(1, '0');
  return text;
}

std::string Currency::ToFixedString() const {
  const std::uint64_t magnitude = Magnitude(scaled_);
  char text[32];
  const int n = std::snprintf(text, sizeof text, "%s%llu.%04llu", scaled_ < 0 ? "-" : "",
                              static_cast<unsigned long long>(magnitude / kScale),
                              static_cast<unsigned long long>(magnitude % kScale));
  return std::string(text, static_cast<std::size_t>(n));
}

Currency operator+(Currency a, Currency b) {
  std::int64_t sum = 0;
  if (__builtin_add_overflow(a.scaled_, b.scaled_, &sum)) RaiseRuntime(errnum::kOverflow);
  return Currency::FromScaled(sum);
}

Currency operator-(Currency a, Currency b) {
  std::int64_t difference = 0;
  if (__builtin_sub_overflow(a.scaled_, b.scaled_, &difference)) {
    RaiseRuntime(errnum::kOverflow);
  }
  return Currency::FromScaled(difference);
}

Currency operator*(Currency a, Currency b) {
  __extension__ using Wide = __int128;
  const Wide product = static_cast<Wide>(a.Scaled()) * b.Scaled();
  Wide quotient = product / 10000;
  const Wide remainder = product % 10000;
  const Wide twice = (remainder < 0 ? -remainder : remainder) * 2;
  if (twice > 10000 || (twice == 10000 && quotient % 2 != 0)) quotient += product < 0 ? -1 : 1;
  if (quotient > INT64_MAX || quotient < INT64_MIN) RaiseRuntime(errnum::kOverflow);
  return Currency::FromScaled(static_cast<std::int64_t>(quotient));
}

}  // namespace brivos
