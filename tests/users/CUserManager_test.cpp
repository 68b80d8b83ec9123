#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "brivos/records/Write.hpp"
#include "tests/support/SubscriberFixture.hpp"

namespace brivos {
namespace {

using testing::ErrorOf;
using testing::ExpectError;

// The fields of AddUserProfile and UpdateUserProfile that the tests vary.
struct Profile {
  Variant first{"Ann"}, last{"Lee"}, initial{"Q"}, reports_to{0}, admin{false}, access{3},
      hours{37.5}, email{"ann@example.com"}, rate{Currency::FromScaled(1000000)},
      cost{Currency::FromScaled(600000)}, ot_rate{150.0}, ot_cost{90.0}, allow{true};
};

class UserTest : public testing::SubscriberTest {
 protected:
  std::shared_ptr<IUser> Profile(const std::string& name) {
    Variant n(name);
    return mgr.GetUserProfile(account, caller, token, account, n);
  }
  void Add(const std::string& name, struct Profile p = {}, Variant as = Variant("admin")) {
    Variant n(name), pw("pw");
    mgr.AddUserProfile(account, as, token, n, pw, p.first, p.last, p.initial, p.reports_to, p.admin,
                       p.access, p.hours, p.email, p.rate, p.cost, p.ot_rate, p.ot_cost, p.allow);
  }
  void Update(std::int32_t id, struct Profile p) {
    Variant uid(id);
    mgr.UpdateUserProfile(account, caller, token, uid, p.first, p.last, p.initial, p.admin,
                          p.reports_to, p.access, p.hours, p.email, p.rate, p.cost, p.ot_rate,
                          p.ot_cost, p.allow);
  }
  std::int32_t IdOf(const std::string& name) { return CLng(Profile(name)->IUserID()); }
  // A second subscriber in the same database, with one user; returns its account path.
  Variant AddSecondSubscriber(const std::string& user) {
    Exec(
        "INSERT INTO ISubScriber (CompanyName,AccountNo,NextInvoiceNumber,"
        "NextExpenseReportNumber,NextClientAccountNumber) VALUES ('Other','B200',1,1,1)");
    Exec(
        "INSERT INTO IUser (Parent,UserName,Password,AllowLogon,Admin,MainUser) SELECT "
        "ISubScriberID,'" +
        user + "','pw',1,1,1 FROM ISubScriber WHERE AccountNo='B200'");
    return Variant(dir.Path() + "\\B200");
  }
  std::int32_t AddProject(const std::string& name, Variant manager_id) {
    Connection db = Connection::Open(account);
    return Insert<IProject>(db, {{IProject::kSubscriberID, SubscriberId()},
                                 {IProject::kName, name},
                                 {IProject::kManagerID, manager_id}});
  }
  void AddStaff(std::int32_t project, std::int32_t user) {
    Exec("INSERT INTO IProjectStaff (Parent,UserID) VALUES (" + std::to_string(project) + "," +
         std::to_string(user) + ")");
  }
  std::int32_t Count(const std::string& table, const std::string& where = "1=1") {
    return CLng(Scalar("SELECT COUNT(*) FROM " + table + " WHERE " + where));
  }

