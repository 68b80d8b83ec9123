#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tests/projects/ProjectFixture.hpp"

namespace brivos {
namespace {

using testing::ExpectError;
using testing::RaisedNumber;

class ExpensesTest : public testing::ProjectTest {
 protected:
  ExpensesTest() {
    project_ = AddProject();
    staff_ = AddStaff(project_, 1);
  }
  std::int32_t Add(Variant report = Variant(0), Variant approved = Variant(false),
                   Variant po = Variant("PO-1")) {
    Variant p(project_), date(Date::FromParts(2024, 3, 5)), inv("INV"), amount(12.5), markup(1.0),
        desc("taxi"), s(staff_), type(21), rate(1.0), pay(6), where(""), distance(0.0), per(0.0),
        tax(0);
    return typed.AddExpense(account, user, token, report, p, date, po, inv, amount, markup, desc,
                            approved, s, type, rate, pay, where, where, where, distance, per, tax);
  }
  std::int32_t AddStaffExpense(std::int32_t project, const std::string& as = "admin") {
    Variant who(as), report(0), date(Date::FromParts(2024, 3, 5)), po(""), inv(""), amount(3.0),
        desc("parking"), p(project), type(16), rate(1.0), pay(6), where(""), distance(0.0),
        per(0.0), tax(0);
    return typed.AddStaffExpense(account, who, token, report, date, po, inv, amount, desc, p, type,
                                 rate, pay, where, where, where, distance, per, tax);
  }
  void MoveStaffExpense(std::int32_t expense, std::int32_t project) {
    Variant id(expense), date(Date::FromParts(2024, 3, 5)), po(""), inv(""), amount(3.0),
        desc("parking"), p(project), type(16), rate(1.0), pay(6), where(""), distance(0.0),
        per(0.0), tax(0);
    typed.UpdateStaffExpense(account, user, token, id, date, po, inv, amount, desc, p, type, rate,
                             pay, where, where, where, distance, per, tax);
  }
  void Delete(std::int32_t expense) {
    Variant id(expense);
    typed.DeleteExpense(account, user, token, id);
  }
  std::int32_t Finished(const std::string& name) {
    std::int32_t id = AddProject(name);
    Exec("UPDATE IProject SET Status=5 WHERE IProjectID=" + std::to_string(id));
    return id;
  }
};

TEST_F(ExpensesTest, AddStoresUnbilledWithNullsForZeroReferencesAndReturnsItsOwnRow) {
  std::set<std::int32_t> keys{Add(), Add(), Add(Variant(0), Variant(false), Variant::Null())};
  EXPECT_EQ(keys.size(), 3u);
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM IProjectExpense WHERE ExpenseReportID IS NULL AND "
                        "TaxCodeID IS NULL AND Billed=0")),
            3);
  Variant bad_date("not a date");
  EXPECT_EQ(RaisedNumber([&] {
              Variant p(project_), po(""), money(0.0), no(false), s(staff_), zero(0), text("");
              typed.AddExpense(account, user, token, zero, p, bad_date, po, po, money, money, text,
                               no, s, zero, money, zero, text, text, text, money, money, zero);
            }),
            13);
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM IProjectExpense")), 3);
}

TEST_F(ExpensesTest, StaffExpensesNeedAnActiveProjectAndAStaffRow) {
  const std::int32_t own = AddStaffExpense(project_);
  Variant own_id(own);
  auto expense = typed.GetExpense(account, user, token, own_id);
  EXPECT_EQ(CCur(expense->Markup()).Scaled(), 0);
  EXPECT_FALSE(CBool(expense->Approved()));
  EXPECT_EQ(CLng(expense->StaffID()), staff_);

  const std::int32_t finished = Finished("Finished");
  Error e = ExpectError([&] { AddStaffExpense(finished); }, errCProjectMgr::eProjectNotActive);
  EXPECT_EQ(
      e.Description().rfind("You cannot assign an expense to a project that is not Active.", 0),
      0u);
  const std::int32_t foreign = AddProject("Foreign");  // active, admin not on its staff
  EXPECT_EQ(RaisedNumber([&] { AddStaffExpense(foreign); }), 3021);
  EXPECT_EQ(RaisedNumber([&] { AddStaffExpense(999); }), 9);
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM IProjectExpense")), 1);

  // Kept on a project that has since finished: allowed; moved to a finished one: refused.
  Exec("UPDATE IProject SET Status=5 WHERE IProjectID=" + std::to_string(project_));
  MoveStaffExpense(own, project_);
  EXPECT_EQ(RaisedNumber([&] { MoveStaffExpense(own, Finished("Other")); }),
            errCProjectMgr::eProjectNotActive);
  EXPECT_EQ(typed.GetExpensesForUser(account, user, token)->Count(), 1);
  AddUser("clerk", "pw");
  Variant clerk("clerk");
  EXPECT_EQ(typed.GetExpensesForUser(account, clerk, token)->Count(), 0);
}

TEST_F(ExpensesTest, DeleteRefusesApprovedExpensesAndExpensesOnApprovedReports) {
  ExpectError([&] { Delete(Add(Variant(0), Variant(true))); }, errCProjectMgr::eExpenseApproved);
  Exec("INSERT INTO IExpenseReport (Parent,ReportNo,Approved) VALUES (1,'R-7',1)");
  Exec("INSERT INTO IExpenseReport (Parent,ReportNo,Approved) VALUES (1,'R-8',0)");
  const std::int32_t on_approved = Add(Variant(1)), on_open = Add(Variant(2));
  Error e = ExpectError([&] { Delete(on_approved); }, errCProjectMgr::eExpenseReportApproved);
  EXPECT_EQ(e.Description().rfind("You cannot delete this expense item because it is on an "
                                  "approved employee expense report.    \r\n\r\nEmployee:  "
                                  "admin\r\n\r\n    Expense Report:  R-7",
                                  0),
            0u);
  Delete(on_open);
  Exec("DELETE FROM IExpenseReport WHERE ReportNo='R-7'");
  EXPECT_EQ(RaisedNumber([&] { Delete(on_approved); }), 91);
  EXPECT_EQ(RaisedNumber([&] { Delete(999); }), 9);
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM IProjectExpense")), 2);
}

}  // namespace
}  // namespace brivos
