#include "brivos/automation/Collection.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "brivos/foundation/Error.hpp"
#include "tests/support/SubscriberFixture.hpp"

namespace brivos {
namespace {

using testing::RaisedNumber;

Collection ThreeItems() {
  Collection c;
  c.Add(Variant("first"), "One");
  c.Add(Variant("second"));
  c.Add(Variant("third"), "Three");
  return c;
}

TEST(CollectionTest, PositionsAreOneBasedAndAnyNumberIsAPosition) {
  const Collection c = ThreeItems();
  EXPECT_EQ(c.Count(), 3);
  EXPECT_EQ(CStr(c.Item(Variant(1))), "first");
  EXPECT_EQ(CStr(c.Item(Variant(3))), "third");
  EXPECT_EQ(CStr(c.Item(Variant(2.0))), "second");
  EXPECT_EQ(CStr(c.Item(Variant(Currency::FromScaled(20000)))), "second");
  EXPECT_EQ(CStr(c.Item(Variant(3.4))), "third");  // rounded as CLng rounds
}

TEST(CollectionTest, KeysIgnoreLetterCase) {
  const Collection c = ThreeItems();
  EXPECT_EQ(CStr(c.Item(Variant("one"))), "first");
  EXPECT_EQ(CStr(c.Item(Variant("THREE"))), "third");
}

TEST(CollectionTest, RefusalsCarryTheClassicNumbers) {
  Collection c = ThreeItems();
  const Collection empty;
  struct Case {
    const char* what;
    std::function<void()> call;
    std::int32_t number;
  };
  const std::vector<Case> cases = {
      {"item 1 of an empty collection", [&] { empty.Item(Variant(1)); }, 9},
      {"position 0", [&] { c.Item(Variant(0)); }, 9},
      {"position past the end", [&] { c.Item(Variant(4)); }, 9},
      {"negative position", [&] { c.Item(Variant(-1)); }, 9},
      {"missing key", [&] { c.Item(Variant("Two")); }, 5},
      {"numeric text is a key", [&] { c.Item(Variant("1")); }, 5},
      {"duplicate key, other case", [&] { c.Add(Variant(9), "ONE"); }, 457},
  };
  for (const Case& k : cases) EXPECT_EQ(RaisedNumber(k.call), k.number) << k.what;
  EXPECT_EQ(c.Count(), 3) << "a refused Add adds nothing";
}

TEST(CollectionTest, LateBoundCountAndItem) {
  auto c = std::make_shared<Collection>(ThreeItems());
  Object& o = *c;
  std::vector<Variant> none;
  EXPECT_EQ(o.ClassName(), "Collection");
  EXPECT_EQ(CLng(o.Invoke("count", none)), 3);
  std::vector<Variant> byKey{Variant("three")};
  EXPECT_EQ(CStr(o.Invoke("Item", byKey)), "third");
  std::vector<Variant> byPosition{Variant(2)};
  EXPECT_EQ(CStr(o.Invoke("ITEM", byPosition)), "second");
  std::vector<Variant> outOfRange{Variant(7)};
  EXPECT_EQ(RaisedNumber([&] { o.Invoke("Item", outOfRange); }), 9);
}

TEST(CollectionTest, ItemAsGivesTheTypedObject) {
  Collection c;
  auto inner = std::make_shared<Collection>();
  c.Add(Variant(inner));
  c.Add(Variant("text"));
  EXPECT_EQ(c.ItemAs<Collection>(1), inner);
  EXPECT_EQ(c.ItemAs<Collection>(2), nullptr);
}

}  // namespace
}  // namespace brivos
