#pragma once

#include <string>
#include <string_view>

namespace brivos {

// A date and time of day as days since 1899-12-30; the fraction is the time of
// day. Every Date is held to whole seconds, so two stamps built from the same
// parts compare equal exactly.
struct Date {
  constexpr Date() = default;

  // Raises Error 5 for parts that do not name a date in years 100..9999.
  static Date FromParts(int y, int mo, int d, int h = 0, int mi = 0, int s = 0);
  // Rounds to the nearest whole second; Error 6 outside years 100..9999.
  static Date FromSerial(double serial);
  // Reads "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS]" and "YYYY-MM-DDTHH:MM[:SS]";
  // returns false when the text is not such a date.
  static bool TryParse(std::string_view text, Date& out);

  constexpr double Serial() const { return serial_; }
  int Year() const;
  int Month() const;
  int Day() const;
  int Hour() const;
  int Minute() const;
  int Second() const;
  // 1 = Sunday ... 7 = Saturday.
  int Weekday() const;
  // The day at midnight.
  Date DatePart() const;
  // "2024-03-05 09:05:01"; "2024-03-05" at midnight.
  std::string ToString() const;
  // "2024-03-05T09:05:01", always with the time.
  std::string ToIsoString() const;

  friend constexpr bool operator==(Date a, Date b) { return a.serial_ == b.serial_; }
  friend constexpr auto operator<=>(Date a, Date b) { return a.serial_ <=> b.serial_; }

 private:
  double serial_ = 0.0;
};

}  // namespace brivos
