#pragma once

#include <cstdint>
#include <string>

namespace brivos {

// Signed 64-bit fixed point with four decimal places. Sums and differences are
// exact; conversions from double round halves to even.
struct Currency {
  constexpr Currency() = default;

  static constexpr Currency FromScaled(std::int64_t ten_thousandths) {
    Currency c;
    c.scaled_ = ten_thousandths;
    return c;
  }
  // Raises Error 6 (overflow) when the value does not fit.
  static Currency FromDouble(double value);

  constexpr std::int64_t Scaled() const { return scaled_; }
  double ToDouble() const { return static_cast<double>(scaled_) / 10000.0; }
  // Shortest decimal text: "199.172", "-3.5", "0".
  std::string ToString() const;
  // Always four decimals: "199.1720".
  std::string ToFixedString() const;

  friend constexpr bool operator==(Currency a, Currency b) { return a.scaled_ == b.scaled_; }
  friend constexpr auto operator<=>(Currency a, Currency b) { return a.scaled_ <=> b.scaled_; }
  // Raise Error 6 on overflow.
  friend Currency operator+(Currency a, Currency b);
  friend Currency operator-(Currency a, Currency b);
  // The exact product kept to four decimal places, halves to even; Error 6
  // on overflow.
  friend Currency operator*(Currency a, Currency b);

 private:
  std::int64_t scaled_ = 0;
};

}  // namespace brivos
