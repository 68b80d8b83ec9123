#include <gtest/gtest.h>

#include <ctime>

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

Date LocalNow() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return Date::FromParts(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                         tm.tm_sec);
}

// A subscriber with a tax code, a client, a second user and one project
// managed by that user, with two staff assignments and two tasks.
class ProjectRecordsTest : public testing::SubscriberTest {
 protected:
  ProjectRecordsTest() {
    sub = SubscriberId();
    admin = CLng(Scalar("SELECT IUserID FROM IUser WHERE UserName='admin';"));
    worker = AddUser("worker", "pw", true, "Walker", "Wes");
    tax = Insert(
        "INSERT INTO CITaxCode (Parent,TaxCode,Description,Tax1Rate,Tax1Name,Tax1Exempt,"
        "Tax2Rate,Tax2Name,Tax2Exempt,Tax2PiggyBack,Inactive) "
        "VALUES (?,'G','Goods and services',5.5,'GST',0,7.25,'PST',1,1,0);",
        {P::Long(sub)});
    client = Insert(
        "INSERT INTO SFAProspect (Parent,CompanyName,Address1,Address2,City,Province,PostalCode,"
        "Country,Telephone,FAX,Description,AccountNumber,BusinessNumber,Inactive,DefaultTerms,"
        "TaxCodeID) VALUES (?,'Northwind','1 Main St',NULL,'Springfield','ON','K1A 0B1',"
        "'Canada','555-0100','555-0101','Long-standing client','C-0001','BN 123',0,'Net 30',?);",
        {P::Long(sub), P::Long(tax)});
    project = Insert(
        "INSERT INTO IProject (Parent,Name,Description,CreateDate,Status,StartDate,EndDate,"
        "Billable,EstCost,EstRevenue,OTAllowed,TimeChunk,CreatorID,ManagerID,ClientID) "
        "VALUES (?,'Website','Relaunch of the shop',?,2,?,NULL,1,1500.25,3999.9999,0,15,?,?,?);",
        {P::Long(sub), P::Date(Date::FromParts(2024, 3, 5, 9, 5, 1)),
         P::Date(Date::FromParts(2024, 4, 1)), P::Long(admin), P::Long(worker), P::Long(client)});
    staff_admin = AddStaff(project, admin);
    staff_worker = AddStaff(project, worker);
    task_design = AddTask(project, "Design", Date::FromParts(2024, 4, 2), 3.0);
    task_build = AddTask(project, "Build", Date::FromParts(2024, 4, 1), 10.0);
  }

  std::int32_t Insert(const std::string& sql, std::initializer_list<Parameter> params = {}) {
    return InsertRow(account, sql, params);
  }
  std::int32_t AddProject(const std::string& name) {
    return Insert("INSERT INTO IProject (Parent,Name,Status) VALUES (?,?,2);",
                  {P::Long(sub), P::Text(name)});
  }
  std::int32_t AddStaff(std::int32_t in_project, std::int32_t user) {
    return Insert(
        "INSERT INTO IProjectStaff (Parent,Rate,Cost,OTRate,OTCost,CreateDate,UserID) "
        "VALUES (?,120,80.5,180,120.75,?,?);",
        {P::Long(in_project), P::Date(Date::FromParts(2024, 3, 6, 8, 0, 0)), P::Long(user)});
  }
  std::int32_t AddTask(std::int32_t in_project, const std::string& name, Date start,
                       double duration) {
    return Insert(
        "INSERT INTO IProjectTask (Parent,Name,PlannedStart,PlannedDuration) VALUES (?,?,?,?);",
        {P::Long(in_project), P::Text(name), P::Date(start), P::Double(duration)});
  }
  std::int32_t AddSlip(Date day, Date start, std::int32_t staff) {
    return Insert(
        "INSERT INTO IProjectTransaction (Parent,TransDate,StartTime,Status,TaskID,StaffID) "
        "VALUES (?,?,?,0,?,?);",
        {P::Long(project), P::Date(day), P::Date(start), P::Long(task_build), P::Long(staff)});
  }

