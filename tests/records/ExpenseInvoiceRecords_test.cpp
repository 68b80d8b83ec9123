#include <gtest/gtest.h>

#include "tests/records/RecordChecks.hpp"
#include "tests/support/SubscriberFixture.hpp"

namespace brivos {
namespace {

using testing::ExpectError;
using testing::ExpectProperties;
using testing::InsertRow;
using testing::Keys;
using testing::MemberNames;
using testing::PublishedEnum;
using P = Parameter;
using VT = VarType;
using Members = std::vector<std::pair<std::string, std::int32_t>>;

// A project with one staff assignment of the main user, a tax code, an
// expense report of that user and an invoice.
class ExpenseInvoiceRecordsTest : public testing::SubscriberTest {
 protected:
  ExpenseInvoiceRecordsTest() {
    sub = SubscriberId();
    user = CLng(Scalar("SELECT IUserID FROM IUser WHERE UserName='admin';"));
    project =
        Insert("INSERT INTO IProject (Parent,Name,Status) VALUES (?,'Audit',2);", {P::Long(sub)});
    staff = Insert("INSERT INTO IProjectStaff (Parent,UserID) VALUES (?,?);",
                   {P::Long(project), P::Long(user)});
    tax = Insert("INSERT INTO CITaxCode (Parent,TaxCode) VALUES (?,'E');", {P::Long(sub)});
    report = Insert(
        "INSERT INTO IExpenseReport (Parent,ReportNo,Name,Description,CreateDate,CashAdvance,"
        "Total,AmountPaid,Approved,ApprovedOn,ApprovedBy) "
        "VALUES (?,'7','Trip to Ottawa','Client visit',?,200,812.4,612.4,1,?,'manager');",
        {P::Long(user), P::Date(Date::FromParts(2024, 2, 1)),
         P::Date(Date::FromParts(2024, 2, 9, 16, 45, 0))});
    invoice = Insert(
        "INSERT INTO IProjectInvoice (Parent,InvoiceDate,InvoiceNumber,Status,CreateDate,"
        "CreatedBy,LastModified,LastModifiedBy,Terms,Notes,Format) "
        "VALUES (?,?,'1001',2,?,'admin',?,'clerk','Net 15','Thank you.',3);",
        {P::Long(project), P::Date(Date::FromParts(2024, 2, 29)),
         P::Date(Date::FromParts(2024, 2, 29, 10, 0, 0)),
         P::Date(Date::FromParts(2024, 3, 1, 12, 30, 15))});
  }

  std::int32_t Insert(const std::string& sql, std::initializer_list<Parameter> params = {}) {
    return InsertRow(account, sql, params);
  }

