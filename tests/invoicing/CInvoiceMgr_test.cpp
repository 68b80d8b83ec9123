#include <gtest/gtest.h>
#include <sys/wait.h>
#include <csignal>
#include <unistd.h>

#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/invoicing/InvoiceFixture.hpp"

namespace brivos {
namespace {

using testing::ExpectError;
using testing::RaisedNumber;

TEST_F(InvoiceTest, ApprovedLinesOnOrBeforeTheCutoffAreBilledOncePerProject) {
  const std::int32_t client = Client();
  const std::int32_t both = Project(client), slips_only = Project(client),
                     expenses_only = Project(client), late = Project(client),
                     unbillable = Project(client, 2, false), finished = Project(client, 5);
  const std::int32_t on_cutoff = Slip(both, 10), after = Slip(both, 11);
  for (int status : {0, 1, 4}) Slip(both, 5, status);
  Expense(both, 3);
  Expense(both, 3, false);  // not approved
  Slip(slips_only, 1);
  Expense(expenses_only, 2);
  Slip(late, 12);
  Slip(unbillable, 1);
  Slip(finished, 1);
  Exec("UPDATE IProjectTransaction SET TransDate=NULL WHERE IProjectTransactionID=" +
       std::to_string(Slip(late, 1)));  // no date: never collected

  InvoiceAll();
  EXPECT_EQ(Invoices(), 3);
  EXPECT_EQ(NextNumber(), 4);
  Variant on(on_cutoff), off(after);
  EXPECT_EQ(CLng(projects.GetTransaction(account, user, token, on)->Status()), 3);
  EXPECT_EQ(CLng(projects.GetTransaction(account, user, token, off)->Status()), 2);
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM IProjectTransaction WHERE Status IN (0,1,4)")), 3);
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM IProjectExpense WHERE Billed=1")), 2);
  const std::vector<std::string> numbers = {"1", "2", "3"};
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    EXPECT_EQ(CStr(Scalar("SELECT InvoiceNumber FROM IProjectInvoice ORDER BY IProjectInvoiceID "
                          "LIMIT 1 OFFSET " +
                          std::to_string(i))),
              numbers[i]);
  }
  Variant invoice(InvoiceOf(both));
  auto record = mgr.GetInvoice(account, user, token, invoice);
  EXPECT_EQ(CStr(record->Terms()), "Net 30");
  EXPECT_EQ(CStr(record->CreatedBy()), "admin");
  EXPECT_EQ(CLng(record->Status()), 0);

