#include <gtest/gtest.h>

#include "tests/support/SubscriberFixture.hpp"

namespace brivos {
namespace {

using testing::ExpectError;

TEST(CreateObjectTest, CreatesManagersAndRefusesRecordsAndUnknownIds) {
  auto mgr = CreateObject("BRIVOS.CSecurityMgr");
  ASSERT_NE(mgr, nullptr);
  EXPECT_EQ(mgr->ClassName(), "CSecurityMgr");
  EXPECT_EQ(CreateObject("brivos.csecuritymgr")->ClassName(), "CSecurityMgr");

  Error e = ExpectError([] { CreateObject("BRIVOS.IUser"); }, 429);
  EXPECT_NE(e.Description().find(std::string(kErrorMarker) + "429"), std::string::npos);
  ExpectError([] { CreateObject("BRIVOS.NoSuchClass"); }, 429);
  ExpectError([] { CreateObject("CSecurityMgr"); }, 429);
}

TEST(InvokeTest, UnknownMemberAndWrongArgumentCount) {
  auto mgr = CreateObject("BRIVOS.CReportMgr");
  std::vector<Variant> none;
  Error e = ExpectError([&] { mgr->Invoke("NoSuchMethod", none); }, 438);
  EXPECT_EQ(e.Source(), "BRIVOS.CReportMgr");
  std::vector<Variant> one{Variant("x")};
  ExpectError([&] { mgr->Invoke("ExecReportQuery", one); }, 450);
}

TEST(TypeLibraryTest, PublishesErrorAndWidthEnumerations) {
  auto find = [](const std::string& name) -> const EnumInfo* {
    for (const EnumInfo& e : PublishedEnums()) {
      if (e.name == name) return &e;
    }
    return nullptr;
  };
  const EnumInfo* security = find("errCSecurityMgr");
  ASSERT_NE(security, nullptr);
  EXPECT_EQ(security->members[1],
            (std::pair<std::string, std::int32_t>{"eInvalidUserInfo", -2147221503}));
  EXPECT_EQ(security->members.back().second, -2147220503);

  const EnumInfo* users = find("lenIUser");
  ASSERT_NE(users, nullptr);
  ASSERT_EQ(users->members.size(), 15u);
  EXPECT_EQ(users->members.front().first, "lenUserName");
  EXPECT_EQ(users->members.front().second, 30);
  EXPECT_EQ(users->members.back().first, "lenOTCost");

  const EnumInfo* locations = find("lenISubscriberLocation");
  ASSERT_NE(locations, nullptr);
  EXPECT_EQ(locations->members.front().first, "lenName");
  bool has_fax = false;
  for (const auto& [name, width] : locations->members) has_fax |= name == "lenFAX" && width == 28;
  EXPECT_TRUE(has_fax);

  const EnumInfo* sessions = find("lenSysSessions");
  ASSERT_NE(sessions, nullptr);
  EXPECT_EQ(sessions->members.front().first, "lenAccount");
  EXPECT_EQ(sessions->members.front().second, 255);
}

TEST(RegistryTest, RecordMembersFollowInterfaceOrder) {
  const ClassInfo* user = FindClass("IUser");
  ASSERT_NE(user, nullptr);
  EXPECT_FALSE(user->Creatable());
  std::vector<std::string> names;
  for (const MemberInfo& m : user->Members()) names.push_back(m.name);
  ASSERT_GE(names.size(), 21u);
  EXPECT_EQ(names[0], "IUserID");
  EXPECT_EQ(names[1], "SubscriberID");
  EXPECT_EQ(names[2], "Subscriber");
  EXPECT_EQ(names[19], "ReportsTo");
  EXPECT_EQ(user->Find("reportsto")->arg_names, std::vector<std::string>{"Account"});
}

}  // namespace
}  // namespace brivos