  std::int32_t sub = 0, user = 0, project = 0, staff = 0, tax = 0, report = 0, invoice = 0;
};

TEST_F(ExpenseInvoiceRecordsTest, ExpenseReadsBackEveryColumnAndItsRelatedRecords) {
  std::int32_t expense = Insert(
      "INSERT INTO IProjectExpense (Parent,ExpenseDate,PONumber,InvoiceNumber,Amount,Markup,"
      "Description,Billed,Approved,ApprovedBy,ApprovedOn,ExpenseType,ExchangeRate,PaymentType,"
      "Establishment,City,Route,Distance,Rate,StaffID,InvoiceID,ExpenseReportID,TaxCodeID) "
      "VALUES (?,?,'PO-17','R-99',123.45,10,'Train ticket',1,1,'boss',?,25,1.35,1,'VIA Rail',"
      "'Ottawa','Toronto-Ottawa',450.5,0.55,?,?,?,?);",
      {P::Long(project), P::Date(Date::FromParts(2024, 2, 3)),
       P::Date(Date::FromParts(2024, 2, 10, 8, 15, 0)), P::Long(staff), P::Long(invoice),
       P::Long(report), P::Long(tax)});
  auto e = IProjectExpense::Load(account, expense);
  ASSERT_NE(e, nullptr);
  ExpectProperties(
      *e, {
              {"IProjectExpenseID", e->IProjectExpenseID(), VT::Long, std::to_string(expense)},
              {"ProjectID", e->ProjectID(), VT::Long, std::to_string(project)},
              {"ExpenseDate", e->ExpenseDate(), VT::Date, "2024-02-03"},
              {"PONumber", e->PONumber(), VT::String, "PO-17"},
              {"InvoiceNumber", e->InvoiceNumber(), VT::String, "R-99"},
              {"Amount", e->Amount(), VT::Currency, "123.45"},
              {"Markup", e->Markup(), VT::Currency, "10"},
              {"Description", e->Description(), VT::String, "Train ticket"},
              {"Billed", e->Billed(), VT::Boolean, "True"},
              {"Approved", e->Approved(), VT::Boolean, "True"},
              {"ApprovedBy", e->ApprovedBy(), VT::String, "boss"},
              {"ApprovedOn", e->ApprovedOn(), VT::Date, "2024-02-10 08:15:00"},
              {"ExpenseType", e->ExpenseType(), VT::Long, "25"},
              {"ExchangeRate", e->ExchangeRate(), VT::Double, "1.35"},
              {"PaymentType", e->PaymentType(), VT::Long, "1"},
              {"Establishment", e->Establishment(), VT::String, "VIA Rail"},
              {"City", e->City(), VT::String, "Ottawa"},
              {"Route", e->Route(), VT::String, "Toronto-Ottawa"},
              {"Distance", e->Distance(), VT::Double, "450.5"},
              {"Rate", e->Rate(), VT::Currency, "0.55"},
              {"StaffID", e->StaffID(), VT::Long, std::to_string(staff)},
              {"InvoiceID", e->InvoiceID(), VT::Long, std::to_string(invoice)},
              {"ExpenseReportID", e->ExpenseReportID(), VT::Long, std::to_string(report)},
              {"TaxCodeID", e->TaxCodeID(), VT::Long, std::to_string(tax)},
          });
  EXPECT_EQ(CStr(e->Project(account)->Name()), "Audit");
  EXPECT_EQ(CLng(e->Staff(account)->UserID()), user);
  EXPECT_EQ(CStr(e->Invoice(account)->InvoiceNumber()), "1001");
  EXPECT_EQ(CStr(e->ExpenseReport(account)->Name()), "Trip to Ottawa");
  EXPECT_EQ(CStr(e->TaxCode(account)->TaxCode()), "E");

  std::vector<Variant> acct{account};
  for (const char* related : {"Project", "Staff", "Invoice", "ExpenseReport", "TaxCode"}) {
    EXPECT_FALSE(e->Invoke(related, acct).IsNothing()) << related;
  }
}

TEST_F(ExpenseInvoiceRecordsTest, UnbilledExpenseOnNoReportHasNoInvoiceNorReport) {
  std::int32_t expense =
      Insert("INSERT INTO IProjectExpense (Parent,Amount,StaffID) VALUES (?,12,?);",
             {P::Long(project), P::Long(staff)});
  auto e = IProjectExpense::Load(account, expense);
  EXPECT_EQ(e->Invoice(account), nullptr);
  EXPECT_EQ(e->ExpenseReport(account), nullptr);
  EXPECT_EQ(e->TaxCode(account), nullptr);

  // The staff assignment is read once and kept.
  auto s = e->Staff(account);
  ASSERT_NE(s, nullptr);
  Exec("DELETE FROM IProjectStaff;");
  EXPECT_EQ(e->Staff(account), s);
}

TEST_F(ExpenseInvoiceRecordsTest, ExpenseReportReadsBackEveryColumn) {
  auto r = IExpenseReport::Load(account, report);
  ASSERT_NE(r, nullptr);
  ExpectProperties(
      *r, {
              {"IExpenseReportID", r->IExpenseReportID(), VT::Long, std::to_string(report)},
              {"UserID", r->UserID(), VT::Long, std::to_string(user)},
              {"ReportNo", r->ReportNo(), VT::String, "7"},
              {"Name", r->Name(), VT::String, "Trip to Ottawa"},
              {"Description", r->Description(), VT::String, "Client visit"},
              {"CreateDate", r->CreateDate(), VT::Date, "2024-02-01"},
              {"CashAdvance", r->CashAdvance(), VT::Currency, "200"},
              {"Total", r->Total(), VT::Currency, "812.4"},
              {"AmountPaid", r->AmountPaid(), VT::Currency, "612.4"},
              {"Approved", r->Approved(), VT::Boolean, "True"},
              {"ApprovedOn", r->ApprovedOn(), VT::Date, "2024-02-09 16:45:00"},
              {"ApprovedBy", r->ApprovedBy(), VT::String, "manager"},
          });
  EXPECT_EQ(CStr(r->User(account)->UserName()), "admin");

  auto admin = IUser::Load(account, user);
  std::int32_t second =
      Insert("INSERT INTO IExpenseReport (Parent,Name) VALUES (?,'Later');", {P::Long(user)});
  Insert("INSERT INTO IExpenseReport (Parent,Name) VALUES (?,'Not mine');", {P::Long(user + 1000)});
  EXPECT_EQ(Keys(*admin->ExpenseReports(account)), (std::vector<std::int32_t>{report, second}));
}

TEST_F(ExpenseInvoiceRecordsTest, ReportDescriptionIsTextWhileExpenseDescriptionIsMemo) {
  ExpectError(
      [&] {
        Exec("INSERT INTO IExpenseReport (Parent,Description) VALUES (1,'" + std::string(256, 'd') +
             "');");
      },
      -2147217873);
  Exec("INSERT INTO IExpenseReport (Parent,Description,ApprovedBy) VALUES (1,'" +
       std::string(255, 'd') + "','" + std::string(50, 'a') + "');");
  Exec("INSERT INTO IProjectExpense (Parent,Description) VALUES (1,'" + std::string(2000, 'd') +
       "');");
  ExpectError(
      [&] {
        Exec("INSERT INTO IProjectExpense (Parent,ApprovedBy) VALUES (1,'" + std::string(31, 'a') +
             "');");
      },
      -2147217873);
}

TEST_F(ExpenseInvoiceRecordsTest, InvoiceReadsBackEveryColumn) {
  auto i = IProjectInvoice::Load(account, invoice);
  ASSERT_NE(i, nullptr);
  ExpectProperties(
      *i, {
              {"IProjectInvoiceID", i->IProjectInvoiceID(), VT::Long, std::to_string(invoice)},
              {"ProjectID", i->ProjectID(), VT::Long, std::to_string(project)},
              {"InvoiceDate", i->InvoiceDate(), VT::Date, "2024-02-29"},
              {"InvoiceNumber", i->InvoiceNumber(), VT::String, "1001"},
              {"Status", i->Status(), VT::Long, "2"},
              {"CreateDate", i->CreateDate(), VT::Date, "2024-02-29 10:00:00"},
              {"CreatedBy", i->CreatedBy(), VT::String, "admin"},
              {"LastPrinted", i->LastPrinted(), VT::Null, ""},
              {"LastPrintedBy", i->LastPrintedBy(), VT::Null, ""},
              {"LastModified", i->LastModified(), VT::Date, "2024-03-01 12:30:15"},
              {"LastModifiedBy", i->LastModifiedBy(), VT::String, "clerk"},
              {"Terms", i->Terms(), VT::String, "Net 15"},
              {"Notes", i->Notes(), VT::String, "Thank you."},
              {"Format", i->Format(), VT::Long, "3"},
          });
  auto p = i->Project(account);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p, i->Project(account));
  EXPECT_EQ(Keys(*p->Invoices(account)), (std::vector<std::int32_t>{invoice}));
}

TEST_F(ExpenseInvoiceRecordsTest, InterfaceOrderAndWidths) {
  EXPECT_EQ(MemberNames(IProjectExpense::Schema().info),
            (std::vector<std::string>{"IProjectExpenseID",
                                      "ProjectID",
                                      "Project",
                                      "ExpenseDate",
                                      "PONumber",
                                      "InvoiceNumber",
                                      "Amount",
                                      "Markup",
                                      "Description",
                                      "Billed",
                                      "Approved",
                                      "ApprovedBy",
                                      "ApprovedOn",
                                      "ExpenseType",
                                      "ExchangeRate",
                                      "PaymentType",
                                      "Establishment",
                                      "City",
                                      "Route",
                                      "Distance",
                                      "Rate",
                                      "StaffID",
                                      "Staff",
                                      "InvoiceID",
                                      "Invoice",
                                      "ExpenseReportID",
                                      "ExpenseReport",
                                      "TaxCodeID",
                                      "TaxCode"}));
  EXPECT_EQ(MemberNames(IExpenseReport::Schema().info),
            (std::vector<std::string>{"IExpenseReportID", "UserID", "User", "ReportNo", "Name",
                                      "Description", "CreateDate", "CashAdvance", "Total",
                                      "AmountPaid", "Approved", "ApprovedOn", "ApprovedBy"}));
  EXPECT_EQ(MemberNames(IProjectInvoice::Schema().info),
            (std::vector<std::string>{"IProjectInvoiceID", "ProjectID", "Project", "InvoiceDate",
                                      "InvoiceNumber", "Status", "CreateDate", "CreatedBy",
                                      "LastPrinted", "LastPrintedBy", "LastModified",
                                      "LastModifiedBy", "Terms", "Notes", "Format"}));

  EXPECT_EQ(PublishedEnum("lenIProjectExpense").members, (Members{{"lenExpenseDate", 0},
                                                                  {"lenPONumber", 50},
                                                                  {"lenInvoiceNumber", 50},
                                                                  {"lenAmount", 0},
                                                                  {"lenMarkup", 0},
                                                                  {"lenDescription", 2000},
                                                                  {"lenBilled", 0},
                                                                  {"lenApproved", 0},
                                                                  {"lenApprovedBy", 30},
                                                                  {"lenApprovedOn", 0},
                                                                  {"lenExpenseType", 0},
                                                                  {"lenExchangeRate", 0},
                                                                  {"lenPaymentType", 0},
                                                                  {"lenEstablishment", 255},
                                                                  {"lenCity", 255},
                                                                  {"lenRoute", 255},
                                                                  {"lenDistance", 0},
                                                                  {"lenRate", 0}}));
  EXPECT_EQ(PublishedEnum("lenIExpenseReport").members, (Members{{"lenReportNo", 30},
                                                                 {"lenName", 50},
                                                                 {"lenDescription", 255},
                                                                 {"lenCreateDate", 0},
                                                                 {"lenCashAdvance", 0},
                                                                 {"lenTotal", 0},
                                                                 {"lenAmountPaid", 0},
                                                                 {"lenApproved", 0},
                                                                 {"lenApprovedOn", 0},
                                                                 {"lenApprovedBy", 50}}));
  EXPECT_EQ(PublishedEnum("lenIProjectInvoice").members, (Members{{"lenInvoiceDate", 0},
                                                                  {"lenInvoiceNumber", 64},
                                                                  {"lenStatus", 0},
                                                                  {"lenCreateDate", 0},
                                                                  {"lenCreatedBy", 50},
                                                                  {"lenLastPrinted", 0},
                                                                  {"lenLastPrintedBy", 50},
                                                                  {"lenLastModified", 0},
                                                                  {"lenLastModifiedBy", 50},
                                                                  {"lenTerms", 255},
                                                                  {"lenNotes", 2000},
                                                                  {"lenFormat", 0}}));
}

TEST_F(ExpenseInvoiceRecordsTest, EveryTableExistsAndItsRecordClassIsNotCreatable) {
  const std::vector<std::string> tables = {
      "ISubScriber",    "ISubscriberLocation", "IUser",           "SysSessions",
      "CITaxCode",      "SFAProspect",         "IProject",        "IProjectStaff",
      "IProjectTask",   "IExpenseReport",      "IProjectInvoice", "IProjectTransaction",
      "IProjectExpense"};
  // Beside them, the service's own (sign-in counts and session use), the
  // firm's settings, the reasons slips were sent back and the slips' sums
  // by week.
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM sqlite_master WHERE type='table' AND name NOT "
                        "LIKE 'sqlite%' AND name NOT IN ('SignInAttempts', 'SessionUse', "
                        "'FirmSetting', 'SlipReturn', 'IProjectTransactionWeek');")),
            13);
  for (const std::string& table : tables) {
    EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM sqlite_master WHERE type='table' AND name='" +
                          table + "';")),
              1)
        << table;
    ExpectError([&] { CreateObject("BRIVOS." + table); }, 429);
  }
}

}  // namespace
}  // namespace brivos
