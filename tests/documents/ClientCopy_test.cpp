#include "documents/ClientCopy.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "documents/Documents.hpp"
#include "documents/Parties.hpp"
#include "documents/Pdf.hpp"
#include "documents/Ubl.hpp"
#include "tests/invoicing/InvoiceFixture.hpp"

namespace brivos {
namespace {

using documents::CentsText;
using documents::ClientCopy;
using documents::ToCents;

Currency Money(std::int64_t ten_thousandths) { return Currency::FromScaled(ten_thousandths); }

TEST(ToCentsTest, RoundsHalvesAwayFromZero) {
  struct Case {
    std::int64_t in, out;
  };
  for (const Case& c : std::vector<Case>{{12345, 12300},
                                         {12350, 12400},
                                         {12349, 12300},
                                         {-12350, -12400},
                                         {-12349, -12300},
                                         {50, 100},
                                         {-50, -100},
                                         {0, 0}}) {
    EXPECT_EQ(ToCents(Money(c.in)), Money(c.out)) << c.in;
  }
  EXPECT_EQ(CentsText(Money(12756413)), "1275.64");
  EXPECT_EQ(CentsText(Money(-50)), "-0.01");
}

// One tax code, one project, its slips and expenses invoiced.
struct SlipLine {
  int sh, sm, eh, em;
  double rate;
  bool overtime = false;
};
struct ExpenseLine {
  double amount, exchange, markup;
};
struct Case {
  const char* name;
  double tax1, tax2;  // percent; a negative rate is an exempt tax
  bool piggy;
  std::vector<SlipLine> slips;
  std::vector<ExpenseLine> expenses;
  std::int64_t payable;  // in ten-thousandths, worked out by hand; -1 for "not given"
  int repeat = 1;        // each slip this many times
};

class ClientCopyTest : public InvoiceTest {
 protected:
  ClientCopyTest() {
    CSettingsMgr settings;
    for (const auto& [name, value] :
         {std::pair<const char*, const char*>{"seller.vat_id", "DE123456789"},
          {"seller.country", "DE"},
          {"currency", "EUR"},
          {"payment.iban", "DE89 3704 0044 0532 0130 00"},
          {"payment.bic", "COBADEFFXXX"}}) {
      settings.SetSetting(account, user, token, name, value);
    }
  }

  std::int32_t TaxClient(const Case& c) {
    Exec(
        "INSERT INTO CITaxCode (Parent,TaxCode,Tax1Name,Tax1Rate,Tax1Exempt,Tax2Name,Tax2Rate,"
        "Tax2Exempt,Tax2PiggyBack,Inactive) VALUES (1,'X','GST'," +
        std::to_string(std::abs(c.tax1)) + "," + std::to_string(c.tax1 < 0) + ",'PST'," +
        std::to_string(std::abs(c.tax2)) + "," + std::to_string(c.tax2 < 0) + "," +
        std::to_string(c.piggy) + ",0)");
    Exec(
        "INSERT INTO SFAProspect (Parent,CompanyName,DefaultTerms,TaxCodeID,BusinessNumber,"
        "Country) VALUES (1,'Client & Co','Net 30',(SELECT MAX(CITaxCodeID) FROM CITaxCode),"
        "'0192:987654321','Germany')");
    return CLng(Scalar("SELECT MAX(SFAProspectID) FROM SFAProspect"));
  }

  InvoiceBreakdown Invoice(const Case& c) {
    const std::int32_t project = Project(TaxClient(c));
    for (int i = 0; i < c.repeat; ++i) {
      for (const SlipLine& s : c.slips)
        Slip(project, 1, 2, s.sh, s.sm, s.eh, s.em, s.rate, s.overtime);
    }
    for (const ExpenseLine& e : c.expenses)
      Expense(project, 1, true, e.amount, e.exchange, e.markup);
    InvoiceSelected(std::to_string(project));
    Variant id(InvoiceOf(project));
    return mgr.GetInvoiceBreakdown(account, user, token, id);
  }

