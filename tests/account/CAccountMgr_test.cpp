#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <thread>
#include <vector>

#include "tests/support/SubscriberFixture.hpp"

namespace brivos {
namespace {

using testing::ErrorOf;
using testing::ExpectError;

class AccountTest : public testing::SubscriberTest {
 protected:
  void SetCounters(std::int32_t invoice, std::int32_t report, std::int32_t client) {
    Variant i(invoice), r(report), c(client);
    mgr.UpdateNextNumbers(account, user, token, i, r, c);
  }
  std::int32_t Stored(const std::string& counter) {
    return CLng(Scalar("SELECT " + counter + " FROM ISubScriber"));
  }
  void AddLocation(const std::string& name, bool primary) {
    Connection::Open(account).Execute(
        "INSERT INTO ISubscriberLocation (Parent,Name,IsPrimary) VALUES (?,?,?);",
        {Parameter::Long(SubscriberId()), Parameter::Text(name), Parameter::Boolean(primary)});
  }
  void UpdateBusinessInfo(Variant& acct, const std::string& company) {
    Variant name(company), a1("1 Main St"), a2("Suite 2"), a3(Variant::Null()), city("Ottawa"),
        province("ON"), postal("K1A 0B1"), country("Canada"), phone("613-555-0100"),
        fax("613-555-0101"), mileage(0.55), terms("Net 30"), notes("Thank you, it's due."),
        format(2);
    mgr.UpdateAccountBusinessInfo(acct, name, a1, a2, a3, city, province, postal, country, phone,
                                  fax, mileage, terms, notes, format);
  }

  CAccountMgr mgr;
  Variant user{"admin"};
  Variant token{"T"};
};

// Restores the working directory on scope exit.
class InDirectory {
 public:
  explicit InDirectory(const std::string& dir) : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~InDirectory() { std::filesystem::current_path(saved_); }

 private:
  std::filesystem::path saved_;
};

TEST_F(AccountTest, AccountInfoIsFoundByTheLastSegmentOfThePath) {
  auto subscriber = mgr.GetAccountInfo(account);
  ASSERT_NE(subscriber, nullptr);
  EXPECT_EQ(CStr(subscriber->AccountNo()), "A100");
  EXPECT_EQ(CStr(subscriber->CompanyName()), "Acme Consulting");

  Exec("UPDATE ISubScriber SET AccountNo='B200'");
  EXPECT_EQ(mgr.GetAccountInfo(account), nullptr);  // no row for A100: nothing, no error

  std::vector<Variant> args{account};
  Variant none = CreateObject("BRIVOS.CAccountMgr")->Invoke("GetAccountInfo", args);
  EXPECT_TRUE(none.IsNothing());
}

TEST_F(AccountTest, ApostropheInTheAccountNumberIsQuoted) {
  Variant quoted(dir.Path() + "\\O'Neil");
  CreateSubscriberDatabase(CStr(quoted), "O'Neil & Sons", "boss", "pw");
  auto subscriber = mgr.GetAccountInfo(quoted);
  ASSERT_NE(subscriber, nullptr);
  EXPECT_EQ(CStr(subscriber->AccountNo()), "O'Neil");
  EXPECT_EQ(mgr.GetNextClientAccountNumber(quoted, user, token), 1);
  EXPECT_EQ(mgr.GetNextClientAccountNumber(quoted, user, token), 2);
  UpdateBusinessInfo(quoted, "O'Neil Holdings");
  EXPECT_EQ(CStr(mgr.GetAccountInfo(quoted)->CompanyName()), "O'Neil Holdings");
}

TEST_F(AccountTest, PathWithoutBackslashIsItsOwnAccountNumber) {
  InDirectory in(dir.Path());
  Variant bare("B300");
  CreateSubscriberDatabase("B300", "Bare Ltd", "boss", "pw");
  auto subscriber = mgr.GetAccountInfo(bare);
  ASSERT_NE(subscriber, nullptr);
  EXPECT_EQ(CStr(subscriber->CompanyName()), "Bare Ltd");
  EXPECT_EQ(mgr.GetNextInvoiceNumber(bare, user, token), 1);
  ReleaseIdleConnections();
}

TEST_F(AccountTest, BusinessInfoWritesProfileAndEveryPrimaryLocation) {
  AddLocation("Warehouse", false);
  AddLocation("Second head office", true);
  UpdateBusinessInfo(account, "Acme Ltd");

  auto subscriber = mgr.GetAccountInfo(account);
  EXPECT_EQ(CStr(subscriber->CompanyName()), "Acme Ltd");
  EXPECT_EQ(CCur(subscriber->MileageRate()).Scaled(), 5500);
  EXPECT_EQ(CStr(subscriber->DefaultTerms()), "Net 30");
  EXPECT_EQ(CStr(subscriber->DefaultInvoiceNotes()), "Thank you, it's due.");
  EXPECT_EQ(CLng(subscriber->DefaultInvoiceFormat()), 2);

  EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM ISubscriberLocation WHERE City='Ottawa' AND "
                        "IsPrimary=1 AND Address1='1 Main St' AND Fax='613-555-0101' AND "
                        "Address3 IS NULL AND PostalCode='K1A 0B1'")),
            2);
  EXPECT_TRUE(Scalar("SELECT City FROM ISubscriberLocation WHERE Name='Warehouse'").IsNull());

  Variant ignored("someone else\\Z999");
  auto primary = mgr.GetPrimaryLocation(account, user, token, ignored);
  EXPECT_EQ(CStr(primary->City()), "Ottawa");
  EXPECT_TRUE(CBool(primary->IsPrimary()));
}

