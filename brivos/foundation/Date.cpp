#include "brivos/foundation/Date.hpp"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "brivos/foundation/Error.hpp"

namespace brivos {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's
// days_from_civil).
constexpr std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct Civil {
  int year;
  int month;
  int day;
};

Civil CivilFromDays(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return Civil{static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

// Constants, so that a Date made during static initialisation (a caller's
// namespace-scope constant) reads them right.
constexpr std::int64_t kEpochDays = DaysFromCivil(1899, 12, 30);
static_assert(kEpochDays == -25569);
constexpr std::int64_t kFirstDay = DaysFromCivil(100, 1, 1) - kEpochDays;
constexpr std::int64_t kLastDay = DaysFromCivil(9999, 12, 31) - kEpochDays;

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

bool ValidParts(int y, int mo, int d, int h, int mi, int s) {
  return y >= 100 && y <= 9999 && mo >= 1 && mo <= 12 && d >= 1 && d <= DaysInMonth(y, mo) &&
         h >= 0 && h <= 23 && mi >= 0 && mi <= 59 && s >= 0 && s <= 59;
}

// A serial split into its day and the seconds since that day's midnight. The
// day is the integer part; before 1899-12-30 the serial is negative but the
// fraction still counts the time of day forward: -1.25 is day -1 at 06:00.
struct Split {
  std::int64_t day;
  std::int64_t seconds;
};

Split SplitSerial(double serial) {
  double day = std::trunc(serial);
  std::int64_t seconds = std::llround(std::fabs(serial - day) * kSecondsPerDay);
  Split split{static_cast<std::int64_t>(day), seconds};
  if (split.seconds == kSecondsPerDay) {
    ++split.day;
    split.seconds = 0;
  }
  return split;
}

// The one routine every Date is built by, so equal stamps have equal serials.
double JoinSerial(std::int64_t day, std::int64_t seconds) {
  double fraction = static_cast<double>(seconds) / kSecondsPerDay;
  return day < 0 ? static_cast<double>(day) - fraction : static_cast<double>(day) + fraction;
}

// Reads exactly `width` decimal digits at `pos`.
bool ReadDigits(std::string_view text, std::size_t pos, std::size_t width, int& out) {
  if (pos + width > text.size()) return false;
  out = 0;
  for (std::size_t i = pos; i < pos + width; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    out = out * 10 + (text[i] - '0');
  }
  return true;
}

}  // namespace

Date Date::FromParts(int y, int mo, int d, int h, int mi, int s) {
  if (!ValidParts(y, mo, d, h, mi, s)) RaiseRuntime(errnum::kInvalidArgument);
  Date date;
  date.serial_ =
      JoinSerial(DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) - kEpochDays,
                 h * 3600 + mi * 60 + s);
  return date;
}

Date Date::FromSerial(double serial) {
  if (!std::isfinite(serial) || serial <= static_cast<double>(kFirstDay - 1) ||
      serial >= static_cast<double>(kLastDay + 1)) {
    RaiseRuntime(errnum::kOverflow);
  }
  Split split = SplitSerial(serial);
  if (split.day < kFirstDay || split.day > kLastDay) RaiseRuntime(errnum::kOverflow);
  Date date;
  date.serial_ = JoinSerial(split.day, split.seconds);
  return date;
}

bool Date::TryParse(std::string_view text, Date& out) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  if (!ReadDigits(text, 0, 4, y) || text.size() < 10 || text[4] != '-' ||
      !ReadDigits(text, 5, 2, mo) || text[7] != '-' || !ReadDigits(text, 8, 2, d)) {
    return false;
  }
  if (text.size() > 10) {
    if ((text[10] != ' ' && text[10] != 'T') || !ReadDigits(text, 11, 2, h) || text.size() < 16 ||
        text[13] != ':' || !ReadDigits(text, 14, 2, mi)) {
      return false;
    }
    if (text.size() > 16) {
      if (text.size() != 19 || text[16] != ':' || !ReadDigits(text, 17, 2, s)) return false;
    }
  }
  if (!ValidParts(y, mo, d, h, mi, s)) return false;
  out = FromParts(y, mo, d, h, mi, s);
  return true;
}

int Date::Year() const { return CivilFromDays(SplitSerial(serial_).day + kEpochDays).year; }
int Date::Month() const { return CivilFromDays(SplitSerial(serial_).day + kEpochDays).month; }
int Date::Day() const { return CivilFromDays(SplitSerial(serial_).day + kEpochDays).day; }
int Date::Hour() const { return static_cast<int>(SplitSerial(serial_).seconds / 3600); }
int Date::Minute() const { return static_cast<int>(SplitSerial(serial_).seconds / 60 % 60); }
int Date::Second() const { return static_cast<int>(SplitSerial(serial_).seconds % 60); }

int Date::Weekday() const {
  // Day 0, 1899-12-30, was a Saturday.
  std::int64_t day = SplitSerial(serial_).day;
  return static_cast<int>(((day + 6) % 7 + 7) % 7) + 1;
}

Date Date::DatePart() const {
  Date date;
  date.serial_ = JoinSerial(SplitSerial(serial_).day, 0);
  return date;
}

std::string Date::ToString() const {
  Split split = SplitSerial(serial_);
  Civil c = CivilFromDays(split.day + kEpochDays);
  char buf[40];
  if (split.seconds == 0) {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", c.year, c.month, c.day);
  } else {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day,
                  static_cast<int>(split.seconds / 3600), static_cast<int>(split.seconds / 60 % 60),
                  static_cast<int>(split.seconds % 60));
  }
  return buf;
}

std::string Date::ToIsoString() const {
  Split split = SplitSerial(serial_);
  Civil c = CivilFromDays(split.day + kEpochDays);
  const int hour = static_cast<int>(split.seconds / 3600);
  const int minute = static_cast<int>(split.seconds / 60 % 60);
  const int second = static_cast<int>(split.seconds % 60);
  if (c.year < 0 || c.year > 9999) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", c.year, c.month, c.day, hour,
                  minute, second);
    return buf;
  }
  // Written digit by digit: every date of every answer of the service comes here.
  char text[] = "0000-00-00T00:00:00";
  const auto put = [&text](int at, int two_digits) {
    text[at] = static_cast<char>('0' + two_digits / 10);
    text[at + 1] = static_cast<char>('0' + two_digits % 10);
  };
  put(0, c.year / 100);
  put(2, c.year % 100);
  put(5, c.month);
  put(8, c.day);
  put(11, hour);
  put(14, minute);
  put(17, second);
  return std::string(text, 19);
}

}  // namespace brivos
