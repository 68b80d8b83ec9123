#include "brivos/foundation/Variant.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "brivos/automation/Object.hpp"
#include "brivos/foundation/Error.hpp"
#include "tests/support/SubscriberFixture.hpp"

namespace brivos {
namespace {

using testing::RaisedNumber;

class Thing : public Object {
 public:
  std::string ClassName() const override { return "Thing"; }
  Variant Invoke(std::string_view, std::vector<Variant>&) override { return Variant(); }
};

Variant Nothing() { return Variant(std::shared_ptr<Object>()); }
Variant AnObject() { return Variant(std::make_shared<Thing>()); }
Variant AnArray() { return Variant(std::vector<Variant>{Variant(1), Variant("a")}); }
Variant Cur(double value) { return Variant(Currency::FromDouble(value)); }

TEST(VariantTest, TypeAndTypeName) {
  struct Case {
    Variant value;
    VarType type;
    const char* name;
    bool numeric;
  };
  const Case cases[] = {
      {Variant(), VarType::Empty, "Empty", false},
      {Variant::Null(), VarType::Null, "Null", false},
      {Variant(true), VarType::Boolean, "Boolean", true},
      {Variant(7), VarType::Long, "Long", true},
      {Variant(7.5), VarType::Double, "Double", true},
      {Cur(1.25), VarType::Currency, "Currency", true},
      {Variant(Date::FromParts(2024, 1, 1)), VarType::Date, "Date", false},
      {Variant("7"), VarType::String, "String", false},
      {AnObject(), VarType::Object, "Object", false},
      {Nothing(), VarType::Object, "Nothing", false},
      {AnArray(), VarType::Array, "Array", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.value.Type(), c.type) << c.name;
    EXPECT_STREQ(c.value.TypeName(), c.name);
    EXPECT_EQ(c.value.IsNumeric(), c.numeric) << c.name;
    EXPECT_EQ(c.value.IsEmpty(), c.type == VarType::Empty) << c.name;
    EXPECT_EQ(c.value.IsNull(), c.type == VarType::Null) << c.name;
  }
  EXPECT_TRUE(Nothing().IsNothing());
  EXPECT_FALSE(AnObject().IsNothing());
  EXPECT_FALSE(Variant().IsNothing());
  EXPECT_FALSE(Variant::Null().IsNothing());
}

TEST(VariantTest, DirectAccessRaisesTypeMismatchForAnotherType) {
  EXPECT_EQ(Variant(5).AsLong(), 5);
  EXPECT_EQ(Variant("x").AsString(), "x");
  EXPECT_EQ(RaisedNumber([] { Variant(5).AsDouble(); }), errnum::kTypeMismatch);
  EXPECT_EQ(RaisedNumber([] { Variant(5.0).AsLong(); }), errnum::kTypeMismatch);
  EXPECT_EQ(RaisedNumber([] { Variant("5").AsLong(); }), errnum::kTypeMismatch);
  EXPECT_EQ(RaisedNumber([] { Variant().AsString(); }), errnum::kTypeMismatch);
  EXPECT_EQ(RaisedNumber([] { Variant::Null().AsBool(); }), errnum::kTypeMismatch);
  EXPECT_EQ(RaisedNumber([] { Variant(1).AsCurrency(); }), errnum::kTypeMismatch);
  EXPECT_EQ(RaisedNumber([] { Variant(1.0).AsDate(); }), errnum::kTypeMismatch);
  EXPECT_EQ(RaisedNumber([] { Variant("a").AsArray(); }), errnum::kTypeMismatch);
  EXPECT_EQ(Variant(5).AsObject(), nullptr);
  EXPECT_EQ(Nothing().AsObject(), nullptr);
  auto thing = std::make_shared<Thing>();
  EXPECT_EQ(Variant(thing).AsObject(), thing);
}

TEST(VariantTest, CopiesOfArraysAndObjects) {
  Variant array = AnArray();
  Variant copy = array;
  ASSERT_EQ(copy.AsArray().size(), 2u);
  EXPECT_EQ(copy.AsArray()[1].AsString(), "a");
  EXPECT_TRUE(Variant(std::vector<Variant>{}).AsArray().empty());

  auto thing = std::make_shared<Thing>();
  Variant object(thing);
  Variant object_copy = object;
  EXPECT_EQ(object_copy.AsObject().get(), thing.get());
}

TEST(VariantTest, CStr) {
  struct Case {
    Variant value;
    const char* text;
  };
  const Case cases[] = {
      {Variant(), ""},
      {Variant(true), "True"},
      {Variant(false), "False"},
      {Variant(-42), "-42"},
      {Variant(2.0), "2"},
      {Variant(-3.5), "-3.5"},
      {Variant(0.1), "0.1"},
      {Variant(-0.0), "0"},
      {Variant(1.0 / 3.0), "0.333333333333333"},
      {Variant(123456789012345.0), "123456789012345"},
      {Variant(1e20), "1E+20"},
      {Variant(0.0001), "0.0001"},
      {Cur(199.172), "199.172"},
      {Cur(-3.5), "-3.5"},
      {Variant(Date::FromParts(2024, 3, 5, 9, 5, 1)), "2024-03-05 09:05:01"},
      {Variant(Date::FromParts(2024, 3, 5)), "2024-03-05"},
      {Variant("as is "), "as is "},
  };
  for (const Case& c : cases) EXPECT_EQ(CStr(c.value), c.text);
  EXPECT_EQ(RaisedNumber([] { CStr(Variant::Null()); }), errnum::kInvalidUseOfNull);
  EXPECT_EQ(RaisedNumber([] { CStr(AnObject()); }), errnum::kTypeMismatch);
  EXPECT_EQ(RaisedNumber([] { CStr(Nothing()); }), errnum::kTypeMismatch);
  EXPECT_EQ(RaisedNumber([] { CStr(AnArray()); }), errnum::kTypeMismatch);
}

TEST(VariantTest, CLngRoundsHalvesToEven) {
  struct Case {
    Variant value;
    std::int32_t result;
  };
  const Case cases[] = {
      {Variant(2.5), 2},
      {Variant(3.5), 4},
      {Variant(-2.5), -2},
      {Variant(-3.5), -4},
      {Variant(0.5), 0},
      {Variant(1.5), 2},
      {Variant(2.4999), 2},
      {Variant(2.5001), 3},
      {Variant(-0.4), 0},
      {Cur(2.5), 2},
      {Cur(3.5), 4},
      {Cur(-2.5), -2},
      {Cur(-3.5), -4},
      {Cur(2.5001), 3},
      {Cur(-2.5001), -3},
      {Variant("2.5"), 2},
      {Variant("3.5"), 4},
      {Variant(2147483647.4), 2147483647},
      {Variant(-2147483648.5), -2147483648},
      {Variant(Date::FromParts(1900, 1, 1, 12)), 2},  // 2.5
      {Variant(Date::FromParts(1900, 1, 2, 13)), 4},
  };
  for (const Case& c : cases) EXPECT_EQ(CLng(c.value), c.result) << CStr(c.value);
}

TEST(VariantTest, CLngOfOtherTypes) {
  EXPECT_EQ(CLng(Variant()), 0);
  EXPECT_EQ(CLng(Variant(true)), -1);
  EXPECT_EQ(CLng(Variant(false)), 0);
  EXPECT_EQ(CLng(Variant(12)), 12);
  EXPECT_EQ(CLng(Variant("12")), 12);
  EXPECT_EQ(CLng(Variant(" 12 ")), 12);
  EXPECT_EQ(CLng(Variant("-12")), -12);
  EXPECT_EQ(CLng(Variant("+12")), 12);
  EXPECT_EQ(CLng(Variant("1e3")), 1000);
  EXPECT_EQ(CLng(Variant(".5")), 0);

  const char* not_numbers[] = {"abc", "",     "  ", "12abc", "1 2",  "inf",
                               "nan", "0x10", "-",  ".",     "True", "1e"};
  for (const char* text : not_numbers) {
    EXPECT_EQ(RaisedNumber([&] { CLng(Variant(text)); }), errnum::kTypeMismatch) << text;
  }
  const Variant too_large[] = {Variant(2147483647.5), Variant(-2147483649.0), Variant(1e300),
                               Variant("2147483648"), Variant("1e400"),       Cur(3000000000.0)};
  for (const Variant& v : too_large) {
    EXPECT_EQ(RaisedNumber([&] { CLng(v); }), errnum::kOverflow) << CStr(v);
  }
  EXPECT_EQ(RaisedNumber([] { CLng(Variant(std::numeric_limits<double>::quiet_NaN())); }),
            errnum::kOverflow);
  EXPECT_EQ(RaisedNumber([] { CLng(Variant::Null()); }), errnum::kInvalidUseOfNull);
  EXPECT_EQ(RaisedNumber([] { CLng(AnObject()); }), errnum::kTypeMismatch);
  EXPECT_EQ(RaisedNumber([] { CLng(AnArray()); }), errnum::kTypeMismatch);
}

TEST(VariantTest, CDbl) {
  EXPECT_EQ(CDbl(Variant()), 0.0);
  EXPECT_EQ(CDbl(Variant(true)), -1.0);
  EXPECT_EQ(CDbl(Variant(3)), 3.0);
  EXPECT_EQ(CDbl(Variant(0.1)), 0.1);
  EXPECT_EQ(CDbl(Cur(199.172)), 199.172);
  EXPECT_EQ(CDbl(Variant(Date::FromParts(2024, 3, 5, 12))), 45356.5);
  EXPECT_EQ(CDbl(Variant(" -0.25 ")), -0.25);
  EXPECT_EQ(CDbl(Variant("1e-400")), 0.0);
  EXPECT_EQ(CDbl(Variant("-1000e-1000")), 0.0);
  EXPECT_EQ(CDbl(Variant("0.00001e-400")), 0.0);
  EXPECT_EQ(RaisedNumber([] { CDbl(Variant("1e400")); }), errnum::kOverflow);
  EXPECT_EQ(RaisedNumber([] { CDbl(Variant("-0.0001e400")); }), errnum::kOverflow);
  EXPECT_EQ(RaisedNumber([] { CDbl(Variant(std::string(400, '9'))); }), errnum::kOverflow);
  EXPECT_EQ(RaisedNumber([] { CDbl(Variant("x1")); }), errnum::kTypeMismatch);
  EXPECT_EQ(RaisedNumber([] { CDbl(Variant::Null()); }), errnum::kInvalidUseOfNull);
  EXPECT_EQ(RaisedNumber([] { CDbl(Nothing()); }), errnum::kTypeMismatch);
}

TEST(VariantTest, CCurRoundsHalvesToEven) {
  struct Case {
    Variant value;
    const char* fixed;
  };
  const Case cases[] = {
      {Variant(0.00005), "0.0000"},
      {Variant(0.00015), "0.0002"},
      {Variant(-0.00015), "-0.0002"},
      {Variant(2.00025), "2.0002"},
      {Variant("0.00015"), "0.0002"},
      {Variant(" 0.00005 "), "0.0000"},
      {Variant(), "0.0000"},
      {Variant(true), "-1.0000"},
      {Variant(12), "12.0000"},
      {Variant(-2147483647 - 1), "-2147483648.0000"},
      {Variant(Date::FromParts(2024, 3, 5, 12)), "45356.5000"},
      {Cur(1.5), "1.5000"},
  };
  for (const Case& c : cases) EXPECT_EQ(CCur(c.value).ToFixedString(), c.fixed) << CStr(c.value);
  EXPECT_EQ(RaisedNumber([] { CCur(Variant(1e16)); }), errnum::kOverflow);
  EXPECT_EQ(RaisedNumber([] { CCur(Variant("1e16")); }), errnum::kOverflow);
  EXPECT_EQ(RaisedNumber([] { CCur(Variant("1,5")); }), errnum::kTypeMismatch);
  EXPECT_EQ(RaisedNumber([] { CCur(Variant::Null()); }), errnum::kInvalidUseOfNull);
  EXPECT_EQ(RaisedNumber([] { CCur(AnArray()); }), errnum::kTypeMismatch);
}

TEST(VariantTest, CDate) {
  Date stamp = Date::FromParts(2024, 3, 5, 9, 5, 1);
  EXPECT_EQ(CDate(Variant(stamp)), stamp);
  EXPECT_EQ(CDate(Variant()).Serial(), 0.0);
  EXPECT_EQ(CDate(Variant(45356.5)), Date::FromParts(2024, 3, 5, 12));
  EXPECT_EQ(CDate(Variant(45356)), Date::FromParts(2024, 3, 5));
  EXPECT_EQ(CDate(Cur(-1.25)), Date::FromParts(1899, 12, 29, 6));
  EXPECT_EQ(CDate(Variant("2024-03-05 09:05:01")), stamp);
  EXPECT_EQ(CDate(Variant("2024-03-05T09:05:01")), stamp);
  EXPECT_EQ(CDate(Variant(CStr(Variant(stamp)))), stamp);
  EXPECT_EQ(RaisedNumber([] { CDate(Variant("yesterday")); }), errnum::kTypeMismatch);
  EXPECT_EQ(RaisedNumber([] { CDate(Variant("2024-02-30")); }), errnum::kTypeMismatch);
  EXPECT_EQ(RaisedNumber([] { CDate(Variant(1e9)); }), errnum::kOverflow);
  EXPECT_EQ(RaisedNumber([] { CDate(Variant::Null()); }), errnum::kInvalidUseOfNull);
  EXPECT_EQ(RaisedNumber([] { CDate(AnObject()); }), errnum::kTypeMismatch);
}

TEST(VariantTest, CBool) {
  struct Case {
    Variant value;
    bool result;
  };
  const Case cases[] = {
      {Variant(), false},        {Variant(true), true},       {Variant(false), false},
      {Variant(0), false},       {Variant(-1), true},         {Variant(2), true},
      {Variant(0.0), false},     {Variant(0.25), true},       {Cur(0.0001), true},
      {Cur(0.0), false},         {Variant("True"), true},     {Variant("tRUE"), true},
      {Variant("FALSE"), false}, {Variant(" false "), false}, {Variant("0"), false},
      {Variant("-1"), true},     {Variant("0.5"), true},
  };
  for (const Case& c : cases) EXPECT_EQ(CBool(c.value), c.result) << CStr(c.value);
  EXPECT_EQ(RaisedNumber([] { CBool(Variant("yes")); }), errnum::kTypeMismatch);
  EXPECT_EQ(RaisedNumber([] { CBool(Variant("")); }), errnum::kTypeMismatch);
  EXPECT_EQ(RaisedNumber([] { CBool(Variant::Null()); }), errnum::kInvalidUseOfNull);
  EXPECT_EQ(RaisedNumber([] { CBool(AnObject()); }), errnum::kTypeMismatch);
}

TEST(VariantTest, SqlQuoteDoublesApostrophes) {
  EXPECT_EQ(SqlQuote(Variant("O'Brien")), "'O''Brien'");
  EXPECT_EQ(SqlQuote(Variant("''")), "''''''");
  EXPECT_EQ(SqlQuote(Variant("x' OR '1'='1")), "'x'' OR ''1''=''1'");
  EXPECT_EQ(SqlQuote(Variant()), "''");
  EXPECT_EQ(SqlQuote(Variant(12)), "'12'");
  EXPECT_EQ(SqlQuote(Variant(true)), "'True'");
  EXPECT_EQ(RaisedNumber([] { SqlQuote(Variant::Null()); }), errnum::kInvalidUseOfNull);
  EXPECT_EQ(RaisedNumber([] { SqlQuote(AnObject()); }), errnum::kTypeMismatch);
  // A NUL would end the statement text where it stands.
  for (std::string text : {std::string("x\0' OR 1=1 --", 14), std::string(1, '\0')}) {
    EXPECT_EQ(RaisedNumber([&] { SqlQuote(Variant(text)); }), errnum::kInvalidArgument);
  }
}

TEST(VariantTest, SqlNumberLetsOnlyNumbersOut) {
  struct Case {
    Variant value;
    const char* text;
  };
  const Case cases[] = {
      {Variant(42), "42"},
      {Variant(-2147483647 - 1), "-2147483648"},
      {Variant(true), "-1"},
      {Variant(false), "0"},
      {Variant(2.0), "2"},
      {Variant(-0.0), "0"},
      {Variant(0.1), "0.1"},
      {Variant(0.1 + 0.2), "0.30000000000000004"},
      {Variant(123456789012345.0), "123456789012345"},
      {Cur(199.172), "199.172"},
      {Cur(-3.5), "-3.5"},
      {Variant("17"), "17"},
      {Variant(" 17 "), "17"},
      {Variant("+17"), "17"},
      {Variant("-17.50"), "-17.5"},
      {Variant("007"), "7"},
      {Variant(".5"), "0.5"},
      {Variant("5."), "5"},
      {Variant("-0"), "0"},
      {Variant("-0.000"), "0"},
  };
  for (const Case& c : cases) EXPECT_EQ(SqlNumber(c.value), c.text);

  const char* refused[] = {"1 OR 1=1", "1;DROP TABLE x", "",    " ",  "abc", "1e5",
                           "0x10",     "1,000",          "--1", "1-", ".",   "+",
                           "1.2.3",    "12 34",          "inf"};
  for (const char* text : refused) {
    EXPECT_EQ(RaisedNumber([&] { SqlNumber(Variant(text)); }), errnum::kTypeMismatch) << text;
  }
  EXPECT_EQ(RaisedNumber([] { SqlNumber(Variant()); }), errnum::kTypeMismatch);
  EXPECT_EQ(RaisedNumber([] { SqlNumber(Variant(Date::FromParts(2024, 1, 1))); }),
            errnum::kTypeMismatch);
  EXPECT_EQ(RaisedNumber([] { SqlNumber(AnObject()); }), errnum::kTypeMismatch);
  EXPECT_EQ(RaisedNumber([] { SqlNumber(AnArray()); }), errnum::kTypeMismatch);
  EXPECT_EQ(RaisedNumber([] { SqlNumber(Variant::Null()); }), errnum::kInvalidUseOfNull);
  EXPECT_NE(RaisedNumber([] { SqlNumber(Variant(std::numeric_limits<double>::infinity())); }), 0);
}

TEST(VariantTest, SqlNumberOfADoubleReadsBackAsTheSameDouble) {
  const double values[] = {1.0 / 3.0, 1e20, -1e-7, 2.5e-300, 9007199254740993.0, 0.1 + 0.7};
  for (double value : values) {
    std::string text = SqlNumber(Variant(value));
    EXPECT_EQ(std::stod(text), value) << text;
  }
}

TEST(VariantTest, EqualsIgnoreCase) {
  EXPECT_TRUE(EqualsIgnoreCase("AddProject", "ADDPROJECT"));
  EXPECT_TRUE(EqualsIgnoreCase("", ""));
  EXPECT_FALSE(EqualsIgnoreCase("Count", "Counts"));
  EXPECT_FALSE(EqualsIgnoreCase("Item", "Itam"));
  EXPECT_FALSE(EqualsIgnoreCase("@", "`"));  // neighbours of the letters are not letters
}

}  // namespace
}  // namespace brivos
