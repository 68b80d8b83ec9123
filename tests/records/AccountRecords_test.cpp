#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <filesystem>

#include "tests/support/SubscriberFixture.hpp"

namespace brivos {
namespace {

using testing::ExpectError;

class AccountRecordsTest : public testing::SubscriberTest {};

TEST_F(AccountRecordsTest, ProvisioningWritesSubscriberLocationAndMainUser) {
  EXPECT_TRUE(std::filesystem::exists(dir.Path() + "/A100.mdb"));
  auto subscriber = ISubScriber::Load(account, SubscriberId());
  ASSERT_NE(subscriber, nullptr);
  EXPECT_EQ(CStr(subscriber->AccountNo()), "A100");
  EXPECT_EQ(CStr(subscriber->CompanyName()), "Acme Consulting");
  EXPECT_EQ(subscriber->NextInvoiceNumber().Type(), VarType::Long);
  EXPECT_EQ(CLng(subscriber->NextClientAccountNumber()), 1);
  EXPECT_TRUE(subscriber->MileageRate().IsNull());

  auto locations = subscriber->Locations(account);
  ASSERT_EQ(locations->Count(), 1);
  auto primary = locations->ItemAs<ISubscriberLocation>(1);
  EXPECT_EQ(primary->IsPrimary().Type(), VarType::Boolean);
  EXPECT_TRUE(CBool(primary->IsPrimary()));
  EXPECT_TRUE(primary->Notes().IsNull());

  auto users = subscriber->Users(account);
  ASSERT_EQ(users->Count(), 1);
  auto admin = users->ItemAs<IUser>(1);
  EXPECT_EQ(CStr(admin->UserName()), "admin");
  EXPECT_TRUE(CBool(admin->Admin()) && CBool(admin->MainUser()) && CBool(admin->AllowLogon()));

  ExpectError([&] { CreateSubscriberDatabase(CStr(account), "Again", "a", "b"); }, -2147467259);
}

TEST_F(AccountRecordsTest, AccountPathWithoutBackslashIsItsOwnAccountNumber) {
  auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  CreateSubscriberDatabase("B200", "Beta", "boss", "pw");
  auto subs = ISubScriber::LoadList(Variant("B200"));
  std::filesystem::current_path(cwd);
  ASSERT_EQ(subs->Count(), 1);
  EXPECT_EQ(CStr(subs->ItemAs<ISubScriber>(1)->AccountNo()), "B200");
}

TEST_F(AccountRecordsTest, ProvisioningIsAllOrNothing) {
  std::string too_long(31, 'x');
  ExpectError([&] { CreateSubscriberDatabase(dir.Path() + "\\C300", "Co", too_long, "pw"); },
              -2147217873);
  EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/C300.mdb"));
}

TEST_F(AccountRecordsTest, LoadListFiltersOrdersAndKeysByText) {
  std::int32_t zed = AddUser("zed", "pw", true, "Zimmer", "Ann");
  std::int32_t amy = AddUser("amy", "pw", true, "Adams", "Bea");
  AddUser("abe", "pw", true, "Adams", "Abe");

  auto all = IUser::LoadList(account);
  EXPECT_EQ(all->Count(), 4);
  auto one = IUser::LoadList(account, zed, "UserName='amy'");  // the ID wins
  ASSERT_EQ(one->Count(), 1);
  EXPECT_EQ(CStr(one->ItemAs<IUser>(1)->UserName()), "zed");
  auto by_key = std::static_pointer_cast<IUser>(all->Item(Variant(std::to_string(amy))).AsObject());
  EXPECT_EQ(CStr(by_key->UserName()), "amy");

  auto none = IUser::LoadList(account, Variant(), "UserName='nobody'");
  EXPECT_EQ(none->Count(), 0);
  ExpectError([&] { none->Item(Variant(1)); }, 9);
  ExpectError([&] { all->Item(Variant("99999")); }, 5);

  auto sorted = ISubScriber::Load(account, SubscriberId())->Users(account);
  std::vector<std::string> names;
  for (const Variant& u : sorted->Items()) {
    names.push_back(CStr(std::static_pointer_cast<IUser>(u.AsObject())->UserName()));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"admin", "abe", "amy", "zed"}));
}

TEST_F(AccountRecordsTest, NumericIdIsCheckedBeforeAnyStatementRuns) {
  ExpectError([&] { IUser::LoadList(account, Variant("1 OR 1=1")); }, 13);
  ExpectError([&] { IUser::LoadList(account, Variant::Null()); }, 94);
  EXPECT_EQ(IUser::LoadList(account, Variant("1"))->Count(), 1);
  // A single-record lookup never reads an Empty key as "every row".
  ExpectError([&] { IUser::Load(account, Variant()); }, 13);
  EXPECT_EQ(IUser::Load(account, Variant(424242)), nullptr);
}