  std::int32_t sub = 0, admin = 0, worker = 0, tax = 0, client = 0, project = 0;
  std::int32_t staff_admin = 0, staff_worker = 0, task_design = 0, task_build = 0;
};

TEST_F(ProjectRecordsTest, TaxCodeAndClientReadBackEveryColumn) {
  auto code = CITaxCode::Load(account, tax);
  ASSERT_NE(code, nullptr);
  ExpectProperties(*code,
                   {
                       {"CITaxCodeID", code->CITaxCodeID(), VT::Long, std::to_string(tax)},
                       {"SubscriberID", code->SubscriberID(), VT::Long, std::to_string(sub)},
                       {"TaxCode", code->TaxCode(), VT::String, "G"},
                       {"Description", code->Description(), VT::String, "Goods and services"},
                       {"Tax1Rate", code->Tax1Rate(), VT::Double, "5.5"},
                       {"Tax1Name", code->Tax1Name(), VT::String, "GST"},
                       {"Tax1Exempt", code->Tax1Exempt(), VT::Boolean, "False"},
                       {"Tax2Rate", code->Tax2Rate(), VT::Double, "7.25"},
                       {"Tax2Name", code->Tax2Name(), VT::String, "PST"},
                       {"Tax2Exempt", code->Tax2Exempt(), VT::Boolean, "True"},
                       {"Tax2PiggyBack", code->Tax2PiggyBack(), VT::Boolean, "True"},
                       {"Inactive", code->Inactive(), VT::Boolean, "False"},
                   });

  auto c = SFAProspect::Load(account, client);
  ASSERT_NE(c, nullptr);
  // The database stamps a new client with the local time of the insert.
  Variant stamp = c->LastUpdateDateTime();
  ASSERT_EQ(stamp.Type(), VT::Date);
  EXPECT_NEAR(CDate(stamp).Serial(), LocalNow().Serial(), 60.0 / 86400);
  ExpectProperties(*c, {
                           {"SFAProspectID", c->SFAProspectID(), VT::Long, std::to_string(client)},
                           {"SubscriberID", c->SubscriberID(), VT::Long, std::to_string(sub)},
                           {"CompanyName", c->CompanyName(), VT::String, "Northwind"},
                           {"Address1", c->Address1(), VT::String, "1 Main St"},
                           {"Address2", c->Address2(), VT::Null, ""},
                           {"City", c->City(), VT::String, "Springfield"},
                           {"Province", c->Province(), VT::String, "ON"},
                           {"PostalCode", c->PostalCode(), VT::String, "K1A 0B1"},
                           {"Country", c->Country(), VT::String, "Canada"},
                           {"Telephone", c->Telephone(), VT::String, "555-0100"},
                           {"FAX", c->FAX(), VT::String, "555-0101"},
                           {"Description", c->Description(), VT::String, "Long-standing client"},
                           {"AccountNumber", c->AccountNumber(), VT::String, "C-0001"},
                           {"BusinessNumber", c->BusinessNumber(), VT::String, "BN 123"},
                           {"Inactive", c->Inactive(), VT::Boolean, "False"},
                           {"LastUpdateDateTime", stamp, VT::Date, CStr(stamp)},
                           {"DefaultTerms", c->DefaultTerms(), VT::String, "Net 30"},
                           {"TaxCodeID", c->TaxCodeID(), VT::Long, std::to_string(tax)},
                       });
}

