#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/invoicing/InvoiceFixture.hpp"

namespace brivos {
namespace {

using testing::RaisedNumber;

class BreakdownTest : public InvoiceTest {
 protected:
  InvoiceBreakdown Breakdown(std::int32_t invoice) {
    Variant id(invoice);
    return mgr.GetInvoiceBreakdown(account, user, token, id);
  }
  // The late-bound breakdown: section `key` of the collection.
  std::shared_ptr<Recordset> Section(std::int32_t invoice, const char* key) {
    std::vector<Variant> args{account, user, token, Variant(invoice)};
    const Variant sections =
        CreateObject("BRIVOS.CInvoiceMgr")->Invoke("GetInvoiceBreakdown", args);
    return std::dynamic_pointer_cast<Recordset>(
        static_cast<Collection&>(*sections.AsObject()).Item(Variant(key)).AsObject());
  }
};

TEST_F(BreakdownTest, LinesSumExactlyToTheTotal) {
  struct SlipLine {
    int sh, sm, eh, em;
    double rate;
    bool overtime;
  };
  struct ExpenseLine {
    double amount, exchange, markup;
  };
  struct Case {
    const char* name;
    bool piggy, tax1_exempt;
    std::vector<SlipLine> slips;
    std::vector<ExpenseLine> expenses;
    std::int64_t total;  // ten-thousandths
  };
  const std::vector<Case> cases = {
      {"compound tax and a markup",
       true,
       false,
       {{9, 0, 10, 30, 80, false}},
       {{50, 1.1, 10}},
       1991720},
      {"tax 2 on time alone", false, false, {{9, 0, 10, 30, 80, false}}, {{50, 1.1, 10}}, 1985000},
      {"tax 1 exempt, piggy-backed", true, true, {{9, 0, 10, 0, 80, false}}, {}, 864000},
      // 138.672 of overtime, -92.448 back, 3.8519 for a third of an hour at
      // 10, and expenses of 55 + 5.50 and 41.1459 + 5.1432.
      {"overtime, a negative slip, a third of an hour, two markups",
       true,
       false,
       {{9, 0, 10, 0, 80, true}, {10, 0, 9, 0, 80, false}, {9, 0, 9, 20, 10, false}},
       {{50, 1.1, 10}, {33.33, 1.2345, 12.5}},
       1568650},
  };
  std::int32_t invoice = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::int32_t project = Project(Client(c.piggy, c.tax1_exempt));
    for (const SlipLine& s : c.slips)
      Slip(project, 1, 2, s.sh, s.sm, s.eh, s.em, s.rate, s.overtime);
    for (const ExpenseLine& e : c.expenses)
      Expense(project, 1, true, e.amount, e.exchange, e.markup);
    InvoiceSelected(std::to_string(project));
    invoice = InvoiceOf(project);
    const InvoiceBreakdown b = Breakdown(invoice);
    ASSERT_EQ(b.slips.size(), c.slips.size());
    ASSERT_EQ(b.expenses.size(), c.expenses.size());

    Currency time, tax1, tax2, expenses, markup;
    std::int64_t minutes = 0;
    for (const auto& line : b.slips) {
      time = time + line.amount;
      tax1 = tax1 + line.tax1;
      tax2 = tax2 + line.tax2;
      minutes += line.minutes;
    }
    for (const auto& line : b.expenses) {
      expenses = expenses + line.converted;
      markup = markup + line.markup;
    }
    EXPECT_EQ(b.totals.time, time);
    EXPECT_EQ(b.totals.tax1, tax1);
    EXPECT_EQ(b.totals.tax2, tax2);
    EXPECT_EQ(b.totals.expenses, expenses);
    EXPECT_EQ(b.totals.markup, markup);
    EXPECT_EQ(b.totals.minutes, minutes);
    EXPECT_EQ((time + tax1 + tax2 + expenses + markup).Scaled(), c.total);
    EXPECT_EQ(b.totals.total.Scaled(), c.total);
    EXPECT_EQ(Total(invoice).Scaled(), c.total);
    EXPECT_EQ(CCur(Section(invoice, "Totals")->Field("Total")).Scaled(), c.total);
  }
  // The last invoice line by line.
  const InvoiceBreakdown b = Breakdown(invoice);
  for (const auto& line : b.slips) {
    if (line.minutes == -60) {
      EXPECT_EQ(line.amount.Scaled(), -800000);
      EXPECT_EQ(line.tax1.Scaled(), -56000);
      EXPECT_EQ(line.tax2.Scaled(), -68480);
    } else if (line.minutes == 20) {
      EXPECT_DOUBLE_EQ(line.hours, 1.0 / 3);
      EXPECT_EQ(line.amount.Scaled(), 33333);
      EXPECT_EQ(line.tax1.Scaled(), 2333);
      EXPECT_EQ(line.tax2.Scaled(), 2853);
    } else {
      EXPECT_TRUE(line.overtime);
      EXPECT_EQ(line.rate.Scaled(), 1200000);  // the overtime rate, not the staff rate of 80
    }
  }
  EXPECT_EQ(b.expenses[1].converted.Scaled(), 411459);
  EXPECT_EQ(b.expenses[1].markup.Scaled(), 51432);
}

TEST_F(BreakdownTest, NamesTheInvoiceItsProjectClientTaxesTaskAndStaff) {
  Exec("UPDATE IUser SET FirstName='Ada', LastName='Lovelace' WHERE UserName='admin'");
  const std::int32_t client = Client();
  Exec("UPDATE CITaxCode SET Tax1Name='GST', Tax2Name='PST'");
  const std::int32_t project = Project(client);
  Slip(project, 1);
  Expense(project, 2);
  InvoiceAll();
  const std::int32_t invoice = InvoiceOf(project);
  const InvoiceBreakdown b = Breakdown(invoice);
  const auto& h = b.header;
  EXPECT_EQ(CStr(h.invoice_number), "1");
  EXPECT_EQ(CStr(h.status_text), "Trial");
  EXPECT_EQ(CStr(h.company), "Acme Consulting");
  EXPECT_EQ(CStr(h.project), "P");
  EXPECT_EQ(CStr(h.client), "Client");
  EXPECT_EQ(CStr(h.terms), "Net 30");
  EXPECT_EQ(CStr(h.tax1_name) + CStr(h.tax1_rate) + CStr(h.tax2_name) + CStr(h.tax2_rate),
            "GST7PST8");
  EXPECT_EQ(CStr(b.slips[0].task), "T");
  EXPECT_EQ(CStr(b.slips[0].staff), "Ada Lovelace");
  EXPECT_EQ(CDate(b.slips[0].day), Date::FromParts(2024, 3, 1));
  EXPECT_EQ(b.slips[0].minutes, 90);
  EXPECT_EQ(CDate(b.expenses[0].date), Date::FromParts(2024, 3, 2));
  EXPECT_DOUBLE_EQ(b.expenses[0].exchange_rate, 1.1);

  // Late-bound: four sections by position or key, one row per line.
  std::vector<Variant> args{account, user, token, Variant(invoice)};
  const Variant result = CreateObject("BRIVOS.CInvoiceMgr")->Invoke("GetInvoiceBreakdown", args);
  auto& sections = static_cast<Collection&>(*result.AsObject());
  ASSERT_EQ(sections.Count(), 4);
  EXPECT_EQ(sections.Item(Variant(2)).AsObject(), sections.Item(Variant("Slips")).AsObject());
  EXPECT_EQ(CStr(Section(invoice, "Header")->Field("Client")), "Client");
  auto slips = Section(invoice, "Slips");
  EXPECT_EQ(slips->RecordCount(), 1);
  EXPECT_EQ(slips->Field("Amount").Type(), VarType::Currency);
  EXPECT_EQ(CStr(slips->Field("Staff")), "Ada Lovelace");
  EXPECT_EQ(Section(invoice, "Expenses")->RecordCount(), 1);

  // No tax without the client's tax code: the header names no tax.
  Exec("UPDATE SFAProspect SET TaxCodeID=NULL");
  EXPECT_TRUE(Breakdown(invoice).header.tax1_name.IsNull());
  EXPECT_EQ(Breakdown(invoice).totals.tax1.Scaled(), 0);

  EXPECT_EQ(RaisedNumber([&] { Breakdown(invoice + 1); }), 9);
  Variant text("x");
  EXPECT_EQ(RaisedNumber([&] { mgr.GetInvoiceBreakdown(account, user, token, text); }), 13);
}

}  // namespace
}  // namespace brivos
