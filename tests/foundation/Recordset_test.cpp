#include "brivos/automation/Recordset.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "brivos/foundation/Error.hpp"
#include "tests/support/SubscriberFixture.hpp"

namespace brivos {
namespace {

using testing::RaisedNumber;

std::shared_ptr<Recordset> People() {
  auto rs = std::make_shared<Recordset>(std::vector<std::string>{"ID", "Name"});
  rs->AddRow({Variant(1), Variant("Ann")});
  rs->AddRow({Variant(2), Variant::Null()});
  rs->MoveFirst();
  return rs;
}

TEST(RecordsetTest, WalksRowsInOrder) {
  auto rs = People();
  EXPECT_FALSE(rs->Eof());
  EXPECT_FALSE(rs->Bof());
  EXPECT_EQ(rs->RecordCount(), 2);
  EXPECT_EQ(rs->FieldCount(), 2);
  EXPECT_EQ(rs->FieldName(1), "Name");
  EXPECT_EQ(CStr(rs->Field("name")), "Ann");
  EXPECT_EQ(CLng(rs->Field(0)), 1);
  rs->MoveNext();
  EXPECT_EQ(CLng(rs->Field("ID")), 2);
  EXPECT_TRUE(rs->Field("NAME").IsNull());
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  rs->MoveFirst();
  EXPECT_EQ(CLng(rs->Field("id")), 1);
}

TEST(RecordsetTest, FieldLookupIgnoresLetterCase) {
  auto rs = People();
  EXPECT_EQ(rs->FindField("nAmE"), 1);
  EXPECT_EQ(rs->FindField("Missing"), -1);
  EXPECT_EQ(CStr(rs->Fields(Variant("NAME"))), "Ann");
  EXPECT_EQ(CLng(rs->Fields(Variant(0))), 1);
}

TEST(RecordsetTest, EmptySetIsAtBothEnds) {
  Recordset rs(std::vector<std::string>{"A"});
  EXPECT_TRUE(rs.Eof());
  EXPECT_TRUE(rs.Bof());
  EXPECT_EQ(rs.RecordCount(), 0);
}

TEST(RecordsetTest, RefusalsCarryTheDataAccessNumbers) {
  auto rs = People();
  auto atEnd = People();
  atEnd->MoveNext();
  atEnd->MoveNext();
  Recordset empty(std::vector<std::string>{"A"});
  Recordset closed;
  closed.SetClosed(true);
  struct Case {
    const char* what;
    std::function<void()> call;
    std::int32_t number;
  };
  const std::vector<Case> cases = {
      {"unknown name", [&] { rs->Field("Nope"); }, 3265},
      {"index past the fields", [&] { rs->Field(2); }, 3265},
      {"negative index", [&] { rs->Field(-1); }, 3265},
      {"late-bound unknown name", [&] { rs->Fields(Variant("Nope")); }, 3265},
      {"field name past the fields", [&] { rs->FieldName(5); }, 3265},
      {"field at the end", [&] { atEnd->Field("ID"); }, 3021},
      {"field by index at the end", [&] { atEnd->Field(0); }, 3021},
      {"move past the end", [&] { atEnd->MoveNext(); }, 3021},
      {"field of an empty set", [&] { empty.Field("A"); }, 3021},
      {"MoveFirst on an empty set", [&] { empty.MoveFirst(); }, 3021},
      {"unknown name at the end", [&] { atEnd->Field("Nope"); }, 3265},
      {"closed: EOF", [&] { closed.Eof(); }, 3704},
      {"closed: field", [&] { closed.Field("A"); }, 3704},
      {"closed: late-bound field", [&] { closed.Fields(Variant(0)); }, 3704},
      {"closed: RecordCount", [&] { closed.RecordCount(); }, 3704},
      {"closed: MoveNext", [&] { closed.MoveNext(); }, 3704},
  };
  for (const Case& k : cases) EXPECT_EQ(RaisedNumber(k.call), k.number) << k.what;
}

TEST(RecordsetTest, RefusalTextsAreTheDataAccessTexts) {
  auto rs = People();
  Recordset closed;
  closed.SetClosed(true);
  try {
    rs->Field("Nope");
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Description(),
              "Item cannot be found in the collection corresponding to the requested name or "
              "ordinal.");
  }
  try {
    closed.Eof();
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Description(), "Operation is not allowed when the object is closed.");
  }
}

TEST(RecordsetTest, LateBoundMembers) {
  auto rs = People();
  Object& o = *rs;
  std::vector<Variant> none;
  EXPECT_EQ(o.ClassName(), "Recordset");
  EXPECT_FALSE(CBool(o.Invoke("EOF", none)));
  EXPECT_FALSE(CBool(o.Invoke("bof", none)));
  EXPECT_EQ(CLng(o.Invoke("RecordCount", none)), 2);
  EXPECT_EQ(CLng(o.Invoke("FieldCount", none)), 2);
  std::vector<Variant> one{Variant(1)};
  EXPECT_EQ(CStr(o.Invoke("FieldName", one)), "Name");
  EXPECT_EQ(CStr(o.Invoke("Fields", one)), "Ann");
  std::vector<Variant> byName{Variant("id")};
  EXPECT_EQ(CLng(o.Invoke("fields", byName)), 1);
  o.Invoke("MoveNext", none);
  o.Invoke("MoveNext", none);
  EXPECT_TRUE(CBool(o.Invoke("EOF", none)));
  EXPECT_EQ(RaisedNumber([&] { o.Invoke("Fields", byName); }), 3021);
  o.Invoke("MoveFirst", none);
  EXPECT_EQ(CLng(o.Invoke("Fields", byName)), 1);
}

TEST(RecordsetTest, BuildingByFieldsAndRows) {
  Recordset rs;
  rs.AppendField("X");
  rs.AppendField("Y");
  rs.AddRow({Variant(1), Variant(2)});
  EXPECT_EQ(rs.FieldCount(), 2);
  EXPECT_EQ(CLng(rs.Field("y")), 2) << "an added row is the current row";
  EXPECT_EQ(rs.Rows().size(), 1u);
  EXPECT_EQ(rs.Position(), 0u);
}

}  // namespace
}  // namespace brivos
