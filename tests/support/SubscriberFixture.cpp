#include "tests/support/SubscriberFixture.hpp"

#include <cstdlib>
#include <filesystem>

#include "brivos/records/Write.hpp"

namespace brivos::testing {

std::optional<Error> ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const Error& e) {
    return e;
  }
  return std::nullopt;
}

std::int32_t RaisedNumber(const std::function<void()>& call) {
  std::optional<Error> e = ErrorOf(call);
  return e ? e->Number() : 0;
}

Error ExpectError(const std::function<void()>& call, std::int32_t number) {
  std::optional<Error> e = ErrorOf(call);
  EXPECT_TRUE(e.has_value()) << "expected error " << number;
  if (!e) return Error(0, "", "");
  EXPECT_EQ(e->Number(), number) << e->Description();
  return *e;
}

TempDir::TempDir() {
  std::string templ = (std::filesystem::temp_directory_path() / "brivos-XXXXXX").string();
  if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = templ;
}

TempDir::~TempDir() {
  ReleaseIdleConnections();
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

SubscriberTest::SubscriberTest() {
  account = Variant(dir.Path() + "\\A100");
  CreateSubscriberDatabase(CStr(account), "Acme Consulting", "admin", "secret");
}

void SubscriberTest::Exec(const std::string& sql) { Connection::Open(account).Execute(sql); }

Variant SubscriberTest::Scalar(const std::string& sql) {
  auto rows = Connection::Open(account).Query(sql);
  return rows->Eof() ? Variant() : rows->Field(0);
}

std::int32_t SubscriberTest::AddUser(const std::string& name, const std::string& password,
                                     bool allow_logon, const std::string& last_name,
                                     const std::string& first_name) {
  Connection db = Connection::Open(account);
  return Insert<IUser>(db, {{IUser::kSubscriberID, SubscriberId()},
                            {IUser::kUserName, name},
                            {IUser::kPassword, password},
                            {IUser::kAllowLogon, allow_logon},
                            {IUser::kAdmin, false},
                            {IUser::kMainUser, false},
                            {IUser::kLastName, last_name},
                            {IUser::kFirstName, first_name}});
}

std::int32_t SubscriberTest::SubscriberId() {
  return CLng(Scalar("SELECT ISubScriberID FROM ISubScriber;"));
}

}  // namespace brivos::testing