  // A second run finds nothing new; a selected run invoices the finished
  // project but never the unbillable one, even when listed twice.
  InvoiceAll(31);
  EXPECT_EQ(Invoices(), 5);  // the late slips of `late` and `both`
  InvoiceSelected(std::to_string(finished) + "|" + std::to_string(unbillable) + "|" +
                  std::to_string(finished));
  EXPECT_EQ(Invoices(), 6);
  InvoiceSelected("");
  EXPECT_EQ(Invoices(), 6);
}

TEST_F(InvoiceTest, BadInputStopsTheRunBeforeAnythingIsInvoiced) {
  const std::int32_t project = Project(Client());
  Slip(project, 1);
  const std::string id = std::to_string(project);
  struct Case {
    std::string projects;
    std::int32_t number;
  };
  for (const Case& c : std::vector<Case>{
           {id + "|", 13}, {id + "|5 OR 1=1", 13}, {id + "|1.5", 13}, {id + "|999", 9}}) {
    EXPECT_EQ(RaisedNumber([&] { InvoiceSelected(c.projects); }), c.number) << c.projects;
  }
  Variant bad_cutoff("someday"), stranger("nobody"), cutoff(Date::FromParts(2024, 3, 10)), list(id);
  EXPECT_EQ(RaisedNumber([&] { mgr.InvoiceAllProjects(account, user, token, bad_cutoff); }), 13);
  EXPECT_EQ(
      RaisedNumber([&] { mgr.InvoiceSelectedProjects(account, user, token, list, bad_cutoff); }),
      13);
  EXPECT_EQ(RaisedNumber([&] { mgr.InvoiceAllProjects(account, stranger, token, cutoff); }), 91);
  EXPECT_EQ(Invoices(), 0);
  EXPECT_EQ(NextNumber(), 1);
}

TEST_F(InvoiceTest, AFailingProjectIsLeftAsItWasAndEarlierOnesKeepTheirInvoices) {
  const std::int32_t client = Client();
  const std::int32_t first = Project(client), broken = Project(client), after = Project(client);
  Slip(first, 1);
  Slip(broken, 1);
  Expense(broken, 1);
  Slip(after, 1);
  Exec("UPDATE IProject SET ClientID=999 WHERE IProjectID=" + std::to_string(broken));
  EXPECT_EQ(RaisedNumber([&] { InvoiceAll(); }), 91);
  EXPECT_EQ(Invoices(), 1);
  EXPECT_EQ(NextNumber(), 2);  // the broken project's number was handed back
  // The run stops at the failing project.
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM IProjectTransaction WHERE Status=2")), 2);
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM IProjectExpense WHERE Billed=0")), 1);
}

TEST_F(InvoiceTest, ConcurrentRunsBillEveryLineOnceWithConsecutiveNumbers) {
  const std::int32_t client = Client();
  for (int p = 0; p < 6; ++p) {
    const std::int32_t project = Project(client);
    for (int d = 1; d <= 5; ++d) Slip(project, d);
    Expense(project, 2);
  }
  // Two processes and two threads at once. The processes are forked first,
  // while this one has no other thread and no open connection to hand down.
  ReleaseIdleConnections();
  std::vector<pid_t> children;
  for (int i = 0; i < 2; ++i) {
    const pid_t child = fork();
    if (child == 0) {
      int code = RaisedNumber([&] { InvoiceAll(); }) == 0 ? 0 : 1;
      _exit(code);
    }
    children.push_back(child);
  }
  // Each thread's record holds the invoices its own run made, none twice.
  std::vector<std::int32_t> made[2];
  std::vector<std::thread> threads;
  for (int i = 0; i < 2; ++i) {
    threads.emplace_back([&, i] {
      const InvoiceRunRecord record;
      InvoiceAll();
      made[i] = record.Made();
    });
  }
  for (auto& t : threads) t.join();
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(Invoices(), 6);
  EXPECT_EQ(NextNumber(), 7);
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(DISTINCT InvoiceNumber) FROM IProjectInvoice")), 6);
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM IProjectTransaction t JOIN IProjectInvoice i ON "
                        "i.IProjectInvoiceID=t.InvoiceID AND i.Parent=t.Parent WHERE t.Status=3")),
            30);
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM IProjectExpense WHERE Billed=1")), 6);
  std::set<std::int32_t> recorded;
  for (const auto& run : made) {
    for (const std::int32_t invoice : run) {
      EXPECT_TRUE(recorded.insert(invoice).second) << invoice;
      EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM IProjectInvoice WHERE IProjectInvoiceID=" +
                            std::to_string(invoice))),
                1);
    }
  }
  EXPECT_LE(recorded.size(), 6u);
}