  static const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        // 1.5 h at 80 and tax 20 %; 50 at 1.1 plus 10 %.
        {"one tax (VAT)", 20, -1, false, {{9, 0, 10, 30, 80}}, {{50, 1.1, 10}}, 2045000},
        // 120 + 8.40 + 10.272 + 60.50: the second tax to cents, 0.002 of rounding.
        {"two taxes, compound", 7, 8, true, {{9, 0, 10, 30, 80}}, {{50, 1.1, 10}}, 1991700},
        {"two taxes, not compound", 7, 8, false, {{9, 0, 10, 30, 80}}, {{50, 1.1, 10}}, 1985000},
        {"the first tax exempt", -7, 8, true, {{9, 0, 10, 30, 80}}, {}, 1296000},
        {"no tax", -7, -8, false, {{9, 0, 10, 30, 80}}, {{50, 1.1, 10}}, 1805000},
        // 120 of overtime, -80 back, 3.3333 for a third of an hour; 60.50 and
        // 46.2891 of expenses; taxes 3.0333 and 3.7093.
        {"overtime, a negative slip, two markups",
         7,
         8,
         true,
         {{9, 0, 10, 0, 80, true}, {10, 0, 9, 0, 80}, {9, 0, 9, 20, 10}},
         {{50, 1.1, 10}, {33.33, 1.2345, 12.5}},
         1568600},
        {"a zero invoice", 20, -1, false, {{9, 0, 10, 0, 0}}, {}, 0},
        // 10.0049 and 10.005 for an hour each: one rounds down, one up.
        {"half a cent each way",
         -1,
         -1,
         false,
         {{9, 0, 10, 0, 10.0049}, {9, 0, 10, 0, 10.005}},
         {},
         200100},
        {"half a cent each way below zero",
         -1,
         -1,
         false,
         {{10, 0, 9, 0, 10.0049}, {10, 0, 9, 0, 10.005}},
         {},
         -200100},
        // A third of an hour at 10.01 is 3.3367: 3.34 each.
        {"1,000 lines", 19, -1, false, {{9, 0, 9, 20, 10.01}}, {}, -1, 1000},
    };
    return cases;
  }
};

// Every copy adds up as printed and reconciles with GetInvoiceTotal.
TEST_F(ClientCopyTest, AddsUpAndReconcilesWithTheExactTotal) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    const InvoiceBreakdown invoice = Invoice(c);
    const ClientCopy copy = documents::MakeClientCopy(invoice);
    ASSERT_EQ(copy.lines.size(), c.slips.size() * c.repeat + c.expenses.size());
    Currency lines, taxes;
    for (const auto& line : copy.lines) {
      EXPECT_EQ(line.net, ToCents(line.net));
      EXPECT_EQ(line.net, ToCents(line.exact));
      lines = lines + line.net;
    }
    EXPECT_EQ(copy.net, lines);
    const Currency exact_taxes[] = {invoice.totals.tax1, invoice.totals.tax2};
    std::size_t next = 0;
    for (int t = 0; t < 2; ++t) {
      if ((t == 0 ? c.tax1 : c.tax2) < 0) continue;
      ASSERT_LT(next, copy.taxes.size());
      EXPECT_EQ(copy.taxes[next].amount, ToCents(exact_taxes[t]));
      taxes = taxes + copy.taxes[next++].amount;
    }
    EXPECT_EQ(next, copy.taxes.size());
    EXPECT_EQ(copy.tax, taxes);
    EXPECT_EQ(copy.payable, lines + taxes);
    Variant id(invoice.header.invoice_id);
    EXPECT_EQ(copy.exact_total, mgr.GetInvoiceTotal(account, user, token, id));
    EXPECT_EQ(copy.exact_total + copy.rounding, copy.payable);
    if (c.payable >= 0) {
      EXPECT_EQ(copy.payable, Money(c.payable));
    }

    // The page shows the payable total once and the rounding when there is one.
    const std::string html = documents::InvoiceHtml(invoice);
    EXPECT_NE(html.find("id=\"total\">" + CentsText(copy.payable) + "<"), std::string::npos);
    EXPECT_EQ(html.find("id=\"rounding\"") != std::string::npos, copy.rounding != Currency());
    // The JSON carries the copy beside the exact breakdown.
    const json::Json doc = documents::InvoiceJson(invoice);
    EXPECT_EQ(doc["ClientCopy"]["Payable"], json::ToJson(Variant(copy.payable)));
    EXPECT_EQ(doc["Totals"]["Total"], json::ToJson(Variant(copy.exact_total)));
  }
}

TEST_F(ClientCopyTest, TheCompoundTaxIsChargedOnTheTimeAndTheFirstTax) {
  const InvoiceBreakdown invoice = Invoice(Cases()[1]);
  const ClientCopy copy = documents::MakeClientCopy(invoice);
  ASSERT_EQ(copy.taxes.size(), 2u);
  EXPECT_FALSE(copy.taxes[0].compound);
  EXPECT_TRUE(copy.taxes[1].compound);
  EXPECT_EQ(copy.taxes[0].taxable, Money(1200000));
  EXPECT_EQ(copy.taxes[1].taxable, Money(1284000));  // 120 + 8.40
  EXPECT_EQ(copy.rounding, Money(-20));
}

