#include "brivos/foundation/Date.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "brivos/foundation/Error.hpp"
#include "tests/support/SubscriberFixture.hpp"

namespace brivos {
namespace {

using testing::RaisedNumber;

struct Parts {
  int y, mo, d, h, mi, s;
};

void ExpectParts(const Date& date, const Parts& p) {
  EXPECT_EQ(date.Year(), p.y) << date.Serial();
  EXPECT_EQ(date.Month(), p.mo) << date.Serial();
  EXPECT_EQ(date.Day(), p.d) << date.Serial();
  EXPECT_EQ(date.Hour(), p.h) << date.Serial();
  EXPECT_EQ(date.Minute(), p.mi) << date.Serial();
  EXPECT_EQ(date.Second(), p.s) << date.Serial();
}

// Made during static initialisation, in whatever order the program's
// constants are initialised.
const Date kNewYearsEve = Date::FromParts(2024, 12, 31, 18);

TEST(DateTest, ConstantMadeBeforeMain) { EXPECT_EQ(kNewYearsEve.Serial(), 45657.75); }

TEST(DateTest, SerialsOfKnownDates) {
  struct Case {
    Parts parts;
    double serial;
  };
  const Case cases[] = {
      {{1899, 12, 30, 0, 0, 0}, 0.0},
      {{1899, 12, 31, 0, 0, 0}, 1.0},
      {{1900, 1, 1, 0, 0, 0}, 2.0},
      {{1900, 3, 1, 0, 0, 0}, 61.0},  // 1900 is not a leap year
      {{2000, 1, 1, 0, 0, 0}, 36526.0},
      {{2024, 3, 5, 12, 0, 0}, 45356.5},
      {{2024, 2, 29, 6, 0, 0}, 45351.25},
      {{9999, 12, 31, 0, 0, 0}, 2958465.0},
      {{100, 1, 1, 0, 0, 0}, -657434.0},
      // Before the epoch the time of day still counts forward.
      {{1899, 12, 29, 6, 0, 0}, -1.25},
      {{1899, 12, 29, 18, 0, 0}, -1.75},
      {{1899, 12, 28, 0, 0, 0}, -2.0},
  };
  for (const Case& c : cases) {
    const Parts& p = c.parts;
    Date built = Date::FromParts(p.y, p.mo, p.d, p.h, p.mi, p.s);
    EXPECT_EQ(built.Serial(), c.serial) << p.y << "-" << p.mo << "-" << p.d;
    ExpectParts(Date::FromSerial(c.serial), p);
    EXPECT_EQ(Date::FromSerial(c.serial), built);
  }
}

TEST(DateTest, FromSerialRoundsToTheNearestSecond) {
  const double second = 1.0 / 86400.0;
  ExpectParts(Date::FromSerial(45356.5 + 0.4 * second), {2024, 3, 5, 12, 0, 0});
  ExpectParts(Date::FromSerial(45356.5 + 0.6 * second), {2024, 3, 5, 12, 0, 1});
  // Half a second before midnight rolls over to the next day.
  ExpectParts(Date::FromSerial(45357.0 - 0.4 * second), {2024, 3, 6, 0, 0, 0});
  ExpectParts(Date::FromSerial(-1.0 - (1.0 - 0.4 * second)), {1899, 12, 30, 0, 0, 0});
  EXPECT_EQ(Date::FromSerial(-1.0 - (1.0 - 0.4 * second)).Serial(), 0.0);
  // A stamp built from parts equals the same stamp read back from a
  // slightly inexact serial.
  Date exact = Date::FromParts(2024, 3, 5, 9, 5, 1);
  EXPECT_EQ(Date::FromSerial(exact.Serial() + 1e-9), exact);
  EXPECT_EQ(Date::FromSerial(exact.Serial() - 1e-9), exact);
}

TEST(DateTest, FromSerialRaisesOverflowOutsideTheYears) {
  const double cases[] = {2958466.0,
                          -657435.0,
                          1e12,
                          -1e12,
                          std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::infinity()};
  for (double serial : cases) {
    EXPECT_EQ(RaisedNumber([&] { Date::FromSerial(serial); }), errnum::kOverflow) << serial;
  }
  EXPECT_EQ(Date::FromSerial(2958465.99998).Year(), 9999);
  EXPECT_EQ(Date::FromSerial(-657434.99998).Year(), 100);
}

TEST(DateTest, FromPartsRefusesPartsThatNameNoDate) {
  const Parts cases[] = {
      {2024, 13, 1, 0, 0, 0}, {2024, 0, 1, 0, 0, 0},  {2024, 2, 30, 0, 0, 0},
      {2023, 2, 29, 0, 0, 0}, {1900, 2, 29, 0, 0, 0}, {2024, 4, 31, 0, 0, 0},
      {2024, 1, 0, 0, 0, 0},  {2024, 1, 1, 24, 0, 0}, {2024, 1, 1, 0, 60, 0},
      {2024, 1, 1, 0, 0, 60}, {2024, 1, 1, -1, 0, 0}, {99, 12, 31, 0, 0, 0},
      {10000, 1, 1, 0, 0, 0},
  };
  for (const Parts& p : cases) {
    EXPECT_EQ(RaisedNumber([&] { Date::FromParts(p.y, p.mo, p.d, p.h, p.mi, p.s); }),
              errnum::kInvalidArgument)
        << p.y << "-" << p.mo << "-" << p.d << " " << p.h << ":" << p.mi << ":" << p.s;
  }
  EXPECT_EQ(Date::FromParts(2000, 2, 29).Day(), 29);
}

TEST(DateTest, TryParseReadsTheIsoForms) {
  struct Case {
    const char* text;
    Parts parts;
  };
  const Case cases[] = {
      {"2024-03-05", {2024, 3, 5, 0, 0, 0}},
      {"2024-03-05 09:05", {2024, 3, 5, 9, 5, 0}},
      {"2024-03-05 09:05:01", {2024, 3, 5, 9, 5, 1}},
      {"2024-03-05T23:59:59", {2024, 3, 5, 23, 59, 59}},
      {"2024-03-05T09:05", {2024, 3, 5, 9, 5, 0}},
      {" 1850-07-01 ", {1850, 7, 1, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    Date date;
    ASSERT_TRUE(Date::TryParse(c.text, date)) << c.text;
    ExpectParts(date, c.parts);
  }
}

TEST(DateTest, TryParseRejectsOtherTexts) {
  const char* cases[] = {
      "",
      "abc",
      "2024-3-5",
      "2024/03/05",
      "2024-03-05 9:05",
      "2024-03-05 09",
      "2024-03-05 09:05:01Z",
      "2024-03-05 09:05:01.5",
      "2024-03-05x",
      "2024-02-30",
      "2024-13-01",
      "2024-03-05 24:00",
      "0099-01-01",
      "45356",
  };
  for (const char* text : cases) {
    Date date = Date::FromParts(2001, 1, 1);
    EXPECT_FALSE(Date::TryParse(text, date)) << text;
    EXPECT_EQ(date, Date::FromParts(2001, 1, 1)) << text;
  }
}

TEST(DateTest, TextFormsWeekdayAndDatePart) {
  Date stamp = Date::FromParts(2024, 3, 5, 9, 5, 1);
  EXPECT_EQ(stamp.ToString(), "2024-03-05 09:05:01");
  EXPECT_EQ(stamp.ToIsoString(), "2024-03-05T09:05:01");
  EXPECT_EQ(stamp.DatePart(), Date::FromParts(2024, 3, 5));
  EXPECT_EQ(stamp.DatePart().ToString(), "2024-03-05");
  EXPECT_EQ(stamp.DatePart().ToIsoString(), "2024-03-05T00:00:00");
  EXPECT_EQ(Date::FromParts(2024, 3, 5, 0, 0, 1).ToString(), "2024-03-05 00:00:01");
  EXPECT_EQ(Date::FromParts(999, 1, 2).ToString(), "0999-01-02");

  Date before = Date::FromSerial(-1.25);
  EXPECT_EQ(before.ToString(), "1899-12-29 06:00:00");
  EXPECT_EQ(before.DatePart().Serial(), -1.0);

  struct Case {
    Parts parts;
    int weekday;
  };
  const Case cases[] = {
      {{2024, 3, 5, 9, 0, 0}, 3},   // Tuesday
      {{2024, 3, 3, 0, 0, 0}, 1},   // Sunday
      {{2024, 3, 9, 23, 0, 0}, 7},  // Saturday
      {{1899, 12, 30, 0, 0, 0}, 7}, {{1899, 12, 31, 0, 0, 0}, 1},
      {{1899, 12, 29, 6, 0, 0}, 6}, {{1776, 7, 4, 0, 0, 0}, 5},  // Thursday
  };
  for (const Case& c : cases) {
    const Parts& p = c.parts;
    EXPECT_EQ(Date::FromParts(p.y, p.mo, p.d, p.h, p.mi, p.s).Weekday(), c.weekday) << p.y;
  }
}

TEST(DateTest, EveryDayOfARangeRoundTripsThroughItsParts) {
  // Crosses the epoch, the 1900 and 2000 century rules and many leap years.
  Date previous = Date::FromSerial(-40000.0);
  for (double serial = -39999.0; serial <= 80000.0; serial += 1.0) {
    Date date = Date::FromSerial(serial + (serial < 0 ? -0.5 : 0.5));
    Date rebuilt = Date::FromParts(date.Year(), date.Month(), date.Day(), 12);
    ASSERT_EQ(rebuilt, date) << serial;
    ASSERT_EQ(date.Weekday(), previous.Weekday() % 7 + 1) << serial;
    previous = date;
  }
}

}  // namespace
}  // namespace brivos
