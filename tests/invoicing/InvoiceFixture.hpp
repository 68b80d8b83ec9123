#pragma once

// The fixture of the invoicing tests: clients on tax codes, billable projects
// with one task and the main user on their staff, and helpers that add slips
// and expenses and run invoicing.

#include <map>
#include <string>

#include "tests/support/SubscriberFixture.hpp"

namespace brivos {

class InvoiceTest : public testing::SubscriberTest {
 protected:
  // A client with terms, on a tax code: 7 % and 8 %, piggy-backed unless told.
  std::int32_t Client(bool piggy = true, bool tax1_exempt = false) {
    Exec(
        "INSERT INTO CITaxCode (Parent,TaxCode,Tax1Rate,Tax1Exempt,Tax2Rate,Tax2Exempt,"
        "Tax2PiggyBack,Inactive) VALUES (1,'G',7," +
        std::to_string(tax1_exempt) + ",8,0," + std::to_string(piggy) + ",0)");
    Exec(
        "INSERT INTO SFAProspect (Parent,CompanyName,DefaultTerms,TaxCodeID) VALUES "
        "(1,'Client','Net 30',(SELECT MAX(CITaxCodeID) FROM CITaxCode))");
    return CLng(Scalar("SELECT MAX(SFAProspectID) FROM SFAProspect"));
  }
  // A billable project of `client` with one task and admin on its staff.
  std::int32_t Project(std::int32_t client, int status = 2, bool billable = true) {
    Variant name("P"), desc(""), st(status), empty(""), b(billable), money(0.0), ot(false),
        chunk(15), c(client), manager(1);
    const std::int32_t id = projects.AddProject(account, user, token, name, desc, st, empty, empty,
                                                b, money, money, ot, chunk, c, manager);
    Variant p(id), task_name("T"), day(Date::FromParts(2024, 1, 1)), no(false),
        null = Variant::Null(), zero(0.0);
    task[id] =
        projects.AddTask(account, user, token, p, task_name, desc, day, no, null, zero, null);
    Variant u(1), rate(80.0), cost(50.0), ot_rate(120.0), ot_cost(70.0);
    staff[id] = projects.AddStaff(account, user, token, p, u, rate, cost, ot_rate, ot_cost);
    return id;
  }
  // A slip of the project on 2024-03-`day`, 9:00 to 10:30 unless told.
  std::int32_t Slip(std::int32_t project, int day, int status = 2, int sh = 9, int sm = 0,
                    int eh = 10, int em = 30, double rate = 80, bool overtime = false) {
    Variant p(project), d(Date::FromParts(2024, 3, day)), h1(sh), m1(sm), h2(eh), m2(em), desc(""),
        st(status), r(rate), cost(50.0), otc(70.0), otr(120.0), err(""), t(task[project]),
        s(staff[project]), ot(overtime);
    return projects.AddTransaction(account, user, token, p, d, h1, m1, h2, m2, desc, st, r, cost,
                                   otc, otr, err, t, s, ot);
  }
  std::int32_t Expense(std::int32_t project, int day, bool approved = true, double amount = 50,
                       double rate = 1.1, double markup = 10) {
    Variant report(0), p(project), d(Date::FromParts(2024, 3, day)), po(""), am(amount), mk(markup),
        desc(""), ap(approved), s(staff[project]), type(0), ex(rate), pay(0), text(""), zero(0.0),
        tax(0);
    return projects.AddExpense(account, user, token, report, p, d, po, po, am, mk, desc, ap, s,
                               type, ex, pay, text, text, text, zero, zero, tax);
  }
  void InvoiceAll(int cutoff_day = 10) {
    Variant cutoff(Date::FromParts(2024, 3, cutoff_day));
    mgr.InvoiceAllProjects(account, user, token, cutoff);
  }
  void InvoiceSelected(const std::string& list, int cutoff_day = 10) {
    Variant projects_text(list), cutoff(Date::FromParts(2024, 3, cutoff_day));
    mgr.InvoiceSelectedProjects(account, user, token, projects_text, cutoff);
  }
  int Invoices() { return CLng(Scalar("SELECT COUNT(*) FROM IProjectInvoice")); }
  int NextNumber() { return CLng(Scalar("SELECT NextInvoiceNumber FROM ISubScriber")); }
  std::int32_t InvoiceOf(std::int32_t project) {
    return CLng(Scalar("SELECT MAX(IProjectInvoiceID) FROM IProjectInvoice WHERE Parent=" +
                       std::to_string(project)));
  }
  Currency Total(std::int32_t invoice) {
    Variant id(invoice);
    return mgr.GetInvoiceTotal(account, user, token, id);
  }

  Variant user{"admin"}, token{"T"};
  CInvoiceMgr mgr;
  CProjectMgr projects;
  std::map<std::int32_t, std::int32_t> task, staff;
};

}  // namespace brivos