// Output of a command, and its exit status.
std::pair<int, std::string> Shell(const std::string& command) {
  std::string out;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return {-1, out};
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

// The PDF's text, as poppler's pdftotext extracts it.
TEST_F(ClientCopyTest, ThePdfEmbedsItsFontAndItsTextShowsEachLineAndTheTotal) {
  for (const std::size_t at : {std::size_t{5}, std::size_t{9}}) {
    const Case& c = Cases()[at];
    SCOPED_TRACE(c.name);
    const InvoiceBreakdown invoice = Invoice(c);
    const ClientCopy copy = documents::MakeClientCopy(invoice);
    documents::Parties parties = documents::ReadParties(account, user, token, invoice);
    const std::string pdf = documents::InvoicePdf(invoice, copy, parties);
    ASSERT_TRUE(pdf.starts_with("%PDF-"));
    EXPECT_NE(pdf.find("/FontFile"), std::string::npos);   // embedded, not only named
    EXPECT_NE(pdf.find("/ToUnicode"), std::string::npos);  // text that copies out
    EXPECT_NE(pdf.find("/MediaBox [ 0 0 595.276 841.89 ]"), std::string::npos);  // A4
    parties.paper = "Letter";
    EXPECT_NE(documents::InvoicePdf(invoice, copy, parties).find("/MediaBox [ 0 0 612 792 ]"),
              std::string::npos);
    if (Shell("command -v pdftotext").first != 0) {
      std::puts("pdftotext (poppler-utils) missing: the PDF's text is not checked");
      continue;
    }
    const std::string path = dir.Path() + "/invoice.pdf";
    std::ofstream(path, std::ios::binary) << pdf;
    const auto [status, text] = Shell("pdftotext -layout " + path + " -");
    ASSERT_EQ(status, 0) << text;
    std::size_t from = 0;
    for (const auto& line : copy.lines) {
      const std::size_t at_line = text.find(CentsText(line.net), from);
      ASSERT_NE(at_line, std::string::npos) << CentsText(line.net) << "\n" << text;
      from = at_line;
    }
    EXPECT_NE(text.find("Total (EUR)"), std::string::npos);
    EXPECT_NE(text.find(CentsText(copy.payable), from), std::string::npos);
    EXPECT_NE(text.find("Client & Co"), std::string::npos);
    EXPECT_EQ(text.find("Rounding") != std::string::npos, copy.rounding != Currency());
  }
}

#ifndef BRIVOS_UBL_CHECK
#define BRIVOS_UBL_CHECK ""
#endif

// Every case as UBL through the official artefacts: the UBL 2.1 schema
// always, the EN 16931 rules for the cases of one tax or none. Exits 77
// (skipped) when the validator is not there.
TEST_F(ClientCopyTest, TheUblPassesTheSchemaAndTheEn16931Rules) {
  const std::string check = BRIVOS_UBL_CHECK;
  if (check.empty() || !std::filesystem::exists(check)) {
    std::printf("ubl-check not found at '%s': the e-invoices are not validated\n", check.c_str());
    std::exit(77);
  }
  std::string one_tax, two_taxes;
  int n = 0;
  for (const Case& c : Cases()) {
    const InvoiceBreakdown invoice = Invoice(c);
    const ClientCopy copy = documents::MakeClientCopy(invoice);
    const std::string ubl =
        documents::InvoiceUbl(invoice, copy, documents::ReadParties(account, user, token, invoice));
    const std::string path = dir.Path() + "/case" + std::to_string(++n) + ".xml";
    std::ofstream(path) << ubl;
    (copy.taxes.size() > 1 ? two_taxes : one_tax) += " " + path;
    EXPECT_NE(ubl.find("<cbc:PayableAmount currencyID=\"EUR\">" + CentsText(copy.payable) + "<"),
              std::string::npos)
        << c.name;
  }
  const auto [status, out] = Shell(check + one_tax);
  EXPECT_EQ(status, 0) << out;
  const auto [schema_status, schema_out] = Shell(check + " --schema-only" + two_taxes);
  EXPECT_EQ(schema_status, 0) << schema_out;
}

TEST_F(ClientCopyTest, UblNeedsLinesAndACurrency) {
  const InvoiceBreakdown invoice = Invoice(Cases()[0]);
  documents::Parties parties = documents::ReadParties(account, user, token, invoice);
  EXPECT_EQ(parties.seller.vat_id, "DE123456789");
  EXPECT_EQ(parties.buyer.country_code, "DE");
  EXPECT_EQ(parties.buyer.identifier, "0192:987654321");
  ClientCopy copy = documents::MakeClientCopy(invoice);
  // Names are character data, never markup.
  EXPECT_NE(documents::InvoiceUbl(invoice, copy, parties).find("Client &amp; Co"),
            std::string::npos);
  parties.currency.clear();
  testing::ExpectError([&] { documents::InvoiceUbl(invoice, copy, parties); }, 5);
  parties.currency = "EUR";
  copy.lines.clear();
  testing::ExpectError([&] { documents::InvoiceUbl(invoice, copy, parties); }, 5);
}

}  // namespace
}  // namespace brivos
