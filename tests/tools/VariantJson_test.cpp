#include "json/VariantJson.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/SubscriberFixture.hpp"

namespace brivos::json {
namespace {

// ---- arguments

struct ArgumentCase {
  const char* text;
  VarType type;
  const char* as_text;  // CStr of the value, or nullptr for Null
};

class ArgumentFromTextTest : public ::testing::TestWithParam<ArgumentCase> {};

TEST_P(ArgumentFromTextTest, GivesTheVariantTheTextDescribes) {
  const ArgumentCase& c = GetParam();
  const Variant v = ArgumentFromText(c.text);
  EXPECT_EQ(v.Type(), c.type) << c.text << " gave " << v.TypeName();
  if (c.as_text != nullptr) {
    EXPECT_EQ(CStr(v), c.as_text) << c.text;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Scalars, ArgumentFromTextTest,
    ::testing::Values(
        ArgumentCase{"42", VarType::Long, "42"}, ArgumentCase{"-7", VarType::Long, "-7"},
        ArgumentCase{"2147483647", VarType::Long, "2147483647"},
        ArgumentCase{"-2147483648", VarType::Long, "-2147483648"},
        ArgumentCase{"2147483648", VarType::Double, "2147483648"},
        ArgumentCase{"-2147483649", VarType::Double, "-2147483649"},
        ArgumentCase{"2.5", VarType::Double, "2.5"}, ArgumentCase{"3.0", VarType::Double, "3"},
        ArgumentCase{"true", VarType::Boolean, "True"},
        ArgumentCase{"false", VarType::Boolean, "False"},
        ArgumentCase{"null", VarType::Null, nullptr}, ArgumentCase{"\"42\"", VarType::String, "42"},
        ArgumentCase{"\"true\"", VarType::String, "true"},
        ArgumentCase{"\"a b\\\"c\"", VarType::String, "a b\"c"},
        ArgumentCase{"admin", VarType::String, "admin"},
        ArgumentCase{"A100", VarType::String, "A100"},
        ArgumentCase{"2024-03-05", VarType::String, "2024-03-05"},
        ArgumentCase{"12abc", VarType::String, "12abc"},
        ArgumentCase{"007", VarType::String, "007"}, ArgumentCase{"-x", VarType::String, "-x"},
        ArgumentCase{"", VarType::String, ""}));

// Whole numbers as app::WholeNumber has them: a Long within 32 bits, an
// exact Double up to 2^53 either way, error 6 beyond; other numbers Doubles.
TEST(ArgumentFromText, WholeNumbersKeepTheirExactValueOrAreRefused) {
  struct Case {
    const char* text;
    VarType type;  // Empty: refused with error 6
    double value;
  };
  const Case cases[] = {
      {"2147483647", VarType::Long, 2147483647.0},
      {"-2147483648", VarType::Long, -2147483648.0},
      {"2147483648", VarType::Double, 2147483648.0},
      {"-2147483649", VarType::Double, -2147483649.0},
      {"9007199254740992", VarType::Double, 9007199254740992.0},
      {"-9007199254740992", VarType::Double, -9007199254740992.0},
      {"9007199254740993", VarType::Empty, 0},
      {"-9007199254740993", VarType::Empty, 0},
      {"9223372036854775807", VarType::Empty, 0},
      {"-9223372036854775808", VarType::Empty, 0},
      {"9223372036854775808", VarType::Empty, 0},
      {"18446744073709551615", VarType::Empty, 0},
      {"18446744073709551616", VarType::Empty, 0},
      {"-18446744073709551617", VarType::Empty, 0},
      {"[1, 9007199254740993]", VarType::Empty, 0},
      {"9007199254740993.0", VarType::Double, 9007199254740992.0},
      {"1e300", VarType::Double, 1e300},
      {"-2.5E-3", VarType::Double, -0.0025},
  };
  for (const Case& c : cases) {
    if (c.type == VarType::Empty) {
      try {
        const Variant v = ArgumentFromText(c.text);
        ADD_FAILURE() << c.text << " gave " << v.TypeName();
      } catch (const Error& e) {
        EXPECT_EQ(e.Number(), errnum::kOverflow) << c.text;
      }
      continue;
    }
    const Variant v = ArgumentFromText(c.text);
    EXPECT_EQ(v.Type(), c.type) << c.text;
    EXPECT_EQ(CDbl(v), c.value) << c.text;
    EXPECT_EQ(FromJson(Json::parse(c.text)).Type(), c.type) << c.text;
  }
}

TEST(ArgumentFromText, ArraysConvertEachItem) {
  const Variant v = ArgumentFromText(R"([1, "a", null, [2.5]])");
  ASSERT_EQ(v.Type(), VarType::Array);
  const auto& items = v.AsArray();
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0].Type(), VarType::Long);
  EXPECT_EQ(items[1].AsString(), "a");
  EXPECT_TRUE(items[2].IsNull());
  ASSERT_EQ(items[3].Type(), VarType::Array);
  EXPECT_EQ(items[3].AsArray().at(0).AsDouble(), 2.5);
}

TEST(ArgumentFromText, RefusesTextThatStartsAsJsonButDoesNotParse) {
  for (const char* text : {"{\"a\":", "[1,", "\"abc", " [", "{}", "{\"a\":1}", "[{\"a\":1}]"}) {
    EXPECT_THROW(ArgumentFromText(text), BadInput) << text;
  }
}

TEST(DateArgumentFromText, ReadsIsoTextAndSerials) {
  EXPECT_EQ(DateArgumentFromText("2024-03-05").AsDate(), Date::FromParts(2024, 3, 5));
  EXPECT_EQ(DateArgumentFromText("2024-03-05T09:30:00").AsDate(),
            Date::FromParts(2024, 3, 5, 9, 30, 0));
  EXPECT_EQ(DateArgumentFromText("\"2024-03-05 09:30\"").AsDate(),
            Date::FromParts(2024, 3, 5, 9, 30, 0));
  EXPECT_EQ(DateArgumentFromText("45356").AsDate(), Date::FromSerial(45356));
}

TEST(DateArgumentFromText, RefusesTextThatIsNoDate) {
  for (const char* text : {"soon", "2024-13-45", "[1]", "null"}) {
    EXPECT_THROW(DateArgumentFromText(text), BadInput) << text;
  }
}

// ---- results

TEST(ToJson, ScalarsPrintAsTheirJsonCounterparts) {
  EXPECT_TRUE(ToJson(Variant()).is_null());
  EXPECT_TRUE(ToJson(Variant::Null()).is_null());
  EXPECT_EQ(ToJson(Variant(true)), Json(true));
  EXPECT_EQ(ToJson(Variant(std::int32_t{-12})), Json(-12));
  EXPECT_EQ(ToJson(Variant(2.25)), Json(2.25));
  EXPECT_EQ(ToJson(Variant("O'Brien")), Json("O'Brien"));
}

TEST(ToJson, CurrencyIsDecimalTextWithFourPlaces) {
  EXPECT_EQ(ToJson(Variant(Currency::FromScaled(1991720))), Json("199.1720"));
  EXPECT_EQ(ToJson(Variant(Currency::FromScaled(-35000))), Json("-3.5000"));
  EXPECT_EQ(ToJson(Variant(Currency::FromScaled(0))), Json("0.0000"));
  EXPECT_EQ(ToJson(Variant(Currency::FromScaled(1))), Json("0.0001"));
}

TEST(ToJson, DatesAreIsoText) {
  EXPECT_EQ(ToJson(Variant(Date::FromParts(2024, 3, 5, 9, 5, 1))), Json("2024-03-05T09:05:01"));
  EXPECT_EQ(ToJson(Variant(Date::FromParts(2024, 3, 5))), Json("2024-03-05T00:00:00"));
}

TEST(ToJson, ArraysNest) {
  const Variant v(std::vector<Variant>{Variant(std::int32_t{1}),
                                       Variant(std::vector<Variant>{Variant("x"), Variant()})});
  EXPECT_EQ(ToJson(v), Json::parse(R"([1, ["x", null]])"));
}

TEST(ToJson, RawShowsTheVariantTypeOfEveryValue) {
  EXPECT_EQ(ToJson(Variant(std::int32_t{3}), true), Json::parse(R"({"type":"Long","value":3})"));
  EXPECT_EQ(ToJson(Variant(), true), Json::parse(R"({"type":"Empty","value":null})"));
  EXPECT_EQ(ToJson(Variant::Null(), true), Json::parse(R"({"type":"Null","value":null})"));
  EXPECT_EQ(ToJson(Variant(3.0), true), Json::parse(R"({"type":"Double","value":3.0})"));
  EXPECT_EQ(ToJson(Variant(Currency::FromScaled(30000)), true),
            Json::parse(R"({"type":"Currency","value":"3.0000"})"));
  const Json array = ToJson(Variant(std::vector<Variant>{Variant("a")}), true);
  EXPECT_EQ(array["type"], "Array");
  EXPECT_EQ(array["value"], Json::parse(R"([{"type":"String","value":"a"}])"));
}

TEST(ToJson, NoObjectIsNull) { EXPECT_TRUE(ToJson(Variant(std::shared_ptr<Object>())).is_null()); }

TEST(ToJson, RecordIsAnObjectOfItsColumnsInOrder) {
  auto record = std::make_shared<SysSessions>();
  const Json out = ToJson(Variant(record));
  ASSERT_TRUE(out.is_object());
  std::vector<std::string> keys;
  for (const auto& item : out.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"SysSessionsID", "Account", "UserName", "Token",
                                            "LastUpdate"}));
  for (const auto& item : out.items()) EXPECT_TRUE(item.value().is_null()) << item.key();

  const Json raw = ToJson(Variant(record), true);
  EXPECT_EQ(raw["type"], "Object");
  EXPECT_EQ(raw["class"], "SysSessions");
  EXPECT_EQ(raw["value"]["Token"], Json::parse(R"({"type":"Empty","value":null})"));
}

