// The gate every front end calls the library through: binding, declared
// access and ownership, tenants, and the whole-number rule.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>

#include "app/Calls.hpp"
#include "app/Tenants.hpp"
#include "app/Values.hpp"
#include "brivos/database/Backend.hpp"
#include "brivos/database/OutcomeUnknown.hpp"
#include "tests/support/SubscriberFixture.hpp"

namespace brivos::testing {
namespace {

using app::NamedArgs;
using app::Refusal;

// What a call through the gate ends in: the refusal's kind and number, or
// none when it ran.
struct Outcome {
  bool refused = false;
  Refusal kind = Refusal::kFailed;
  std::int32_t number = 0;
};

template <class F>
Outcome OutcomeOf(F&& call) {
  try {
    call();
  } catch (const app::Refused& r) {
    return {true, r.Kind(), r.Number()};
  }
  return {};
}

TEST(GateBind, PositionalThenNamedWithTheLateBoundNumbers) {
  const app::Target target = app::FindTarget("CProjectMgr", "GetProject");  // A, U, T, ProjectID
  struct Case {
    std::vector<Variant> positional;
    NamedArgs named;
    bool missing_is_empty;
    std::int32_t number;  // 0: bound
  };
  const std::vector<Case> cases = {
      {{"a", "u", "t", 1}, {}, false, 0},
      {{"a", "u"}, {{"token", "t"}, {"PROJECTID", 1}}, false, 0},
      {{"a", "u", "t", 1, 2}, {}, false, errnum::kWrongArgumentCount},
      {{"a", "u", "t"}, {{"Extra", 1}}, false, errnum::kNamedArgumentNotFound},
      {{"a", "u", "t", 1}, {{"ProjectID", 2}}, false, errnum::kNamedArgumentNotFound},
      {{"a", "u", "t"}, {}, false, errnum::kArgumentNotOptional},
      {{"a", "u", "t"}, {}, true, 0},
  };
  for (const Case& c : cases) {
    std::vector<Variant> bound;
    const Outcome o = OutcomeOf([&] { bound = app::Bind(target, c.positional, c.named, c.missing_is_empty); });
    EXPECT_EQ(o.number, c.number) << c.positional.size() << " positional, " << c.named.size();
    if (c.number == 0 && !c.missing_is_empty) {
      ASSERT_EQ(bound.size(), 4u);
      EXPECT_EQ(CStr(bound[2]), "t");
    }
  }
  EXPECT_EQ(OutcomeOf([] { app::FindTarget("CProjectMgr", "Nope"); }).number, errnum::kUnknownMember);
  // A record class is not created by name.
  EXPECT_EQ(OutcomeOf([] { app::FindTarget("IUser", "Caller"); }).number,
            errnum::kCannotCreateObject);
}

TEST(GateDeclarations, EveryManagerMethodDeclaresItsAccess) {
  // Administrators' methods are the default of no list: a method a plain
  // user may call is declared so where it is defined.
  int any = 0, own = 0, admin = 0;
  for (const ClassInfo* info : RegisteredClasses()) {
    if (!info->Creatable()) continue;
    for (const MemberInfo& m : info->Members()) {
      const bool session = !m.arg_names.empty() && m.arg_names.front() == "Account";
      if (!session) continue;
      (m.access == Access::kAdmin ? admin : m.access == Access::kOwn ? own : any) += 1;
      EXPECT_TRUE(m.access == Access::kOwn || m.owned.empty()) << m.name;
    }
  }
  EXPECT_GT(any, 0);
  EXPECT_GT(own, 0);
  EXPECT_GT(admin, any + own);
  EXPECT_EQ(app::FindTarget("CProjectMgr", "UpdateTransaction").member->owned,
            (std::vector<std::string>{"TransID", "StaffID"}));
}

// A database that cannot be reached, and a commit whose answer was lost,
// ask the caller to come back; a refused statement is the caller's.
TEST(GateRefusals, DatabaseErrorsAreRefusedByWhatTheCallerCanDo) {
  struct Case {
    std::int32_t number;
    Refusal kind;
  };
  for (const Case& c : {Case{errnum::kDbCannotOpen, Refusal::kUnavailable},
                        Case{errnum::kDbOutcomeUnknown, Refusal::kUnavailable},
                        Case{errnum::kDbStatementRejected, Refusal::kUnprocessable},
                        Case{errnum::kDbConstraint, Refusal::kUnprocessable}}) {
    EXPECT_EQ(app::RefusalOf(Error(c.number, "BRIVOS.Database", "x")), c.kind) << c.number;
  }
}

TEST(GateNumbers, WholeNumbersWiderThan32BitsAreExactOrRefused) {
  constexpr std::int64_t k53 = std::int64_t{1} << 53;
  struct Case {
    std::int64_t value;
    VarType type;  // Empty: error 6
  };
  for (const Case& c : std::vector<Case>{{2147483647, VarType::Long},
                                         {-2147483648LL, VarType::Long},
                                         {2147483648LL, VarType::Double},
                                         {-2147483649LL, VarType::Double},
                                         {k53, VarType::Double},
                                         {-k53, VarType::Double},
                                         {k53 + 1, VarType::Empty},
                                         {-k53 - 1, VarType::Empty},
                                         {INT64_MAX, VarType::Empty}}) {
    if (c.type == VarType::Empty) {
      EXPECT_EQ(RaisedNumber([&] { app::WholeNumber(c.value); }), errnum::kOverflow) << c.value;
    } else {
      const Variant v = app::WholeNumber(c.value);
      EXPECT_EQ(v.Type(), c.type) << c.value;
      EXPECT_EQ(static_cast<std::int64_t>(CDbl(v)), c.value);
    }
  }
}

class GateTest : public SubscriberTest {
 protected:
  GateTest() {
    firm = app::Tenant{"A100", account};
    CProjectMgr projects;
    const Variant token = app::SignIn(firm, "admin", "secret");
    admin = app::Authenticate(firm, CStr(token), 1e9);
    bob_id = AddUser("bob", "pw");
    bob = app::Authenticate(firm, app::SignIn(firm, "bob", "pw"), 1e9);
    Variant chunk(15);
    project = projects.AddProject(account, "admin", token, "Website", "", 1, Variant(), Variant(),
                                  true, 0, 0, true, chunk, Variant::Null(), Variant::Null());
    task = projects.AddTask(account, "admin", token, project, "Design", "", Variant(), false,
                            Variant(), 0, Variant());
    const std::int32_t admin_staff =
        projects.AddStaff(account, "admin", token, project, admin.user_id, 100, 50, 150, 75);
    bob_staff = projects.AddStaff(account, "admin", token, project, bob_id, 90, 40, 120, 60);
    const auto slip = [&](std::int32_t staff) {
      return projects.AddTransaction(account, "admin", token, project, Date::FromParts(2024, 3, 4), 9, 0, 10,
                                     0, "work", 1, 90, 40, 60, 120, "", task, staff, false);
    };
    admin_slip = slip(admin_staff);
    bob_slip = slip(bob_staff);
  }