TEST_F(ProjectRecordsTest, ClientWhoseTaxCodeWentHasNoneUntilItComesBack) {
  auto c = SFAProspect::Load(account, client);
  Exec("DELETE FROM CITaxCode;");
  EXPECT_EQ(c->TaxCode(account), nullptr);
  Exec("INSERT INTO CITaxCode (CITaxCodeID,Parent,TaxCode) VALUES (" + std::to_string(tax) + "," +
       std::to_string(sub) + ",'H');");
  auto code = c->TaxCode(account);  // tried again, now found and kept
  ASSERT_NE(code, nullptr);
  EXPECT_EQ(CStr(code->TaxCode()), "H");
  Exec("UPDATE CITaxCode SET TaxCode='X';");
  EXPECT_EQ(c->TaxCode(account), code);
  EXPECT_EQ(CStr(c->TaxCode(account)->TaxCode()), "H");

  auto owner = c->Subscriber(account);
  ASSERT_NE(owner, nullptr);
  EXPECT_EQ(CStr(owner->AccountNo()), "A100");
  EXPECT_EQ(CStr(code->Subscriber(account)->CompanyName()), "Acme Consulting");
}

TEST_F(ProjectRecordsTest, TaxCodeIsOneCharacterAndClientWidthsAreTheirOwn) {
  ExpectError([&] { Exec("INSERT INTO CITaxCode (Parent,TaxCode) VALUES (1,'GS');"); },
              -2147217873);
  // City is 255 wide on clients (50 on locations), Province 16 (50 there).
  Exec("INSERT INTO SFAProspect (Parent,City) VALUES (1,'" + std::string(255, 'c') + "');");
  ExpectError(
      [&] {
        Exec("INSERT INTO SFAProspect (Parent,Province) VALUES (1,'" + std::string(17, 'p') +
             "');");
      },
      -2147217873);

  std::vector<std::pair<std::string, std::int32_t>> prospect = {
      {"lenCompanyName", 255},  {"lenAddress1", 255},         {"lenAddress2", 255},
      {"lenCity", 255},         {"lenProvince", 16},          {"lenPostalCode", 10},
      {"lenCountry", 30},       {"lenTelephone", 28},         {"lenFAX", 28},
      {"lenDescription", 2000}, {"lenAccountNumber", 128},    {"lenBusinessNumber", 128},
      {"lenInactive", 0},       {"lenLastUpdateDateTime", 0}, {"lenDefaultTerms", 255}};
  EXPECT_EQ(PublishedEnum("lenSFAProspect").members, prospect);
  std::vector<std::pair<std::string, std::int32_t>> code = {
      {"lenTaxCode", 1},       {"lenDescription", 255}, {"lenTax1Rate", 0},   {"lenTax1Name", 255},
      {"lenTax1Exempt", 0},    {"lenTax2Rate", 0},      {"lenTax2Name", 255}, {"lenTax2Exempt", 0},
      {"lenTax2PiggyBack", 0}, {"lenInactive", 0}};
  EXPECT_EQ(PublishedEnum("lenCITaxCode").members, code);
}

TEST_F(ProjectRecordsTest, ProjectReadsBackEveryColumnAndItsOwners) {
  auto p = IProject::Load(account, project);
  ASSERT_NE(p, nullptr);
  ExpectProperties(*p, {
                           {"IProjectID", p->IProjectID(), VT::Long, std::to_string(project)},
                           {"SubscriberID", p->SubscriberID(), VT::Long, std::to_string(sub)},
                           {"Name", p->Name(), VT::String, "Website"},
                           {"Description", p->Description(), VT::String, "Relaunch of the shop"},
                           {"CreateDate", p->CreateDate(), VT::Date, "2024-03-05 09:05:01"},
                           {"Status", p->Status(), VT::Long, "2"},
                           {"StartDate", p->StartDate(), VT::Date, "2024-04-01"},
                           {"EndDate", p->EndDate(), VT::Null, ""},
                           {"Billable", p->Billable(), VT::Boolean, "True"},
                           {"EstCost", p->EstCost(), VT::Currency, "1500.25"},
                           {"EstRevenue", p->EstRevenue(), VT::Currency, "3999.9999"},
                           {"OTAllowed", p->OTAllowed(), VT::Boolean, "False"},
                           {"TimeChunk", p->TimeChunk(), VT::Long, "15"},
                           {"CreatorID", p->CreatorID(), VT::Long, std::to_string(admin)},
                           {"ManagerID", p->ManagerID(), VT::Long, std::to_string(worker)},
                           {"ClientID", p->ClientID(), VT::Long, std::to_string(client)},
                       });

  EXPECT_EQ(CStr(p->Creator(account)->UserName()), "admin");
  EXPECT_EQ(CStr(p->Manager(account)->UserName()), "worker");
  EXPECT_EQ(CStr(p->Client(account)->CompanyName()), "Northwind");
  EXPECT_EQ(CLng(p->Subscriber(account)->ISubScriberID()), sub);
  std::vector<Variant> acct{account};
  auto manager = p->Invoke("Manager", acct).AsObject();
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(manager->ClassName(), "IUser");
  EXPECT_EQ(manager, p->Manager(account));  // the cached object, also late-bound
}