TEST(ToJson, CollectionIsAnArrayOfItsItems) {
  auto collection = std::make_shared<Collection>();
  EXPECT_EQ(ToJson(Variant(collection)), Json::array());
  collection->Add(Variant("first"), "k1");
  collection->Add(Variant(std::make_shared<SysSessions>()), "k2");
  collection->Add(Variant(Currency::FromScaled(125000)));
  const Json out = ToJson(Variant(collection));
  ASSERT_TRUE(out.is_array());
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0], "first");
  EXPECT_TRUE(out[1].is_object());
  EXPECT_TRUE(out[1].contains("Token"));
  EXPECT_EQ(out[2], "12.5000");
}

TEST(ToJson, RecordsetIsEveryRowFromTheFirstWhereverItStands) {
  auto rows = std::make_shared<Recordset>(std::vector<std::string>{"Name", "Amount", "When"});
  rows->AddRow({Variant("a"), Variant(Currency::FromScaled(15000)), Variant::Null()});
  rows->AddRow(
      {Variant("b"), Variant(Currency::FromScaled(-5)), Variant(Date::FromParts(2024, 1, 2))});
  rows->MoveFirst();
  rows->MoveNext();
  rows->MoveNext();
  ASSERT_TRUE(rows->Eof());
  const Json out = ToJson(Variant(rows));
  EXPECT_EQ(out, Json::parse(R"([{"Name":"a","Amount":"1.5000","When":null},
                                 {"Name":"b","Amount":"-0.0005","When":"2024-01-02T00:00:00"}])"));
  // Field order is the statement's, not alphabetical.
  EXPECT_EQ(out[0].begin().key(), "Name");
  EXPECT_EQ(std::next(out[0].begin()).key(), "Amount");
}