  CUserManager mgr;
  Variant caller{"admin"};
  Variant token{"T"};
};

TEST_F(UserTest, ProfileIsLookedUpByNameWithinTheProfileAccount) {
  auto admin = Profile("admin");
  ASSERT_NE(admin, nullptr);
  EXPECT_EQ(CLng(admin->SubscriberID()), SubscriberId());
  EXPECT_TRUE(CBool(admin->MainUser()));
  EXPECT_EQ(CStr(Profile("ADMIN")->UserName()), "admin");  // names compare without case
  EXPECT_EQ(Profile("nobody"), nullptr);

  AddUser("O'Brien", "pw");
  EXPECT_EQ(CStr(Profile("O'Brien")->UserName()), "O'Brien");
  EXPECT_EQ(Profile("x' OR '1'='1"), nullptr);

  Variant other = AddSecondSubscriber("carol");
  Variant carol("carol"), admin_name("admin");
  EXPECT_EQ(Profile("carol"), nullptr);
  auto found = mgr.GetUserProfile(account, caller, token, other, carol);
  ASSERT_NE(found, nullptr);
  EXPECT_NE(CLng(found->SubscriberID()), SubscriberId());
  EXPECT_EQ(mgr.GetUserProfile(account, caller, token, other, admin_name), nullptr);

  Variant quoted_account(dir.Path() + "\\X' OR 'a'='a");
  EXPECT_EQ(mgr.GetUserProfile(account, caller, token, quoted_account, admin_name), nullptr);
}

TEST_F(UserTest, SubscriberListHoldsOnlyUsersAllowedToSignInByLastName) {
  Exec("UPDATE IUser SET LastName='Moss' WHERE UserName='admin'");
  AddUser("zed", "pw", true, "Adams");
  AddUser("locked", "pw", false, "Baker");
  AddUser("yan", "pw", true, "Zhou");
  AddUser("xia", "pw", true, "Chen");
  AddSecondSubscriber("carol");

  auto users = mgr.GetSubscriberUserProfiles(account, caller, token);
  std::vector<std::string> names;
  for (const Variant& item : users->Items()) {
    names.push_back(CStr(std::static_pointer_cast<IUser>(item.AsObject())->UserName()));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"zed", "xia", "admin", "yan"}));

  Variant stranger("stranger");
  Error e = ExpectError([&] { mgr.GetSubscriberUserProfiles(account, stranger, token); }, 91);
  EXPECT_EQ(e.Source(), "BRIVOS.CUserManager");
}

TEST_F(UserTest, AddStoresEveryFieldAndNeverAMainUser) {
  struct Profile p;
  p.admin = true;
  Add("ann", p);
  auto ann = Profile("ann");
  ASSERT_NE(ann, nullptr);
  EXPECT_EQ(CLng(ann->SubscriberID()), SubscriberId());
  EXPECT_EQ(CStr(ann->Password()), "pw");
  EXPECT_EQ(CStr(ann->FirstName()), "Ann");
  EXPECT_EQ(CStr(ann->LastName()), "Lee");
  EXPECT_EQ(CStr(ann->MiddleInitial()), "Q");
  EXPECT_TRUE(CBool(ann->Admin()));
  EXPECT_FALSE(CBool(ann->MainUser()));
  EXPECT_TRUE(CBool(ann->AllowLogon()));
  EXPECT_EQ(CLng(ann->vmProjectsAccess()), 3);
  EXPECT_DOUBLE_EQ(CDbl(ann->MinWeekHours()), 37.5);
  EXPECT_EQ(CStr(ann->EMail()), "ann@example.com");
  EXPECT_EQ(CCur(ann->Rate()).Scaled(), 1000000);
  EXPECT_EQ(CCur(ann->Cost()).Scaled(), 600000);
  EXPECT_EQ(CCur(ann->OTRate()).Scaled(), 1500000);
  EXPECT_EQ(CCur(ann->OTCost()).Scaled(), 900000);
  EXPECT_TRUE(ann->ReportsToID().IsNull());

  // The new user can sign in.
  Variant name("ann"), pw("pw");
  EXPECT_EQ(CSecurityMgr{}.BeginUserSession(account, name, pw).size(), 32u);
}