TEST_F(AccountTest, WithoutAPrimaryLocationTheProfileStillChanges) {
  Exec("UPDATE ISubscriberLocation SET IsPrimary=0");
  UpdateBusinessInfo(account, "Acme Ltd");
  EXPECT_EQ(CStr(mgr.GetAccountInfo(account)->CompanyName()), "Acme Ltd");
  EXPECT_TRUE(Scalar("SELECT City FROM ISubscriberLocation").IsNull());

  Variant for_account = account;
  Error e = ExpectError([&] { mgr.GetPrimaryLocation(account, user, token, for_account); }, 9);
  EXPECT_EQ(e.Source(), "BRIVOS.CAccountMgr");
  const std::string& d = e.Description();
  EXPECT_EQ(d.find(kErrorMarker), d.rfind(kErrorMarker));
  EXPECT_NE(d.find(" >VelmarERR@9"), std::string::npos);
}

TEST_F(AccountTest, EachDrawHandsOutTheStoredValueAndAdvancesItsOwnCounterByOne) {
  SetCounters(1000, 57, 300);
  struct Case {
    const char* counter;
    std::int32_t (CAccountMgr::*draw)(const Variant&, const Variant&, const Variant&);
    std::int32_t first;
  };
  const Case cases[] = {
      {"NextInvoiceNumber", &CAccountMgr::GetNextInvoiceNumber, 1000},
      {"NextExpenseReportNumber", &CAccountMgr::GetNextExpenseReportNumber, 57},
      {"NextClientAccountNumber", &CAccountMgr::GetNextClientAccountNumber, 300},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.counter);
    EXPECT_EQ((mgr.*c.draw)(account, user, token), c.first);
    EXPECT_EQ(Stored(c.counter), c.first + 1);
    EXPECT_EQ((mgr.*c.draw)(account, user, token), c.first + 1);
    EXPECT_EQ(Stored(c.counter), c.first + 2);
  }
  // Each draw moved only its own counter.
  EXPECT_EQ(Stored("NextInvoiceNumber"), 1002);
  EXPECT_EQ(Stored("NextExpenseReportNumber"), 59);
  EXPECT_EQ(Stored("NextClientAccountNumber"), 302);
}

TEST_F(AccountTest, CountersMaySetBackwards) {
  SetCounters(50, 40, 30);
  SetCounters(5, 4, 3);
  EXPECT_EQ(mgr.GetNextInvoiceNumber(account, user, token), 5);
  EXPECT_EQ(mgr.GetNextExpenseReportNumber(account, user, token), 4);
  EXPECT_EQ(mgr.GetNextClientAccountNumber(account, user, token), 3);
}

TEST_F(AccountTest, DrawsThatCannotHandOutANumberChangeNothing) {
  SetCounters(7, 8, std::numeric_limits<std::int32_t>::max());
  Error top = ExpectError([&] { mgr.GetNextClientAccountNumber(account, user, token); }, 6);
  EXPECT_EQ(top.Source(), "BRIVOS.CAccountMgr");
  EXPECT_EQ(Stored("NextClientAccountNumber"), std::numeric_limits<std::int32_t>::max());

  Exec("UPDATE ISubScriber SET AccountNo='B200'");
  ExpectError([&] { mgr.GetNextInvoiceNumber(account, user, token); }, 91);
  ExpectError([&] { mgr.GetNextExpenseReportNumber(account, user, token); }, 91);
  EXPECT_EQ(Stored("NextInvoiceNumber"), 7);
  EXPECT_EQ(Stored("NextExpenseReportNumber"), 8);

  Variant missing(dir.Path() + "\\Nope");
  ExpectError([&] { mgr.GetNextInvoiceNumber(missing, user, token); }, -2147467259);
}

