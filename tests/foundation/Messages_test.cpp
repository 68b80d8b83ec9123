#include "brivos/foundation/Messages.hpp"

#include <gtest/gtest.h>

#include <cstdint>

#include "brivos/foundation/Error.hpp"
#include "tests/support/SubscriberFixture.hpp"

namespace brivos {
namespace {

using testing::RaisedNumber;

TEST(ReplaceTokenTest, ReplacesEveryOccurrence) {
  struct Case {
    const char* text;
    const char* token;
    Variant value;
    const char* result;
  };
  const Case cases[] = {
      {"Project %1 not found", "%1", Variant("P-7"), "Project P-7 not found"},
      {"%1%1", "%1", Variant("ab"), "abab"},
      {"%1%1%1", "%1", Variant(""), ""},
      {"%1 and %1", "%1", Variant(3), "3 and 3"},
      {"no token here", "%1", Variant("x"), "no token here"},
      {"%11", "%1", Variant("x"), "x1"},
      {"%2%1", "%1", Variant("x"), "%2x"},
      {"100%1", "%1", Variant(2.5), "1002.5"},
      {"case %A %a", "%a", Variant("x"), "case %A x"},
      {"", "%1", Variant("x"), ""},
      {"at the end %1", "%1", Variant(), "at the end "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReplaceToken(c.text, c.token, c.value), c.result) << c.text;
  }
}

TEST(ReplaceTokenTest, AValueHoldingItsOwnTokenIsInsertedOnce) {
  EXPECT_EQ(ReplaceToken("a %1 b", "%1", "x%1y"), "a x%1y b");
  EXPECT_EQ(ReplaceToken("%1%1", "%1", "%1"), "%1%1");
  EXPECT_EQ(ReplaceToken("%1", "%1", "%1%1%1"), "%1%1%1");
  // A token formed by the value's end and the following text is not a token
  // of the original text, and is left alone.
  EXPECT_EQ(ReplaceToken("%11", "%1", "%"), "%1");
}

TEST(FillMessageTest, FillsTheTokensInOrder) {
  EXPECT_EQ(FillMessage("User %1 may not open %2 (%3)", "ann", "P-1", 3),
            "User ann may not open P-1 (3)");
  EXPECT_EQ(FillMessage("%3%2%1", "a", "b", "c"), "cba");
  EXPECT_EQ(FillMessage("%1 %1", true), "True True");
  EXPECT_EQ(FillMessage("no tokens", "a", "b", "c"), "no tokens");
  // An omitted value is Empty and takes its token out.
  EXPECT_EQ(FillMessage("[%1][%2][%3]", "a"), "[a][][]");
  // The tokens are filled one after the other, so a first value holding "%2"
  // is filled by the second.
  EXPECT_EQ(FillMessage("%1 %2", "%2", "x"), "x x");
}

TEST(FillMessageTest, ANullValueLeavesItsToken) {
  EXPECT_EQ(FillMessage("%1 %2 %3", "a", Variant::Null(), "c"), "a %2 c");
  EXPECT_EQ(FillMessage("%1 %2 %3", Variant::Null(), Variant::Null(), Variant::Null()), "%1 %2 %3");
  EXPECT_EQ(FillMessage("%1 %2", Variant::Null(), Variant()), "%1 ");
}

TEST(FillMessageTest, RefusesWhatHasNoText) {
  EXPECT_EQ(RaisedNumber([] { FillMessage(Variant::Null(), "a"); }), errnum::kInvalidUseOfNull);
  EXPECT_EQ(RaisedNumber([] { FillMessage("%1", Variant(std::vector<Variant>{})); }),
            errnum::kTypeMismatch);
}

}  // namespace
}  // namespace brivos