TEST_F(UserTest, DuplicateNameIsRefusedPerSubscriber) {
  Add("ann");
  for (const char* name : {"ann", "ANN", "admin"}) {
    SCOPED_TRACE(name);
    Error e = ExpectError([&] { Add(name); }, errCUserManager::eUserNameExists);
    EXPECT_EQ(e.Description(),
              "That username is already being used.  Please try another.\r\n"
              " >VelmarERR@-2147221502");
    EXPECT_EQ(e.Source(), "BRIVOS.CUserManager");
  }
  EXPECT_EQ(Count("IUser"), 2);

  // Another subscriber's user of the same name does not block the name here,
  // and the apostrophe of a name is kept as written.
  AddSecondSubscriber("carol");
  Add("carol");
  Add("O'Hara");
  EXPECT_EQ(Count("IUser", "UserName='carol'"), 2);
  ExpectError([&] { Add("O'Hara"); }, errCUserManager::eUserNameExists);

  Variant stranger("stranger");
  ExpectError([&] { Add("dave", {}, stranger); }, 91);
  EXPECT_EQ(Count("IUser", "UserName='dave'"), 0);
}

TEST_F(UserTest, ConcurrentAddsOfOneNameStoreOneUser) {
  std::atomic<int> refused{0}, other{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      CUserManager m;
      Variant a = account, u("admin"), k("T"), n("twin"), pw("pw"), f("F"), l("L"), i("I"), r(0),
              adm(false), acc(0), h(0.0), e(""), c0(0.0), c1(0.0), c2(0.0), c3(0.0), allow(true);
      try {
        m.AddUserProfile(a, u, k, n, pw, f, l, i, r, adm, acc, h, e, c0, c1, c2, c3, allow);
      } catch (const Error& err) {
        (err.Number() == errCUserManager::eUserNameExists ? refused : other)++;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(other, 0);
  EXPECT_EQ(refused, 3);
  EXPECT_EQ(Count("IUser", "UserName='twin'"), 1);
}

TEST_F(UserTest, ReportsToIdIsStoredAsA32BitKeyOrNull) {
  struct Case {
    Variant given;
    Variant stored;  // Null for "reports to nobody"
  };
  const Case cases[] = {
      {Variant(0), Variant::Null()},
      {Variant(), Variant::Null()},
      {Variant::Null(), Variant::Null()},
      {Variant(""), Variant::Null()},
      {Variant("0"), Variant::Null()},
      {Variant(12), Variant(12)},
      {Variant(40000), Variant(40000)},
      {Variant("70000"), Variant(70000)},
      {Variant(2147483647.0), Variant(2147483647)},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(CStr(c.given.IsNull() ? Variant("Null") : c.given));
    struct Profile p;
    p.reports_to = c.given;
    std::string name = "u" + std::to_string(n++);
    Add(name, p);
    Variant stored = Profile(name)->ReportsToID();
    EXPECT_EQ(stored.IsNull(), c.stored.IsNull());
    if (!c.stored.IsNull()) {
      EXPECT_EQ(CLng(stored), CLng(c.stored));
    }

    // Update normalises the same way, starting from a value it must replace.
    Exec("UPDATE IUser SET ReportsToID=99 WHERE UserName='" + name + "'");
    Update(IdOf(name), p);
    stored = Profile(name)->ReportsToID();
    EXPECT_EQ(stored.IsNull(), c.stored.IsNull());
    if (!c.stored.IsNull()) {
      EXPECT_EQ(CLng(stored), CLng(c.stored));
    }
  }

  struct Profile too_big;
  too_big.reports_to = 3e9;
  ExpectError([&] { Add("big", too_big); }, 6);
  struct Profile not_a_number;
  not_a_number.reports_to = "boss";
  ExpectError([&] { Add("nan", not_a_number); }, 13);
  EXPECT_EQ(Count("IUser", "UserName IN ('big','nan')"), 0);
  std::int32_t admin_id = IdOf("admin");
  ExpectError([&] { Update(admin_id, too_big); }, 6);
  EXPECT_TRUE(Profile("admin")->ReportsToID().IsNull());
}

TEST_F(UserTest, UpdateRewritesTheProfileButNotNamePasswordOrMainUser) {
  std::int32_t admin_id = IdOf("admin");
  Add("boss");
  struct Profile p;
  p.first = "Ada";
  p.last = "Byron";
  p.initial = "K";
  p.admin = false;
  p.reports_to = IdOf("boss");
  p.access = 7;
  p.hours = 20.25;
  p.email = Variant::Null();
  p.rate = 1.5;
  p.cost = 1.25;
  p.ot_rate = 2.5;
  p.ot_cost = 2.25;
  p.allow = false;
  Update(admin_id, p);

  auto admin = Profile("admin");
  ASSERT_NE(admin, nullptr);
  EXPECT_EQ(CStr(admin->FirstName()), "Ada");
  EXPECT_EQ(CStr(admin->LastName()), "Byron");
  EXPECT_EQ(CStr(admin->MiddleInitial()), "K");
  EXPECT_FALSE(CBool(admin->Admin()));
  EXPECT_EQ(CLng(admin->ReportsToID()), IdOf("boss"));
  EXPECT_EQ(CLng(admin->vmProjectsAccess()), 7);
  EXPECT_DOUBLE_EQ(CDbl(admin->MinWeekHours()), 20.25);
  EXPECT_TRUE(admin->EMail().IsNull());
  EXPECT_EQ(CCur(admin->Rate()).Scaled(), 15000);
  EXPECT_EQ(CCur(admin->OTCost()).Scaled(), 22500);
  EXPECT_FALSE(CBool(admin->AllowLogon()));
  EXPECT_EQ(CStr(admin->Password()), "secret");
  EXPECT_TRUE(CBool(admin->MainUser()));

  Update(999999, p);  // unknown user: nothing changes, no error
  EXPECT_EQ(Count("IUser"), 2);
}

TEST_F(UserTest, DeleteRemovesAnUnreferencedUserOnly) {
  std::int32_t ann = AddUser("ann", "pw");
  // Slips, expenses, reports and sessions of the user do not block the delete.
  Exec("INSERT INTO IExpenseReport (Parent,ReportNo,Name) VALUES (" + std::to_string(ann) +
       ",'1','Trip')");
  Variant id(ann);
  mgr.DeleteUserProfile(account, caller, token, id);
  EXPECT_EQ(Count("IUser", "UserName='ann'"), 0);
  EXPECT_EQ(Count("IExpenseReport"), 1);
  mgr.DeleteUserProfile(account, caller, token, id);  // gone already: nothing, no error

  std::int32_t bob = AddUser("bob", "pw");
  for (Variant bad : {Variant("0 OR 1=1"), Variant("1; DELETE FROM IUser"), Variant::Null()}) {
    std::optional<Error> e = ErrorOf([&] { mgr.DeleteUserProfile(account, caller, token, bad); });
    ASSERT_TRUE(e.has_value());
    EXPECT_TRUE(e->Number() == 13 || e->Number() == 94) << e->Number();
  }
  EXPECT_EQ(Count("IUser"), 2);
  Variant bob_text(std::to_string(bob));  // a number given as text is a number
  mgr.DeleteUserProfile(account, caller, token, bob_text);
  EXPECT_EQ(Count("IUser"), 1);
}

TEST_F(UserTest, ReferencedUserIsKeptAndEveryReferenceListed) {
  std::int32_t ann = AddUser("ann", "pw");
  std::int32_t alpha = AddProject("Alpha", Variant::Null());
  std::int32_t beta = AddProject("Beta", ann);
  AddStaff(alpha, ann);
  AddStaff(alpha, ann);  // listed once: the union removes duplicate pairs
  Variant id(ann);
  Error e = ExpectError([&] { mgr.DeleteUserProfile(account, caller, token, id); },
                        errCUserManager::eUserIsReferenced);
  EXPECT_EQ(e.Description(),
            "This user cannot be deleted because it is referenced by the following:\r\n\r\n"
            "Project Manager::Beta\r\n"
            "Project Staff Member::Alpha\r\n"
            "\r\n\r\n"
            "Please remove these references before deleting the user.\r\n"
            " >VelmarERR@-2147221501");
  EXPECT_EQ(e.Source(), "BRIVOS.CUserManager");
  EXPECT_EQ(Count("IUser", "UserName='ann'"), 1);

  // A user reporting to ann is the third kind of reference.
  Exec("DELETE FROM IProjectStaff");
  Exec("UPDATE IProject SET ManagerID=NULL WHERE IProjectID=" + std::to_string(beta));
  std::int32_t bob = AddUser("bob", "pw");
  Exec("UPDATE IUser SET ReportsToID=" + std::to_string(ann) +
       " WHERE IUserID=" + std::to_string(bob));
  e = ExpectError([&] { mgr.DeleteUserProfile(account, caller, token, id); },
                  errCUserManager::eUserIsReferenced);
  EXPECT_NE(e.Description().find("following:\r\n\r\nUser Manager::bob\r\n\r\n\r\nPlease"),
            std::string::npos);

  Exec("UPDATE IUser SET ReportsToID=NULL");
  mgr.DeleteUserProfile(account, caller, token, id);
  EXPECT_EQ(Count("IUser", "UserName='ann'"), 0);
}

class ExpenseReportTest : public UserTest {
 protected:
  std::int32_t AddReport(Variant name, Variant created, Variant report_no = Variant("ignored"),
                         Variant as = Variant("admin")) {
    Variant description("Client visit"), advance(100.0), total(Currency::FromScaled(2503300)),
        paid(0.0), approved(false), approved_on(Variant::Null()), approved_by(Variant::Null());
    return mgr.AddExpenseReport(account, as, token, report_no, name, description, created, advance,
                                total, paid, approved, approved_on, approved_by);
  }
  void SetReportCounter(std::int32_t next) {
    Exec("UPDATE ISubScriber SET NextExpenseReportNumber=" + std::to_string(next));
  }
  std::int32_t ReportCounter() {
    return CLng(Scalar("SELECT NextExpenseReportNumber FROM ISubScriber"));
  }
  void AddExpense(std::int32_t report, const std::string& date, double amount) {
    Exec("INSERT INTO IProjectExpense (Parent,ExpenseDate,Amount,ExpenseReportID) VALUES (1," +
         std::to_string(CDate(Variant(date)).Serial()) + "," + std::to_string(amount) + "," +
         std::to_string(report) + ")");
  }
  Date created_ = Date::FromParts(2024, 3, 5);
};

TEST_F(ExpenseReportTest, AddNumbersFromTheSequenceAndReturnsTheNewKey) {
  SetReportCounter(57);
  std::int32_t id = AddReport("March", created_, "999");
  EXPECT_EQ(ReportCounter(), 58);
  EXPECT_EQ(CLng(Scalar("SELECT MAX(IExpenseReportID) FROM IExpenseReport")), id);

  Variant rid(id);
  auto report = mgr.GetExpenseReport(account, caller, token, rid);
  EXPECT_EQ(CLng(report->IExpenseReportID()), id);
  EXPECT_EQ(CLng(report->UserID()), IdOf("admin"));
  EXPECT_EQ(CStr(report->ReportNo()), "57");
  EXPECT_EQ(CStr(report->Name()), "March");
  EXPECT_EQ(CStr(report->Description()), "Client visit");
  EXPECT_EQ(CDate(report->CreateDate()).ToString(), "2024-03-05");
  EXPECT_EQ(CCur(report->CashAdvance()).Scaled(), 1000000);
  EXPECT_EQ(CCur(report->Total()).Scaled(), 2503300);
  EXPECT_EQ(CCur(report->AmountPaid()).Scaled(), 0);
  EXPECT_FALSE(CBool(report->Approved()));
  EXPECT_TRUE(report->ApprovedOn().IsNull());
  EXPECT_TRUE(report->ApprovedBy().IsNull());

  // Same number text, name and date as an existing report: the key of the
  // inserted row, not of the first match.
  SetReportCounter(57);
  std::int32_t twin = AddReport("March", created_);
  EXPECT_NE(twin, id);
  EXPECT_EQ(CStr(mgr.GetExpenseReport(account, caller, token, rid)->ReportNo()), "57");
}

TEST_F(ExpenseReportTest, NullNameOrDateStillReturnsTheNewKey) {
  std::int32_t a = AddReport(Variant::Null(), created_);
  std::int32_t b = AddReport("No date", Variant::Null());
  std::int32_t c = AddReport(Variant::Null(), Variant::Null());
  EXPECT_EQ(std::set<std::int32_t>({a, b, c}).size(), 3u);
  for (std::int32_t id : {a, b, c}) {
    Variant rid(id);
    EXPECT_EQ(CLng(mgr.GetExpenseReport(account, caller, token, rid)->IExpenseReportID()), id);
  }
  EXPECT_EQ(ReportCounter(), 4);
}

TEST_F(ExpenseReportTest, FailedAddInsertsNothingAndKeepsTheNumber) {
  SetReportCounter(10);
  Error unknown = ExpectError([&] { AddReport("x", created_, "", Variant("stranger")); }, 91);
  EXPECT_EQ(unknown.Source(), "BRIVOS.CUserManager");
  ExpectError([&] { AddReport(std::string(51, 'n'), created_); }, -2147217873);  // too wide
  EXPECT_EQ(Count("IExpenseReport"), 0);
  EXPECT_EQ(ReportCounter(), 10);
  AddReport("fine", created_);
  EXPECT_EQ(CStr(Scalar("SELECT ReportNo FROM IExpenseReport")), "10");
}

TEST_F(ExpenseReportTest, ConcurrentAddsGetDistinctNumbers) {
  constexpr int kThreads = 4, kAdds = 25;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      CUserManager m;
      for (int n = 0; n < kAdds; ++n) {
        Variant a = account, u("admin"), k("T"), no(""), name("r"), d(""), cd(created_), ca(0.0),
                tot(0.0), paid(0.0), appr(false), on(Variant::Null()), by(Variant::Null());
        try {
          m.AddExpenseReport(a, u, k, no, name, d, cd, ca, tot, paid, appr, on, by);
        } catch (const Error&) {
          ++failures;
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(Count("IExpenseReport"), kThreads * kAdds);
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(DISTINCT ReportNo) FROM IExpenseReport")), kThreads * kAdds);
  EXPECT_EQ(ReportCounter(), kThreads * kAdds + 1);
}

TEST_F(ExpenseReportTest, UnknownReportIsAnError) {
  Variant none(12345);
  Error e = ExpectError([&] { mgr.GetExpenseReport(account, caller, token, none); }, 9);
  EXPECT_EQ(e.Source(), "BRIVOS.CUserManager");
  Variant text("1 OR 1=1");
  AddReport("x", created_);
  ExpectError([&] { mgr.GetExpenseReport(account, caller, token, text); }, 13);
  // Empty names no report, never "the first report of any user".
  Variant empty;
  ExpectError([&] { mgr.GetExpenseReport(account, caller, token, empty); }, 13);
  Variant null = Variant::Null();
  ExpectError([&] { mgr.GetExpenseReport(account, caller, token, null); }, 94);
}

TEST_F(ExpenseReportTest, UpdateWritesEverythingButTheOwner) {
  std::int32_t id = AddReport("March", created_);
  std::int32_t ann = AddUser("ann", "pw");
  Variant rid(id), no("EXP-7"), name("April"), description("Updated"),
      created(Date::FromParts(2024, 4, 1)), advance(5.0), total(Currency::FromScaled(12345)),
      paid(2.5), approved(true), on(Date::FromParts(2024, 4, 2, 10, 30)), by("ann");
  Variant as("ann");
  mgr.UpdateExpenseReport(account, as, token, rid, no, name, description, created, advance, total,
                          paid, approved, on, by);
  auto report = mgr.GetExpenseReport(account, caller, token, rid);
  EXPECT_EQ(CStr(report->ReportNo()), "EXP-7");
  EXPECT_EQ(CStr(report->Name()), "April");
  EXPECT_EQ(CStr(report->Description()), "Updated");
  EXPECT_EQ(CDate(report->CreateDate()).ToString(), "2024-04-01");
  EXPECT_EQ(CCur(report->CashAdvance()).Scaled(), 50000);
  EXPECT_EQ(CCur(report->Total()).Scaled(), 12345);
  EXPECT_EQ(CCur(report->AmountPaid()).Scaled(), 25000);
  EXPECT_TRUE(CBool(report->Approved()));
  EXPECT_EQ(CDate(report->ApprovedOn()).ToString(), "2024-04-02 10:30:00");
  EXPECT_EQ(CStr(report->ApprovedBy()), "ann");
  EXPECT_NE(CLng(report->UserID()), ann);  // the owner stays

  // An approved report can still be edited; an unknown one changes nothing.
  Variant again("again"), unknown(id + 100);
  mgr.UpdateExpenseReport(account, as, token, rid, no, again, description, created, advance, total,
                          paid, approved, on, by);
  EXPECT_EQ(CStr(mgr.GetExpenseReport(account, caller, token, rid)->Name()), "again");
  mgr.UpdateExpenseReport(account, as, token, unknown, no, name, description, created, advance,
                          total, paid, approved, on, by);
  EXPECT_EQ(Count("IExpenseReport"), 1);
}

TEST_F(ExpenseReportTest, ExpensesAreListedEarliestFirst) {
  std::int32_t id = AddReport("March", created_);
  std::int32_t other = AddReport("Other", created_);
  Variant rid(id);
  EXPECT_EQ(mgr.GetReportExpenses(account, caller, token, rid)->Count(), 0);
  AddExpense(id, "2024-03-09", 3);
  AddExpense(id, "2024-03-01", 1);
  AddExpense(other, "2024-02-01", 9);
  AddExpense(id, "2024-03-05", 2);
  auto expenses = mgr.GetReportExpenses(account, caller, token, rid);
  ASSERT_EQ(expenses->Count(), 3);
  for (std::int32_t i = 1; i <= 3; ++i) {
    EXPECT_EQ(CCur(expenses->ItemAs<IProjectExpense>(i)->Amount()).Scaled(), i * 10000);
  }
  Variant bad("1 OR 1=1");
  ExpectError([&] { mgr.GetReportExpenses(account, caller, token, bad); }, 13);
}

TEST_F(ExpenseReportTest, DeleteRemovesTheReportWithItsExpensesAllOrNothing) {
  std::int32_t id = AddReport("March", created_);
  std::int32_t other = AddReport("Other", created_);
  for (const char* date : {"2024-03-01", "2024-03-02", "2024-03-03"}) AddExpense(id, date, 1);
  AddExpense(other, "2024-03-04", 1);
  Exec("UPDATE IExpenseReport SET Approved=1");
  Exec("UPDATE IProjectExpense SET Approved=1, Billed=1");

  Variant bad("0 OR 1=1");
  ExpectError([&] { mgr.DeleteExpenseReport(account, caller, token, bad); }, 13);
  EXPECT_EQ(Count("IProjectExpense"), 4);

  // A failing second statement leaves the first undone.
  Exec(
      "CREATE TRIGGER keep_reports BEFORE DELETE ON IExpenseReport BEGIN SELECT RAISE(ABORT, "
      "'kept'); END");
  Variant rid(id);
  EXPECT_TRUE(ErrorOf([&] { mgr.DeleteExpenseReport(account, caller, token, rid); }));
  EXPECT_EQ(Count("IProjectExpense"), 4);
  EXPECT_EQ(Count("IExpenseReport"), 2);
  Exec("DROP TRIGGER keep_reports");

  mgr.DeleteExpenseReport(account, caller, token, rid);  // approval and billing do not block
  EXPECT_EQ(Count("IProjectExpense", "ExpenseReportID=" + std::to_string(id)), 0);
  EXPECT_EQ(Count("IExpenseReport", "IExpenseReportID=" + std::to_string(id)), 0);
  EXPECT_EQ(Count("IProjectExpense"), 1);
  EXPECT_EQ(Count("IExpenseReport"), 1);
}

TEST_F(UserTest, LateBoundMembersKeepTheirArgumentOrders) {
  auto obj = CreateObject("BRIVOS.CUserManager");
  // AddUserProfile has ReportsToID before Admin.
  std::vector<Variant> add{account,      caller,       token,        Variant("ann"), Variant("pw"),
                           Variant("A"), Variant("L"), Variant("I"), Variant(40000), Variant(true),
                           Variant(1),   Variant(8.0), Variant("e"), Variant(1.0),   Variant(2.0),
                           Variant(3.0), Variant(4.0), Variant(true)};
  EXPECT_TRUE(obj->Invoke("AddUserProfile", add).IsEmpty());
  std::vector<Variant> get{account, caller, token, account, Variant("ann")};
  auto ann = obj->Invoke("getuserprofile", get).AsObject();
  ASSERT_NE(ann, nullptr);
  std::vector<Variant> none;
  EXPECT_EQ(CLng(ann->Invoke("ReportsToID", none)), 40000);
  EXPECT_TRUE(CBool(ann->Invoke("Admin", none)));
  Variant ann_id = ann->Invoke("IUserID", none);

  // UpdateUserProfile has Admin before ReportsToID.
  std::vector<Variant> update{
      account,      caller,         token,        ann_id,       Variant("B"), Variant("M"),
      Variant("J"), Variant(false), Variant(""),  Variant(2),   Variant(9.0), Variant("f"),
      Variant(5.0), Variant(6.0),   Variant(7.0), Variant(8.0), Variant(true)};
  obj->Invoke("UpdateUserProfile", update);
  ann = obj->Invoke("GetUserProfile", get).AsObject();
  EXPECT_TRUE(ann->Invoke("ReportsToID", none).IsNull());
  EXPECT_FALSE(CBool(ann->Invoke("Admin", none)));

  std::vector<Variant> nobody{account, caller, token, account, Variant("nobody")};
  EXPECT_TRUE(obj->Invoke("GetUserProfile", nobody).IsNothing());

  std::vector<Variant> list{account, caller, token};
  EXPECT_EQ(CLng(obj->Invoke("GetSubscriberUserProfiles", list).AsObject()->Invoke("Count", none)),
            2);

  std::vector<Variant> report{account,
                              caller,
                              token,
                              Variant("x"),
                              Variant("Trip"),
                              Variant("d"),
                              Variant(Date::FromParts(2024, 1, 2)),
                              Variant(0.0),
                              Variant(0.0),
                              Variant(0.0),
                              Variant(false),
                              Variant::Null(),
                              Variant::Null()};
  Variant report_id = obj->Invoke("AddExpenseReport", report);
  EXPECT_EQ(report_id.Type(), VarType::Long);
  std::vector<Variant> by_id{account, caller, token, report_id};
  auto got = obj->Invoke("GetExpenseReport", by_id).AsObject();
  EXPECT_EQ(CStr(got->Invoke("ReportNo", none)), "1");
  EXPECT_EQ(CLng(obj->Invoke("GetReportExpenses", by_id).AsObject()->Invoke("Count", none)), 0);
  obj->Invoke("DeleteExpenseReport", by_id);
  ExpectError([&] { obj->Invoke("GetExpenseReport", by_id); }, 9);

  std::vector<Variant> del{account, caller, token, ann_id};
  obj->Invoke("DeleteUserProfile", del);
  EXPECT_TRUE(obj->Invoke("GetUserProfile", get).IsNothing());
  ExpectError([&] { obj->Invoke("DeleteUserProfile", list); }, 450);
}

}  // namespace
}  // namespace brivos