TEST_F(InvoiceTest, ARunKilledAtAnyMomentLeavesEveryProjectWholeAndNoNumberTwice) {
  constexpr int kProjects = 150, kSlips = 2;
  const std::int32_t client = Client();
  for (int p = 0; p < kProjects; ++p) {
    const std::int32_t project = Project(client);
    for (int d = 1; d <= kSlips; ++d) Slip(project, d);
  }
  // Each child goes on where the last one was killed, given longer each
  // time, until one finishes the run; it commits every 10 ms, so that kills
  // land between its groups too.
  setenv("BRIVOS_RUN_COMMIT_MS", "10", 1);
  bool finished = false, partial = false;
  for (double ms = 3; !finished; ms *= 1.5) {
    ReleaseIdleConnections();  // no connection crosses the fork
    const pid_t child = fork();
    if (child == 0) _exit(RaisedNumber([&] { InvoiceAll(); }) == 0 ? 0 : 1);
    usleep(static_cast<useconds_t>(ms * 1000));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    finished = WIFEXITED(status);
    ASSERT_TRUE(!finished || WEXITSTATUS(status) == 0);
    const int invoices = Invoices();
    partial = partial || (invoices > 0 && invoices < kProjects);
    SCOPED_TRACE("killed after " + std::to_string(ms) + " ms, " + std::to_string(invoices) +
                 " invoices");
    // Every slip is unbilled, or billed on an invoice of its project that
    // holds all the project's slips; numbers run 1, 2, ... with none repeated.
    EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM IProjectTransaction t WHERE NOT ((Status=2 AND "
                          "InvoiceID IS NULL) OR (Status=3 AND (SELECT COUNT(*) FROM "
                          "IProjectTransaction o WHERE o.InvoiceID=t.InvoiceID AND "
                          "o.Parent=t.Parent)=" +
                          std::to_string(kSlips) + "))")),
              0);
    EXPECT_EQ(CLng(Scalar("SELECT COUNT(DISTINCT InvoiceNumber) FROM IProjectInvoice")), invoices);
    EXPECT_EQ(NextNumber(), invoices + 1);
    for (const char* which : {"MIN", "MAX"}) {
      if (invoices == 0) break;
      const std::string sql = std::string("SELECT ") + which + "(IProjectInvoiceID) FROM IProjectInvoice";
      EXPECT_EQ(Total(CLng(Scalar(sql))), Currency::FromScaled(2773440));
    }
  }
  EXPECT_EQ(Invoices(), kProjects);
  unsetenv("BRIVOS_RUN_COMMIT_MS");
  EXPECT_TRUE(partial) << "no kill landed inside the run";
}

TEST_F(InvoiceTest, ListsFollowTheStatusAndDeletionReleasesTheLines) {
  const std::int32_t client = Client(), other = Client();
  const std::int32_t project = Project(client);
  Slip(project, 1);
  Expense(project, 1);
  InvoiceAll();
  Variant invoice(InvoiceOf(project)), mine(client), theirs(other);
  const auto counts = [&] {
    return std::vector<int>{mgr.GetTrialInvoices(account, user, token)->Count(),
                            mgr.GetClientTrialInvoices(account, user, token, mine)->Count(),
                            mgr.GetClientTrialInvoices(account, user, token, theirs)->Count(),
                            mgr.GetApprovedInvoices(account, user, token)->Count(),
                            mgr.GetClientApprovedInvoices(account, user, token, mine)->Count(),
                            mgr.GetIssuedInvoices(account, user, token)->Count(),
                            mgr.GetClientIssuedInvoices(account, user, token, mine)->Count()};
  };
  EXPECT_EQ(counts(), (std::vector<int>{1, 1, 0, 0, 0, 0, 0}));
  SetClock([] { return Date::FromParts(2024, 4, 1, 12, 0, 0); });
  for (int status : {1, 2}) {
    Variant number("INV-9"), st(status), terms("Net 10"), notes("n"), format(1), clerk("clerk");
    mgr.UpdateInvoice(account, clerk, token, invoice, number, st, terms, notes, format);
  }
  SetClock(nullptr);
  EXPECT_EQ(counts(), (std::vector<int>{0, 0, 0, 0, 0, 1, 1}));
  auto record = mgr.GetInvoice(account, user, token, invoice);
  EXPECT_EQ(CStr(record->LastModifiedBy()), "clerk");
  EXPECT_EQ(CDate(record->LastModified()), Date::FromParts(2024, 4, 1, 12, 0, 0));
  EXPECT_EQ(CStr(record->CreatedBy()), "admin");
  Variant task_id(task[project]);
  EXPECT_EQ(mgr.GetInvoiceTransactionsByTask(account, user, token, task_id, invoice)->Count(), 1);

  mgr.DeleteInvoice(account, user, token, invoice);  // issued: deleted all the same
  EXPECT_EQ(mgr.GetInvoiceTransactions(account, user, token, invoice)->Count(), 0);
  EXPECT_EQ(mgr.GetInvoiceExpenses(account, user, token, invoice)->Count(), 0);
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM IProjectTransaction WHERE Status=2 AND InvoiceID "
                        "IS NULL")),
            1);
  EXPECT_EQ(RaisedNumber([&] { mgr.GetInvoice(account, user, token, invoice); }), 9);
  Variant text("1 OR 1=1");
  for (const char* method : {"GetInvoice", "DeleteInvoice", "GetInvoiceTransactions",
                             "GetInvoiceExpenses", "GetClientTrialInvoices", "GetInvoiceTotal"}) {
    std::vector<Variant> args{account, user, token, text};
    EXPECT_EQ(RaisedNumber([&] { CreateObject("BRIVOS.CInvoiceMgr")->Invoke(method, args); }), 13)
        << method;
  }
  Exec("DELETE FROM ISubScriber");
  EXPECT_EQ(RaisedNumber([&] { mgr.GetApprovedInvoices(account, user, token); }), 91);
}