TEST_F(AccountRecordsTest, EmptyNullAndNoObject) {
  IUser blank;
  EXPECT_TRUE(blank.UserName().IsEmpty());
  EXPECT_EQ(blank.ReportsTo(account), nullptr);
  EXPECT_EQ(blank.Subscriber(account), nullptr);

  auto admin = IUser::LoadList(account)->ItemAs<IUser>(1);
  EXPECT_TRUE(admin->ReportsToID().IsNull());
  EXPECT_TRUE(admin->EMail().IsNull());
  // A Null foreign key sends nothing and gives no object.
  EXPECT_EQ(admin->ReportsTo(account), nullptr);
  std::vector<Variant> args{account};
  EXPECT_TRUE(admin->Invoke("ReportsTo", args).IsNothing());
}

TEST_F(AccountRecordsTest, SingleRelatedRecordsAreCachedCollectionsReloaded) {
  std::int32_t boss = AddUser("boss", "pw");
  std::int32_t worker = AddUser("worker", "pw");
  Exec("UPDATE IUser SET ReportsToID=" + std::to_string(boss) +
       " WHERE IUserID=" + std::to_string(worker));
  auto w = IUser::Load(account, worker);
  auto first = w->ReportsTo(account);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(CStr(first->UserName()), "boss");
  Exec("UPDATE IUser SET UserName='renamed' WHERE IUserID=" + std::to_string(boss));
  auto second = w->ReportsTo(account);
  EXPECT_EQ(first, second);  // same object, no second read
  EXPECT_EQ(CStr(second->UserName()), "boss");

  auto subscriber = w->Subscriber(account);
  ASSERT_NE(subscriber, nullptr);
  EXPECT_EQ(subscriber->Users(account)->Count(), 3);
  AddUser("newcomer", "pw");
  EXPECT_EQ(subscriber->Users(account)->Count(), 4);  // read again
}

TEST_F(AccountRecordsTest, LateBoundPropertiesAndRelations) {
  auto subscriber = ISubScriber::LoadList(account)->Item(Variant(1)).AsObject();
  std::vector<Variant> none;
  EXPECT_EQ(CStr(subscriber->Invoke("accountno", none)), "A100");
  std::vector<Variant> acct{account};
  auto users = subscriber->Invoke("Users", acct).AsObject();
  EXPECT_EQ(CLng(users->Invoke("Count", none)), 1);
  std::vector<Variant> first{Variant(1)};
  auto user = users->Invoke("Item", first).AsObject();
  EXPECT_EQ(user->ClassName(), "IUser");
  auto location =
      subscriber->Invoke("Locations", acct).AsObject()->Invoke("Item", first).AsObject();
  EXPECT_TRUE(location->Invoke("FAX", none).IsNull());
  ExpectError([&] { user->Invoke("Subscriber", none); }, 450);
  ExpectError([&] { user->Invoke("SetUserName", acct); }, 438);
}

TEST_F(AccountRecordsTest, LoaderErrorsCarryOneMarkerAndTheDatabaseNumber) {
  Error e =
      ExpectError([&] { IUser::LoadList(account, Variant(), "NoSuchColumn=1"); }, -2147217900);
  std::string d = e.Description();
  EXPECT_EQ(d.find(kErrorMarker), d.rfind(kErrorMarker));
  EXPECT_NE(d.find("\r\n >VelmarERR@-2147217900"), std::string::npos);

  ExpectError([&] { IUser::LoadList(Variant(dir.Path() + "\\Missing")); }, -2147467259);
}

// A subscriber file needs nothing the library registers: any SQLite client
// can insert the rows the database stamps, and they are stamped with the time.
TEST_F(AccountRecordsTest, AnySqliteClientInsertsStampedRows) {
  const std::string path = dir.Path() + "/A100.mdb";
  ReleaseIdleConnections();
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  for (const char* sql : {
           "INSERT INTO SysSessions (Account,UserName,Token) VALUES ('x','shell','T1')",
           "INSERT INTO SFAProspect (Parent,CompanyName) VALUES (1,'Shell Co')",
       }) {
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &message), SQLITE_OK) << message;
    sqlite3_free(message);
  }
  sqlite3_close(db);
  const double now = Now().Serial();
  for (const char* sql : {"SELECT LastUpdate FROM SysSessions WHERE Token='T1'",
                          "SELECT LastUpdateDateTime FROM SFAProspect"}) {
    Variant stamp = Scalar(sql);
    ASSERT_EQ(stamp.Type(), VarType::Date) << sql;
    EXPECT_LT(std::abs(CDate(stamp).Serial() - now), 1.0 / 24) << sql;
  }
}

}  // namespace
}  // namespace brivos