  app::Tenant firm;
  app::Principal admin, bob;
  std::int32_t bob_id = 0, project = 0, task = 0, bob_staff = 0, admin_slip = 0, bob_slip = 0;
  app::CallPath calls;
};

TEST_F(GateTest, APlainUserCallsWhatIsDeclaredForHerOnHerOwn) {
  struct Case {
    const char* member;
    std::vector<Variant> rest;
    bool bob_allowed;
  };
  const std::vector<Case> cases = {
      {"GetProjects", {0}, true},
      {"GetProject", {project}, true},
      {"DeleteProject", {999}, false},                // for administrators
      {"GetStaff", {bob_staff}, false},               // for administrators
      {"GetTransaction", {bob_slip}, true},           // her own slip
      {"GetTransaction", {admin_slip}, false},        // another's slip
      {"DeleteTransaction", {admin_slip}, false},
      {"UpdateTransactionStatus", {bob_slip, 1}, true},
      {"UpdateTransactionStatus", {bob_slip, 2}, false},  // approving
      {"GetTransactionsForWeek", {Date::FromParts(2024, 3, 4), "admin"}, false},
      {"GetTransactionsForWeek", {Date::FromParts(2024, 3, 4), "BOB"}, true},
      {"SubmitWeek", {Date::FromParts(2024, 3, 4), "admin"}, false},  // another's week
      {"SubmitWeek", {Date::FromParts(2024, 3, 4), "bob"}, true},
  };
  for (const Case& c : cases) {
    const Outcome as_bob = OutcomeOf([&] { calls.Call(bob, "CProjectMgr", c.member, c.rest); });
    EXPECT_EQ(as_bob.refused, !c.bob_allowed) << c.member;
    if (as_bob.refused) {
      EXPECT_EQ(as_bob.kind, Refusal::kForbidden) << c.member;
    }
    if (!std::string_view(c.member).starts_with("Delete")) {
      EXPECT_FALSE(OutcomeOf([&] { calls.Call(admin, "CProjectMgr", c.member, c.rest); }).refused)
          << c.member;
    }
  }
  // The slip a refused call names is as it was.
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM IProjectTransaction")), 2);
}

TEST_F(GateTest, TheSessionFillsItsArgumentsAndNamesOnlyItsOwnFirm) {
  const Outcome token_given = OutcomeOf([&] {
    calls.CallNamed(bob, "CProjectMgr", "GetProject", {{"ProjectID", project}, {"Token", "x"}});
  });
  EXPECT_EQ(token_given.kind, Refusal::kBadRequest);
  EXPECT_EQ(token_given.number, errnum::kNamedArgumentNotFound);
  const auto profile = [&](const char* firm_no, const char* name) {
    return OutcomeOf([&] {
      calls.CallNamed(bob, "CUserManager", "GetUserProfile",
                      {{"ProfileAccount", firm_no}, {"ProfileUserName", name}});
    });
  };
  EXPECT_FALSE(profile("A100", "bob").refused);
  EXPECT_EQ(profile("A100", "admin").kind, Refusal::kForbidden);
  EXPECT_EQ(profile("A200", "bob").kind, Refusal::kForbidden);
  // The observer sees every call the path makes, refused ones not at all.
  int seen = 0;
  const app::CallPath observed([&](const app::Target&, const std::function<Variant()>& call) {
    ++seen;
    return call();
  });
  observed.Call(bob, "CProjectMgr", "GetProjects", {0});
  EXPECT_ANY_THROW(observed.Call(bob, "CProjectMgr", "GetStaff", {bob_staff}));
  EXPECT_EQ(seen, 1);
}

// A user name argument names the caller as the firm's database compares
// names: a dotted capital I or a Kelvin sign where it folds them, letter
// case anywhere, and no other name.
TEST_F(GateTest, ANameArgumentNamesTheCallerAsTheDatabaseComparesNames) {
  const std::int32_t kim_id = AddUser("kim", "pw");
  const app::Principal kim = app::Authenticate(firm, app::SignIn(firm, "kim", "pw"), 1e9);
  for (const std::string name : {"KIM", "k\u0130m", "\u212Aim", "k\u0131m", "kimi", "bob"}) {
    const bool same = CLng(Scalar("SELECT COUNT(*) FROM IUser WHERE UserName='" + name +
                                  "' AND IUserID=" + std::to_string(kim_id))) > 0;
    const Outcome outcome = OutcomeOf([&] {
      calls.Call(kim, "CProjectMgr", "GetTransactionsForWeek", {Date::FromParts(2024, 3, 4), name});
    });
    EXPECT_EQ(outcome.refused, !same) << name;
  }
}

TEST_F(GateTest, AnUnknownOrExpiredTokenIsUnauthorized) {
  EXPECT_EQ(OutcomeOf([&] { app::Authenticate(firm, "0123", 1e9); }).kind, Refusal::kUnauthorized);
  EXPECT_EQ(OutcomeOf([&] { app::Authenticate(firm, CStr(bob.token), -86400); }).kind,
            Refusal::kUnauthorized);
  EXPECT_FALSE(bob.admin);
  EXPECT_TRUE(admin.admin);
  EXPECT_EQ(bob.user_id, bob_id);
}

TEST_F(GateTest, TenantsFindOnlyTheFirmsOfTheirDirectory) {
  const std::string data = dir.Path();
  const app::Tenants tenants(data);
  ASSERT_TRUE(tenants.Find("A100").has_value());
  EXPECT_EQ(tenants.Find("A100")->account_no, "A100");
  for (const std::string& text :
       std::vector<std::string>{"", "A999", "../A100", "A100/..", "A 100", std::string(65, 'A'),
                                std::string("A100\0x", 6)}) {
    EXPECT_FALSE(tenants.Find(text).has_value()) << text;
  }
  if (!tenants.OnFiles()) {
    // The directory as spelled names the schema: a link to it is another.
    EXPECT_EQ(CStr(tenants.Find("A100")->account), CStr(account));
    return;
  }
  // A link in the directory, to the firm's own file, is no firm.
  ASSERT_EQ(::symlink((data + "/A100.mdb").c_str(), (data + "/A101.mdb").c_str()), 0);
  EXPECT_FALSE(tenants.Find("A101").has_value());
  ASSERT_EQ(::mkdir((data + "/A102.mdb").c_str(), 0700), 0);
  EXPECT_FALSE(tenants.Find("A102").has_value());
}

TEST(GateTenants, AccountPathsAreSpelledOneWay) {
  EXPECT_EQ(app::AccountIn("/srv/brivos", "A100"), "/srv/brivos\\A100");
  EXPECT_EQ(app::AccountIn("/srv/brivos//", "A100"), "/srv/brivos\\A100");
  EXPECT_EQ(app::AccountIn("", "A100"), "A100");
  EXPECT_EQ(app::AccountIn("/", "A100"), "/\\A100");
}

}  // namespace
}  // namespace brivos::testing