TEST_F(ProjectRecordsTest, StaffTaskAndSlipReadBackEveryColumn) {
  auto s = IProjectStaff::Load(account, staff_worker);
  ASSERT_NE(s, nullptr);
  ExpectProperties(
      *s, {
              {"IProjectStaffID", s->IProjectStaffID(), VT::Long, std::to_string(staff_worker)},
              {"ProjectID", s->ProjectID(), VT::Long, std::to_string(project)},
              {"Rate", s->Rate(), VT::Currency, "120"},
              {"Cost", s->Cost(), VT::Currency, "80.5"},
              {"OTRate", s->OTRate(), VT::Currency, "180"},
              {"OTCost", s->OTCost(), VT::Currency, "120.75"},
              {"CreateDate", s->CreateDate(), VT::Date, "2024-03-06 08:00:00"},
              {"UserID", s->UserID(), VT::Long, std::to_string(worker)},
          });
  EXPECT_EQ(CStr(s->User(account)->UserName()), "worker");
  EXPECT_EQ(CStr(s->Project(account)->Name()), "Website");

  std::int32_t task = Insert(
      "INSERT INTO IProjectTask (Parent,Name,Description,EffectiveDate,Inactive,PlannedStart,"
      "PlannedDuration,PlannedFinish) VALUES (?,'Test','Acceptance tests',?,1,?,2.5,?);",
      {P::Long(project), P::Date(Date::FromParts(2024, 5, 1)),
       P::Date(Date::FromParts(2024, 5, 2, 9, 0, 0)), P::Date(Date::FromParts(2024, 5, 4))});
  auto t = IProjectTask::Load(account, task);
  ASSERT_NE(t, nullptr);
  ExpectProperties(*t, {
                           {"IProjectTaskID", t->IProjectTaskID(), VT::Long, std::to_string(task)},
                           {"ProjectID", t->ProjectID(), VT::Long, std::to_string(project)},
                           {"Name", t->Name(), VT::String, "Test"},
                           {"Description", t->Description(), VT::String, "Acceptance tests"},
                           {"EffectiveDate", t->EffectiveDate(), VT::Date, "2024-05-01"},
                           {"Inactive", t->Inactive(), VT::Boolean, "True"},
                           {"PlannedStart", t->PlannedStart(), VT::Date, "2024-05-02 09:00:00"},
                           {"PlannedDuration", t->PlannedDuration(), VT::Double, "2.5"},
                           {"PlannedFinish", t->PlannedFinish(), VT::Date, "2024-05-04"},
                       });

  std::int32_t invoice = Insert(
      "INSERT INTO IProjectInvoice (Parent,InvoiceNumber,Status) "
      "VALUES (?,'INV-7',0);",
      {P::Long(project)});
  std::int32_t slip = Insert(
      "INSERT INTO IProjectTransaction (Parent,TransDate,StartTime,StopTime,Description,"
      "StaffRate,StaffCost,OTCost,OTRate,Error,Status,ApprovedBy,ApprovedOn,OverTime,TaskID,"
      "StaffID,InvoiceID) VALUES (?,?,?,?,'Wireframes',95,60,90.5,142.5,'',3,'admin',?,1,?,?,?);",
      {P::Long(project), P::Date(Date::FromParts(2024, 4, 3)),
       P::Date(Date::FromParts(2024, 4, 3, 9, 0, 0)),
       P::Date(Date::FromParts(2024, 4, 3, 11, 30, 0)),
       P::Date(Date::FromParts(2024, 4, 4, 17, 0, 5)), P::Long(task_design), P::Long(staff_worker),
       P::Long(invoice)});
  auto x = IProjectTransaction::Load(account, slip);
  ASSERT_NE(x, nullptr);
  ExpectProperties(
      *x, {
              {"IProjectTransactionID", x->IProjectTransactionID(), VT::Long, std::to_string(slip)},
              {"ProjectID", x->ProjectID(), VT::Long, std::to_string(project)},
              {"TransDate", x->TransDate(), VT::Date, "2024-04-03"},
              {"StartTime", x->StartTime(), VT::Date, "2024-04-03 09:00:00"},
              {"StopTime", x->StopTime(), VT::Date, "2024-04-03 11:30:00"},
              {"Description", x->Description(), VT::String, "Wireframes"},
              {"StaffRate", x->StaffRate(), VT::Currency, "95"},
              {"StaffCost", x->StaffCost(), VT::Currency, "60"},
              {"OTCost", x->OTCost(), VT::Currency, "90.5"},
              {"OTRate", x->OTRate(), VT::Currency, "142.5"},
              {"Error", x->Error(), VT::String, ""},
              {"Status", x->Status(), VT::Long, "3"},
              {"ApprovedBy", x->ApprovedBy(), VT::String, "admin"},
              {"ApprovedOn", x->ApprovedOn(), VT::Date, "2024-04-04 17:00:05"},
              {"OverTime", x->OverTime(), VT::Boolean, "True"},
              {"TaskID", x->TaskID(), VT::Long, std::to_string(task_design)},
              {"StaffID", x->StaffID(), VT::Long, std::to_string(staff_worker)},
              {"InvoiceID", x->InvoiceID(), VT::Long, std::to_string(invoice)},
          });
  EXPECT_EQ(CStr(x->Task(account)->Name()), "Design");
  EXPECT_EQ(CLng(x->Staff(account)->UserID()), worker);
  EXPECT_EQ(CStr(x->Invoice(account)->InvoiceNumber()), "INV-7");
  EXPECT_EQ(CLng(x->Project(account)->IProjectID()), project);
}