TEST_F(AccountTest, ConcurrentThreadsNeverShareANumber) {
  constexpr int kThreads = 4, kDraws = 250;
  std::vector<std::vector<std::int32_t>> drawn(kThreads);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      CAccountMgr m;
      Variant a = account, u("admin"), k("T");
      for (int n = 0; n < kDraws; ++n) {
        try {
          drawn[t].push_back(m.GetNextInvoiceNumber(a, u, k));
        } catch (const Error&) {
          ++failures;
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures, 0);
  std::vector<std::int32_t> all;
  for (const auto& d : drawn) all.insert(all.end(), d.begin(), d.end());
  std::sort(all.begin(), all.end());
  ASSERT_EQ(all.size(), 1000u);
  for (std::size_t i = 0; i < all.size(); ++i) ASSERT_EQ(all[i], static_cast<int>(i) + 1);
  EXPECT_EQ(Stored("NextInvoiceNumber"), 1001);
}

TEST_F(AccountTest, ConcurrentProcessesNeverShareANumber) {
  constexpr int kChildren = 3, kDraws = 100;
  ReleaseIdleConnections();  // a child must not inherit open database handles
  std::vector<std::pair<pid_t, int>> children;
  for (int c = 0; c < kChildren; ++c) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(fds[0]);
      int status = 0;
      try {
        CAccountMgr m;
        Variant a = account, u("admin"), k("T");
        for (int n = 0; n < kDraws; ++n) {
          std::int32_t number = m.GetNextInvoiceNumber(a, u, k);
          if (write(fds[1], &number, sizeof number) != sizeof number) status = 2;
        }
      } catch (...) {
        status = 1;
      }
      close(fds[1]);
      _exit(status);  // no test teardown in the child
    }
    close(fds[1]);
    children.emplace_back(pid, fds[0]);
  }
  std::vector<std::int32_t> all;
  for (int n = 0; n < kDraws; ++n) all.push_back(mgr.GetNextInvoiceNumber(account, user, token));
  for (auto [pid, fd] : children) {
    std::int32_t number;
    while (read(fd, &number, sizeof number) == sizeof number) all.push_back(number);
    close(fd);
    int status = -1;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  std::sort(all.begin(), all.end());
  ASSERT_EQ(all.size(), static_cast<std::size_t>((kChildren + 1) * kDraws));
  for (std::size_t i = 0; i < all.size(); ++i) ASSERT_EQ(all[i], static_cast<int>(i) + 1);
}

TEST_F(AccountTest, LateBoundMembersKeepTheirArgumentOrders) {
  auto obj = CreateObject("BRIVOS.CAccountMgr");
  std::vector<Variant> set{account, user, token, Variant(10), Variant(20), Variant(30)};
  obj->Invoke("UpdateNextNumbers", set);
  for (auto [member, expected] : {std::pair{"GetNextInvoiceNumber", 10},
                                  {"getnextexpensereportnumber", 20},
                                  {"GetNextClientAccountNumber", 30}}) {
    std::vector<Variant> args{account, user, token};
    Variant number = obj->Invoke(member, args);
    EXPECT_EQ(number.Type(), VarType::Long);
    EXPECT_EQ(CLng(number), expected) << member;
  }
  std::vector<Variant> info{account,           Variant("Acme Inc"), Variant("a1"),  Variant("a2"),
                            Variant("a3"),     Variant("Hull"),     Variant("QC"),  Variant("J8X"),
                            Variant("CA"),     Variant("tel"),      Variant("fax"), Variant(1.25),
                            Variant("Net 15"), Variant("notes"),    Variant(1)};
  obj->Invoke("UpdateAccountBusinessInfo", info);
  std::vector<Variant> loc{account, user, token, Variant()};
  auto primary = obj->Invoke("GetPrimaryLocation", loc).AsObject();
  std::vector<Variant> none;
  EXPECT_EQ(CStr(primary->Invoke("City", none)), "Hull");
  EXPECT_EQ(CStr(primary->Invoke("FAX", none)), "fax");

  std::vector<Variant> short_args{account, user};
  ExpectError([&] { obj->Invoke("GetNextInvoiceNumber", short_args); }, 450);
}

}  // namespace
}  // namespace brivos
