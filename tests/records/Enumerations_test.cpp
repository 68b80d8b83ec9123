#include <gtest/gtest.h>

#include "tests/records/RecordChecks.hpp"
#include "tests/support/SubscriberFixture.hpp"

namespace brivos {
namespace {

using testing::ExpectError;
using testing::PublishedEnum;

struct Row {
  std::string code;
  std::string description;
  bool operator==(const Row&) const = default;
};

// Every row of a value set, read from its first row on.
std::vector<Row> RowsOf(Recordset& set) {
  std::vector<Row> rows;
  for (set.MoveFirst(); !set.Eof(); set.MoveNext()) {
    EXPECT_EQ(set.Field("Code").Type(), VarType::String);
    rows.push_back({CStr(set.Field("Code")), CStr(set.Field("Description"))});
  }
  return rows;
}

std::shared_ptr<Recordset> AllValues(const std::string& prog_id) {
  auto object = CreateObject(prog_id);
  std::vector<Variant> none;
  return std::static_pointer_cast<Recordset>(object->Invoke("GetAllValues", none).AsObject());
}

bool IsValid(Object& set, Variant value) {
  std::vector<Variant> args{std::move(value)};
  Variant result = set.Invoke("IsValidValue", args);
  EXPECT_EQ(result.Type(), VarType::Boolean);
  return CBool(result);
}

TEST(EnumerationsTest, EachClassListsItsRowsWithTheirTexts) {
  EXPECT_EQ(RowsOf(*AllValues("BRIVOS.eProjectStatusEnm")),
            (std::vector<Row>{{"2", "Active - Project is ready for timesheet entry."},
                              {"4", "Terminated - Project has been terminated before completion."},
                              {"5", "Finished - Project has been completed."}}));
  EXPECT_EQ(RowsOf(*AllValues("BRIVOS.eTransStatusEnm")),
            (std::vector<Row>{{"0", "Active - Currently in progress."},
                              {"1", "Complete - Task has been completed."},
                              {"2", "Approved - Task has been approved by management."},
                              {"3", "Billed - Task has been billed to the client."},
                              {"4", "tsPaused"}}));
  EXPECT_EQ(RowsOf(*AllValues("BRIVOS.eInvoiceStatusEnm")),
            (std::vector<Row>{{"0", "Trial"}, {"1", "Approved"}, {"2", "Issued"}}));
  EXPECT_EQ(RowsOf(*AllValues("BRIVOS.eExpensePaymentTypeEnm")),
            (std::vector<Row>{{"0", "American Express"},
                              {"1", "Visa"},
                              {"2", "Master Card"},
                              {"3", "Diner's Club"},
                              {"4", "Company Paid"},
                              {"5", "Cheque"},
                              {"6", "Cash"},
                              {"7", "Other"}}));

  std::vector<Row> types = RowsOf(*AllValues("BRIVOS.eExpenseTypeEnm"));
  ASSERT_EQ(types.size(), 26u);
  for (std::size_t i = 0; i < types.size(); ++i) EXPECT_EQ(types[i].code, std::to_string(i));
  EXPECT_EQ(types[0].description, "Airfare");
  EXPECT_EQ(types[2].description, "Car Rental");
  EXPECT_EQ(types[7].description, "Fax");
  EXPECT_EQ(types[17].description, "PerDiem");
  EXPECT_EQ(types[25].description, "Train");
}

TEST(EnumerationsTest, ValueSetHasCodeThenDescriptionAndStandsOnItsLastRow) {
  eInvoiceStatusEnm statuses;
  auto set = statuses.GetAllValues();
  EXPECT_EQ(set->FieldCount(), 2);
  EXPECT_EQ(set->FieldName(0), "Code");
  EXPECT_EQ(set->FieldName(1), "Description");
  EXPECT_EQ(set->RecordCount(), 3);
  ASSERT_FALSE(set->Eof());
  EXPECT_EQ(CStr(set->Field("Code")), "2");  // callers move to the first row themselves
}

TEST(EnumerationsTest, SameSetOnEveryCallSeparateSetsPerObject) {
  auto one = CreateObject("BRIVOS.eTransStatusEnm");
  auto two = CreateObject("BRIVOS.eTransStatusEnm");
  std::vector<Variant> none;
  auto first = one->Invoke("GetAllValues", none).AsObject();
  auto set = std::static_pointer_cast<Recordset>(first);
  set->MoveFirst();
  set->MoveNext();
  auto again = std::static_pointer_cast<Recordset>(one->Invoke("GetAllValues", none).AsObject());
  EXPECT_EQ(first, again);
  EXPECT_EQ(CStr(again->Field("Code")), "1");  // not rebuilt, not moved
  auto other = two->Invoke("GetAllValues", none).AsObject();
  EXPECT_NE(first, other);
}

TEST(EnumerationsTest, IsValidValueComparesTextsExactly) {
  struct Case {
    const char* prog_id;
    Variant value;
    bool valid;
  };
  const std::vector<Case> cases = {
      {"BRIVOS.eProjectStatusEnm", Variant(2), true},
      {"BRIVOS.eProjectStatusEnm", Variant("2"), true},
      {"BRIVOS.eProjectStatusEnm", Variant(2.0), true},
      {"BRIVOS.eProjectStatusEnm", Variant(5), true},
      {"BRIVOS.eProjectStatusEnm", Variant("02"), false},
      {"BRIVOS.eProjectStatusEnm", Variant(" 2"), false},
      {"BRIVOS.eProjectStatusEnm", Variant(2.5), false},
      {"BRIVOS.eProjectStatusEnm", Variant(0), false},
      {"BRIVOS.eProjectStatusEnm", Variant(3), false},
      {"BRIVOS.eProjectStatusEnm", Variant(), false},
      {"BRIVOS.eTransStatusEnm", Variant(eTransStatus::tsPaused), true},
      {"BRIVOS.eTransStatusEnm", Variant(5), false},
      {"BRIVOS.eInvoiceStatusEnm", Variant("1"), true},
      {"BRIVOS.eInvoiceStatusEnm", Variant("Approved"), false},
      {"BRIVOS.eExpensePaymentTypeEnm", Variant(7), true},
      {"BRIVOS.eExpensePaymentTypeEnm", Variant(8), false},
      {"BRIVOS.eExpenseTypeEnm", Variant(25), true},
      {"BRIVOS.eExpenseTypeEnm", Variant(true), false},
  };
  for (const Case& c : cases) {
    auto object = CreateObject(c.prog_id);  // a fresh object builds its set on the way
    EXPECT_EQ(IsValid(*object, c.value), c.valid) << c.prog_id << " " << CStr(c.value);
  }
}

TEST(EnumerationsTest, IsValidValueLeavesTheSetAfterTheMatch) {
  eProjectStatusEnm statuses;
  auto set = statuses.GetAllValues();
  Variant active(eProjectStatus::psActive);
  EXPECT_TRUE(statuses.IsValidValue(active));
  EXPECT_EQ(CStr(set->Field("Code")), "4");
  Variant finished(eProjectStatus::psFinished);
  EXPECT_TRUE(statuses.IsValidValue(finished));
  EXPECT_TRUE(set->Eof());
  Variant none(1);
  EXPECT_FALSE(statuses.IsValidValue(none));
  EXPECT_TRUE(set->Eof());
}

TEST(EnumerationsTest, NullIsAnErrorNotAFalse) {
  eExpenseTypeEnm types;
  Variant null = Variant::Null();
  Error e = ExpectError([&] { types.IsValidValue(null); }, 94);
  EXPECT_EQ(e.Source(), "BRIVOS.eExpenseTypeEnm");
  EXPECT_NE(e.Description().find("\r\n >VelmarERR@94"), std::string::npos);

  auto late = CreateObject("BRIVOS.eExpenseTypeEnm");
  std::vector<Variant> none;
  ExpectError([&] { late->Invoke("IsValidValue", none); }, 450);
  ExpectError([&] { late->Invoke("IsValid", none); }, 438);
}

TEST(EnumerationsTest, PublishedConstantsAndClasses) {
  using Members = std::vector<std::pair<std::string, std::int32_t>>;
  EXPECT_EQ(PublishedEnum("eProjectStatus").members,
            (Members{{"psActive", 2}, {"psTerminated", 4}, {"psFinished", 5}}));
  EXPECT_EQ(PublishedEnum("eTransStatus").members, (Members{{"tsActive", 0},
                                                            {"tsComplete", 1},
                                                            {"tsApproved", 2},
                                                            {"tsBilled", 3},
                                                            {"tsPaused", 4}}));
  EXPECT_EQ(PublishedEnum("eInvoiceStatus").members,
            (Members{{"isTrial", 0}, {"isApproved", 1}, {"isIssued", 2}}));
  EXPECT_EQ(PublishedEnum("eExpensePaymentType").members.size(), 8u);
  EXPECT_EQ(PublishedEnum("eExpensePaymentType").members[3],
            (std::pair<std::string, std::int32_t>{"DinersClub", 3}));
  Members types = PublishedEnum("eExpenseType").members;
  ASSERT_EQ(types.size(), 26u);
  EXPECT_EQ(types[7], (std::pair<std::string, std::int32_t>{"FAX", 7}));
  EXPECT_EQ(types[25], (std::pair<std::string, std::int32_t>{"Train", 25}));

  static_assert(eExpenseType::FAX == 7 && eExpenseType::Train == 25);
  static_assert(eInvoiceStatus::isIssued == 2 && eExpensePaymentType::Other == 7);

  for (const char* name : {"eProjectStatusEnm", "eTransStatusEnm", "eInvoiceStatusEnm",
                           "eExpensePaymentTypeEnm", "eExpenseTypeEnm"}) {
    auto object = CreateObject(std::string("BRIVOS.") + name);
    ASSERT_NE(object, nullptr) << name;
    EXPECT_EQ(object->ClassName(), name);
  }
}

}  // namespace
}  // namespace brivos