TEST_F(ProjectRecordsTest, CollectionsComeInTheirOrders) {
  // Out of order on purpose: by day, then start time, then staff assignment.
  Date d1 = Date::FromParts(2024, 4, 1), d2 = Date::FromParts(2024, 4, 2);
  std::int32_t late = AddSlip(d2, Date::FromParts(2024, 4, 2, 14, 0, 0), staff_admin);
  std::int32_t early_worker = AddSlip(d2, Date::FromParts(2024, 4, 2, 8, 0, 0), staff_worker);
  std::int32_t early_admin = AddSlip(d2, Date::FromParts(2024, 4, 2, 8, 0, 0), staff_admin);
  std::int32_t first_day = AddSlip(d1, Date::FromParts(2024, 4, 1, 16, 0, 0), staff_worker);
  auto p = IProject::Load(account, project);
  EXPECT_EQ(Keys(*p->Transactions(account)),
            (std::vector<std::int32_t>{first_day, early_admin, early_worker, late}));

  // Tasks by planned start, then planned duration.
  std::int32_t short_build = AddTask(project, "Quick fix", Date::FromParts(2024, 4, 1), 1.0);
  EXPECT_EQ(Keys(*p->Tasks(account)),
            (std::vector<std::int32_t>{short_build, task_build, task_design}));

  // Staff, invoices and expenses come in the database's order.
  EXPECT_EQ(Keys(*p->Staff(account)), (std::vector<std::int32_t>{staff_admin, staff_worker}));
  std::int32_t inv1 =
      Insert("INSERT INTO IProjectInvoice (Parent,Status) VALUES (?,1);", {P::Long(project)});
  std::int32_t inv2 =
      Insert("INSERT INTO IProjectInvoice (Parent,Status) VALUES (?,0);", {P::Long(project)});
  EXPECT_EQ(Keys(*p->Invoices(account)), (std::vector<std::int32_t>{inv1, inv2}));
  std::int32_t e1 =
      Insert("INSERT INTO IProjectExpense (Parent,Amount) VALUES (?,5);", {P::Long(project)});
  EXPECT_EQ(Keys(*p->Expenses(account)), (std::vector<std::int32_t>{e1}));

  // Only this project's rows; a project with no staff has an empty list.
  auto other = IProject::Load(account, AddProject("Other"));
  EXPECT_EQ(other->Staff(account)->Count(), 0);
  EXPECT_EQ(other->Transactions(account)->Count(), 0);

  // The subscriber's lists: every project, every tax code, clients by name.
  Insert("INSERT INTO SFAProspect (Parent,CompanyName) VALUES (?,'zenith');", {P::Long(sub)});
  std::int32_t acme =
      Insert("INSERT INTO SFAProspect (Parent,CompanyName) VALUES (?,'Acme');", {P::Long(sub)});
  auto owner = ISubScriber::Load(account, sub);
  std::vector<std::string> names;
  auto prospects = owner->Prospects(account);
  for (const Variant& item : prospects->Items()) {
    names.push_back(CStr(std::static_pointer_cast<SFAProspect>(item.AsObject())->CompanyName()));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Acme", "Northwind", "zenith"}));
  EXPECT_EQ(CLng(owner->Prospects(account)->ItemAs<SFAProspect>(1)->SFAProspectID()), acme);
  EXPECT_EQ(owner->Projects(account)->Count(), 2);
  EXPECT_EQ(Keys(*owner->TaxCodes(account)), (std::vector<std::int32_t>{tax}));
  std::vector<Variant> acct{account};
  auto late_bound = owner->Invoke("Projects", acct).AsObject();
  std::vector<Variant> key{Variant(std::to_string(project))};
  EXPECT_EQ(late_bound->Invoke("Item", key).AsObject()->ClassName(), "IProject");
}

TEST_F(ProjectRecordsTest, SingleRecordsAreCachedCollectionsReadAgain) {
  std::int32_t slip =
      AddSlip(Date::FromParts(2024, 4, 1), Date::FromParts(2024, 4, 1, 9, 0, 0), staff_admin);
  auto x = IProjectTransaction::Load(account, slip);
  auto task = x->Task(account);
  ASSERT_NE(task, nullptr);
  Exec("UPDATE IProjectTask SET Name='Renamed';");
  EXPECT_EQ(x->Task(account), task);
  EXPECT_EQ(CStr(x->Task(account)->Name()), "Build");

  auto p = IProject::Load(account, project);
  auto first = p->Tasks(account);
  AddTask(project, "Later", Date::FromParts(2024, 6, 1), 1.0);
  auto second = p->Tasks(account);
  EXPECT_NE(first, second);
  EXPECT_EQ(first->Count(), 2);
  EXPECT_EQ(second->Count(), 3);
  EXPECT_EQ(CStr(second->ItemAs<IProjectTask>(1)->Name()), "Renamed");
}

TEST_F(ProjectRecordsTest, NullForeignKeysAndUnloadedRecordsGiveNoObject) {
  std::int32_t slip =
      AddSlip(Date::FromParts(2024, 4, 1), Date::FromParts(2024, 4, 1, 9, 0, 0), staff_admin);
  auto x = IProjectTransaction::Load(account, slip);
  EXPECT_TRUE(x->StopTime().IsNull());
  EXPECT_TRUE(x->InvoiceID().IsNull());
  EXPECT_EQ(x->Invoice(account), nullptr);
  std::vector<Variant> acct{account};
  EXPECT_TRUE(x->Invoke("Invoice", acct).IsNothing());

  auto bare = IProject::Load(account, AddProject("Bare"));
  EXPECT_EQ(bare->Manager(account), nullptr);
  EXPECT_EQ(bare->Client(account), nullptr);
  EXPECT_EQ(bare->Creator(account), nullptr);

  // A key that names no row: no object, and nothing raised.
  Exec("UPDATE IProject SET ManagerID=99999 WHERE IProjectID=" + std::to_string(project));
  EXPECT_EQ(IProject::Load(account, project)->Manager(account), nullptr);

  IProjectTransaction blank;
  EXPECT_TRUE(blank.StaffID().IsEmpty());
  EXPECT_EQ(blank.Staff(account), nullptr);
  EXPECT_TRUE(blank.Invoke("Project", acct).IsNothing());
  SFAProspect blank_client;
  EXPECT_EQ(blank_client.TaxCode(account), nullptr);
}

TEST_F(ProjectRecordsTest, MembersComeInInterfaceOrder) {
  EXPECT_EQ(MemberNames(IProject::Schema().info),
            (std::vector<std::string>{
                "IProjectID", "SubscriberID", "Subscriber", "Name",      "Description",
                "CreateDate", "Status",       "StartDate",  "EndDate",   "Billable",
                "EstCost",    "EstRevenue",   "OTAllowed",  "TimeChunk", "CreatorID",
                "Creator",    "ManagerID",    "Manager",    "ClientID",  "Client",
                "Staff",      "Transactions", "Tasks",      "Invoices",  "Expenses"}));
  EXPECT_EQ(MemberNames(IProjectTransaction::Schema().info),
            (std::vector<std::string>{"IProjectTransactionID",
                                      "ProjectID",
                                      "Project",
                                      "TransDate",
                                      "StartTime",
                                      "StopTime",
                                      "Description",
                                      "StaffRate",
                                      "StaffCost",
                                      "OTCost",
                                      "OTRate",
                                      "Error",
                                      "Status",
                                      "ApprovedBy",
                                      "ApprovedOn",
                                      "OverTime",
                                      "TaskID",
                                      "Task",
                                      "StaffID",
                                      "Staff",
                                      "InvoiceID",
                                      "Invoice"}));
  EXPECT_EQ(MemberNames(SFAProspect::Schema().info),
            (std::vector<std::string>{
                "SFAProspectID",      "SubscriberID",  "Subscriber",     "CompanyName",
                "Address1",           "Address2",      "City",           "Province",
                "PostalCode",         "Country",       "Telephone",      "FAX",
                "Description",        "AccountNumber", "BusinessNumber", "Inactive",
                "LastUpdateDateTime", "DefaultTerms",  "TaxCodeID",      "TaxCode"}));
  EXPECT_EQ(MemberNames(IProjectStaff::Schema().info),
            (std::vector<std::string>{"IProjectStaffID", "ProjectID", "Project", "Rate", "Cost",
                                      "OTRate", "OTCost", "CreateDate", "UserID", "User"}));
  EXPECT_EQ(
      MemberNames(ISubScriber::Schema().info),
      (std::vector<std::string>{"ISubScriberID", "CompanyName", "AccountNo", "NextInvoiceNumber",
                                "NextExpenseReportNumber", "NextClientAccountNumber", "MileageRate",
                                "DefaultTerms", "DefaultInvoiceNotes", "DefaultInvoiceFormat",
                                "Users", "Projects", "Locations", "TaxCodes", "Prospects"}));
  EXPECT_EQ(MemberNames(IUser::Schema().info).back(), "ExpenseReports");
  EXPECT_EQ(IProjectTransaction::Schema().select,
            "SELECT IProjectTransactionID,Parent,TransDate,StartTime,StopTime,Description,"
            "StaffRate,StaffCost,OTCost,OTRate,Error,Status,ApprovedBy,ApprovedOn,OverTime,"
            "TaskID,StaffID,InvoiceID FROM IProjectTransaction");
}

TEST_F(ProjectRecordsTest, WidthEnumerationsLeaveOutKeysOwnersAndForeignKeys) {
  using Members = std::vector<std::pair<std::string, std::int32_t>>;
  EXPECT_EQ(PublishedEnum("lenIProject").members, (Members{{"lenName", 255},
                                                           {"lenDescription", 2000},
                                                           {"lenCreateDate", 0},
                                                           {"lenStatus", 0},
                                                           {"lenStartDate", 0},
                                                           {"lenEndDate", 0},
                                                           {"lenBillable", 0},
                                                           {"lenEstCost", 0},
                                                           {"lenEstRevenue", 0},
                                                           {"lenOTAllowed", 0},
                                                           {"lenTimeChunk", 0}}));
  EXPECT_EQ(PublishedEnum("lenIProjectStaff").members, (Members{{"lenRate", 0},
                                                                {"lenCost", 0},
                                                                {"lenOTRate", 0},
                                                                {"lenOTCost", 0},
                                                                {"lenCreateDate", 0}}));
  EXPECT_EQ(PublishedEnum("lenIProjectTask").members, (Members{{"lenName", 255},
                                                               {"lenDescription", 2000},
                                                               {"lenEffectiveDate", 0},
                                                               {"lenInactive", 0},
                                                               {"lenPlannedStart", 0},
                                                               {"lenPlannedDuration", 0},
                                                               {"lenPlannedFinish", 0}}));
  EXPECT_EQ(PublishedEnum("lenIProjectTransaction").members, (Members{{"lenTransDate", 0},
                                                                      {"lenStartTime", 0},
                                                                      {"lenStopTime", 0},
                                                                      {"lenDescription", 2000},
                                                                      {"lenStaffRate", 0},
                                                                      {"lenStaffCost", 0},
                                                                      {"lenOTCost", 0},
                                                                      {"lenOTRate", 0},
                                                                      {"lenError", 255},
                                                                      {"lenStatus", 0},
                                                                      {"lenApprovedBy", 30},
                                                                      {"lenApprovedOn", 0},
                                                                      {"lenOverTime", 0}}));
}

// Key and owner lookups must not scan: a subscriber with a million slips
// still answers them at once.
// Columns with one value per subscriber file (Parent of the subscriber's own
// tables) or a handful (Status) get no index of their own: a search through
// one reads every row, slower than the scan.
TEST_F(ProjectRecordsTest, FilteredColumnsAreIndexed) {
  const std::vector<std::pair<std::string, std::string>> lookups = {
      {"IUser", "UserName='admin'"},
      {"IUser", "ReportsToID=1"},
      {"SysSessions", "UserName='admin' AND Account='x'"},
      {"SysSessions", "Token='x'"},
      {"IProject", "ClientID=1"},
      {"IProject", "ManagerID=1"},
      {"IProjectStaff", "Parent=1"},
      {"IProjectStaff", "UserID=1"},
      {"IProjectTask", "Parent=1"},
      {"IProjectTransaction", "Parent=1"},
      {"IProjectTransaction", "StaffID=1"},
      {"IProjectTransaction", "TaskID=1"},
      {"IProjectTransaction", "InvoiceID=1"},
      {"IProjectExpense", "Parent=1"},
      {"IProjectExpense", "StaffID=1"},
      {"IProjectExpense", "InvoiceID=1"},
      {"IProjectExpense", "ExpenseReportID=1"},
      {"IExpenseReport", "Parent=1"},
      {"IProjectInvoice", "Parent=1"},
  };
  Connection db = Connection::Open(account);
  for (const auto& [table, filter] : lookups) {
    auto plan = db.Query("EXPLAIN QUERY PLAN SELECT * FROM " + table + " WHERE " + filter + ";");
    std::string detail;
    for (; !plan->Eof(); plan->MoveNext()) detail += CStr(plan->Field("detail")) + "\n";
    EXPECT_NE(detail.find("USING INDEX"), std::string::npos) << table << " " << filter << "\n"
                                                             << detail;
  }
}

}  // namespace
}  // namespace brivos
