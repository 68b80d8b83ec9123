#include "brivos/foundation/Currency.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "brivos/foundation/Error.hpp"
#include "tests/support/SubscriberFixture.hpp"

namespace brivos {
namespace {

using testing::RaisedNumber;

TEST(CurrencyTest, FromDoubleRoundsHalvesToEvenAtTheFourthDecimal) {
  struct Case {
    double value;
    std::int64_t scaled;
  };
  const Case cases[] = {
      {0.00005, 0},     {0.00015, 2},
      {0.00025, 2},     {0.00035, 4},
      {-0.00005, 0},    {-0.00015, -2},
      {0.000051, 1},    {0.000049, 0},
      {0.000005, 0},    {1.23456, 12346},
      {1.23454, 12345}, {199.172, 1991720},
      {-3.5, -35000},   {0.1, 1000},
      {2.5, 25000},     {0.0, 0},
      {-0.0, 0},        {12345678.12345, 123456781234},
      {1e-300, 0},      {922337203685477.0, 9223372036854770000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Currency::FromDouble(c.value).Scaled(), c.scaled) << c.value;
  }
}

TEST(CurrencyTest, FromDoubleRaisesOverflowOutOfRangeOrNotANumber) {
  const double cases[] = {
      922337203685477.6,  // rounds past the largest value
      -922337203685478.0,
      1e15,
      1e300,
      -1e300,
      std::numeric_limits<double>::infinity(),
      -std::numeric_limits<double>::infinity(),
      std::numeric_limits<double>::quiet_NaN(),
  };
  for (double value : cases) {
    EXPECT_EQ(RaisedNumber([&] { Currency::FromDouble(value); }), errnum::kOverflow) << value;
  }
}

TEST(CurrencyTest, TextForms) {
  struct Case {
    std::int64_t scaled;
    const char* shortest;
    const char* fixed;
  };
  const Case cases[] = {
      {1991720, "199.172", "199.1720"},
      {-35000, "-3.5", "-3.5000"},
      {0, "0", "0.0000"},
      {1, "0.0001", "0.0001"},
      {-1, "-0.0001", "-0.0001"},
      {-9999, "-0.9999", "-0.9999"},
      {10000, "1", "1.0000"},
      {1234500000, "123450", "123450.0000"},
      {INT64_MAX, "922337203685477.5807", "922337203685477.5807"},
      {INT64_MIN, "-922337203685477.5808", "-922337203685477.5808"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Currency::FromScaled(c.scaled).ToString(), c.shortest);
    EXPECT_EQ(Currency::FromScaled(c.scaled).ToFixedString(), c.fixed);
  }
}

TEST(CurrencyTest, SumsAreExactAndOverflowRaises) {
  // Ten times 0.1 is exactly 1 in fixed point, unlike in binary.
  Currency sum;
  for (int i = 0; i < 10; ++i) sum = sum + Currency::FromDouble(0.1);
  EXPECT_EQ(sum, Currency::FromScaled(10000));
  EXPECT_EQ((sum - Currency::FromDouble(0.3)).ToString(), "0.7");

  const Currency max = Currency::FromScaled(INT64_MAX);
  const Currency min = Currency::FromScaled(INT64_MIN);
  const Currency one = Currency::FromScaled(1);
  EXPECT_EQ(RaisedNumber([&] { (void)(max + one); }), errnum::kOverflow);
  EXPECT_EQ(RaisedNumber([&] { (void)(min - one); }), errnum::kOverflow);
  EXPECT_EQ(RaisedNumber([&] { (void)(Currency() - min); }), errnum::kOverflow);
  EXPECT_EQ((max - one + one), max);
  EXPECT_EQ((min + one - one), min);
}

TEST(CurrencyTest, CompareByValue) {
  EXPECT_LT(Currency::FromDouble(-0.0001), Currency());
  EXPECT_GT(Currency::FromDouble(2.0), Currency::FromDouble(1.9999));
  EXPECT_EQ(Currency::FromDouble(1.5), Currency::FromScaled(15000));
}

}  // namespace
}  // namespace brivos