TEST(ToJson, RecordsetWithoutRowsIsAnEmptyArrayAndAClosedSetIsNull) {
  auto empty = std::make_shared<Recordset>(std::vector<std::string>{"n"});
  EXPECT_EQ(ToJson(Variant(empty)), Json::array());
  auto closed = std::make_shared<Recordset>();
  closed->SetClosed(true);
  EXPECT_TRUE(ToJson(Variant(closed)).is_null());
}

TEST(ToJson, OtherObjectsShowTheirClass) {
  EXPECT_EQ(ToJson(Variant(CreateObject("BRIVOS.CSecurityMgr"))),
            Json::parse(R"({"class":"CSecurityMgr"})"));
}

TEST(AppendJson, WritesWhatDumpOfToJsonWrites) {
  auto rows = std::make_shared<Recordset>(std::vector<std::string>{"N", "n", "N"});
  rows->AddRow({Variant(1.5), Variant(1e300), Variant(std::int32_t{-3})});
  auto items = std::make_shared<Collection>();
  items->Add(Variant(std::make_shared<IUser>()));
  items->Add(Variant(std::vector<Variant>{Variant(), Variant(false), Variant(3.0)}));
  auto closed = std::make_shared<Recordset>();
  closed->SetClosed(true);
  for (const Variant& v :
       {Variant(std::string("q\"\\/\b\f\n\r\t\x01\x1f\x7f")), Variant("caf\xC3\xA9 \xff"),
        Variant(Currency::FromScaled(-5)), Variant(Date::FromParts(2024, 3, 5, 9, 5, 1)),
        Variant(rows), Variant(items), Variant(closed), Variant(CreateObject("BRIVOS.CCIMgr")),
        Variant(std::shared_ptr<Object>())}) {
    std::string text;
    AppendJson(text, v);
    EXPECT_EQ(text, Dump(ToJson(v), true));
  }
  auto secret = std::make_shared<Recordset>(std::vector<std::string>{"a", "PASSWORD"});
  secret->AddRow({Variant("x"), Variant("s3cret")});
  std::string left_out, nulled;
  AppendJson(left_out, Variant(secret), "Password");
  AppendJson(nulled, Variant(secret), "Password", true);
  EXPECT_EQ(left_out, R"([{"a":"x"}])");
  EXPECT_EQ(nulled, R"([{"a":"x","PASSWORD":null}])");
}

TEST(Dump, ReplacesInvalidUtf8RatherThanFailing) {
  const std::string text = Dump(Json(std::string("a\xff") + "b"), true);
  EXPECT_EQ(text,
            "\"a\xEF\xBF\xBD"
            "b\"");
}

}  // namespace
}  // namespace brivos::json