TEST_F(InvoiceTest, TotalsAreExactCurrency) {
  struct Case {
    const char* name;
    bool piggy, tax1_exempt;
    std::vector<std::vector<int>> slips;  // start h, m, stop h, m, overtime
    bool expense;
    std::int64_t total;  // ten-thousandths
  };
  const std::vector<Case> cases = {
      {"worked example", true, false, {{9, 0, 10, 30, 0}}, true, 1991720},
      {"without piggy-backing", false, false, {{9, 0, 10, 30, 0}}, true, 1985000},
      {"three thirds of an hour at 10", true, false, {}, false, 106998},
      {"overtime rate", false, true, {{9, 0, 10, 0, 1}}, false, 1296000},
      {"tax 1 exempt, piggy-backed", true, true, {{9, 0, 10, 0, 0}}, false, 864000},
      {"stop before start", false, true, {{10, 0, 9, 0, 0}}, false, -864000},
      {"nothing billed", true, false, {}, false, 0},
  };
  for (const Case& c : cases) {
    const std::int32_t project = Project(Client(c.piggy, c.tax1_exempt));
    for (const auto& s : c.slips) Slip(project, 1, 2, s[0], s[1], s[2], s[3], 80, s[4] != 0);
    if (std::string(c.name) == "three thirds of an hour at 10") {
      Exec(
          "UPDATE CITaxCode SET Tax2Rate=0 WHERE CITaxCodeID=(SELECT MAX(CITaxCodeID) FROM "
          "CITaxCode)");
      for (int i = 0; i < 3; ++i) Slip(project, 1, 2, 9, 0, 9, 20, 10);
    }
    if (c.expense) Expense(project, 1);
    if (c.total != 0) {
      InvoiceSelected(std::to_string(project));
    } else {
      Exec("INSERT INTO IProjectInvoice (Parent,Status) VALUES (" + std::to_string(project) +
           ",0)");
    }
    EXPECT_EQ(Total(InvoiceOf(project)).Scaled(), c.total) << c.name;
  }
  // Whole-minute boundaries: 10:00:59 to 10:01:00 is one minute.
  const std::int32_t project = Project(Client(false, true));
  Slip(project, 1, 2, 10, 0, 10, 1, 60);
  InvoiceSelected(std::to_string(project));
  const std::int32_t invoice = InvoiceOf(project);
  Exec("UPDATE IProjectTransaction SET StartTime=StartTime+58.0/86400 WHERE InvoiceID=" +
       std::to_string(invoice));
  EXPECT_EQ(Total(invoice).Scaled(), 10800);  // one minute at 60 plus 8 % tax 2
  // A client gone: no tax. A slip without times: invalid use of Null.
  Exec("UPDATE IProject SET ClientID=999 WHERE IProjectID=" + std::to_string(project));
  EXPECT_EQ(Total(invoice).Scaled(), 10000);
  Exec("UPDATE IProjectTransaction SET StopTime=NULL WHERE InvoiceID=" + std::to_string(invoice));
  EXPECT_EQ(RaisedNumber([&] { Total(invoice); }), 94);
}

}  // namespace
}  // namespace brivos
