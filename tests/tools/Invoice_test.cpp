// The working day of scripts/demo.sh, run with the program under test, and
// the invoice, preview and --now of the program on the subscriber it leaves.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "brivos/brivos.hpp"
#include "tests/tools/CliProcess.hpp"

namespace brivos::testing {
namespace {

Currency Money(const Json& text) { return CCur(Variant(text.get<std::string>())); }
Currency Money(const std::string& text) { return CCur(Variant(text)); }

// What a well-formed XML reading of an HTML page finds: an element stack
// that closes in order, attributes in quotes, text without a bare < or an &
// that starts no entity.
struct Page {
  std::string error;                // empty when well-formed
  int lines = 0;                    // <tr class="line"> elements
  std::vector<std::string> totals;  // text of each element with id="total"
};

Page ReadPage(const std::string& html) {
  Page page;
  std::vector<std::string> open;
  std::string* total = nullptr;
  std::size_t total_depth = 0;
  std::size_t i = 0;
  const auto fail = [&](const std::string& why) {
    page.error = why + " at " + std::to_string(i);
    return page;
  };
  if (html.starts_with("<!DOCTYPE html>")) i = html.find('>') + 1;
  int roots = 0;
  while (i < html.size()) {
    if (html[i] != '<') {
      if (open.empty() && html[i] != '\n') return fail("text outside the root");
      if (html[i] == '&') {
        const std::size_t semi = html.find(';', i);
        const std::string entity = html.substr(i, semi - i + 1);
        if (semi == std::string::npos ||
            (entity != "&amp;" && entity != "&lt;" && entity != "&gt;" && entity != "&quot;" &&
             !entity.starts_with("&#"))) {
          return fail("bare &");
        }
      }
      if (total != nullptr) *total += html[i];
      ++i;
      continue;
    }
    const std::size_t end = html.find('>', i);
    if (end == std::string::npos) return fail("unclosed tag");
    std::string tag = html.substr(i + 1, end - i - 1);
    i = end + 1;
    if (tag.starts_with("/")) {
      if (open.empty() || open.back() != tag.substr(1)) return fail("mismatched <" + tag + ">");
      open.pop_back();
      if (total != nullptr && open.size() < total_depth) total = nullptr;
      continue;
    }
    const bool empty = tag.ends_with("/");
    if (empty) tag.pop_back();
    const std::string name = tag.substr(0, tag.find(' '));
    if (std::count(tag.begin(), tag.end(), '"') % 2 != 0) return fail("unquoted attribute");
    if (tag.find("class=\"line\"") != std::string::npos) ++page.lines;
    if (empty) continue;
    if (open.empty()) ++roots;
    open.push_back(name);
    if (tag.find("id=\"total\"") != std::string::npos) {
      page.totals.emplace_back();
      total = &page.totals.back();
      total_depth = open.size();
    }
  }
  if (!open.empty()) return fail("unclosed <" + open.back() + ">");
  if (roots != 1) return fail("not one root");
  return page;
}

// The demo's day, once for every test: one invoice (1) of four slips and one
// expense, and a fifth slip that awaits approval.
class InvoiceCommandTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    data_ = new TempDir;
    const std::filesystem::path root =
        std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
    demo_ = new Outcome(RunProgram("/bin/bash", {(root / "scripts" / "demo.sh").string()},
                                   {{"BRIVOS_BIN", BRIVOS_CLI}, {"BRIVOS_DATA", data_->Path()}}));
  }
  static void TearDownTestSuite() {
    delete demo_;
    delete data_;
  }

  // `brivos --db-dir <dir> ARGS...`
  static Outcome Brivos(std::vector<std::string> args) {
    args.insert(args.begin(), {"--db-dir", data_->Path()});
    return RunCli(args);
  }
  static Currency InvoiceTotal() {
    const Outcome o = Brivos({"call", "CInvoiceMgr", "GetInvoiceTotal", "A100", "admin", "", "1"});
    EXPECT_TRUE(Succeeded(o));
    return Money(o.OutJson());
  }

  static TempDir* data_;
  static Outcome* demo_;
};

TempDir* InvoiceCommandTest::data_ = nullptr;
Outcome* InvoiceCommandTest::demo_ = nullptr;

// The value after the last `label` that starts a line.
std::string ValueAfter(const std::string& text, const std::string& label) {
  const std::size_t at = text.rfind("\n" + label);
  if (at == std::string::npos) return {};
  const std::size_t end = text.find('\n', at + 1);
  std::string line = text.substr(at + 1 + label.size(), end - at - 1 - label.size());
  line.erase(0, line.find_first_not_of(" \""));
  return line.substr(0, line.find_last_not_of(" \"") + 1);
}

TEST_F(InvoiceCommandTest, TheDayEndsInAnInvoiceWhosePrintedTotalIsGetInvoiceTotal) {
  ASSERT_TRUE(Succeeded(*demo_)) << demo_->out;
  const std::string& out = demo_->out;
  EXPECT_NE(out.find("Invoice 1 (Trial)"), std::string::npos) << out;
  EXPECT_NE(out.find("\nDate     2024-03-05 17:35:00\n"), std::string::npos);  // the run's --now
  const std::string printed = ValueAfter(out, "Total");
  ASSERT_FALSE(printed.empty()) << out;
  EXPECT_EQ(Money(printed), Money(ValueAfter(out, "GetInvoiceTotal:")));
  EXPECT_EQ(Money(printed), InvoiceTotal());
  const std::string html = ValueAfter(out, "The invoice as a printable page:");
  EXPECT_EQ(ReadPage(ReadFile(html)).error, "") << html;
}

TEST_F(InvoiceCommandTest, InvoicePrintsAsTextJsonAndOneHtmlPage) {
  const Currency total = InvoiceTotal();

  const Outcome json = Brivos({"invoice", "A100", "1", "--format", "json"});
  ASSERT_TRUE(Succeeded(json));
  const Json doc = json.OutJson();
  EXPECT_EQ(doc["Header"]["Client"], "Northwind Traders");
  ASSERT_EQ(doc["Slips"].size(), 4u);
  ASSERT_EQ(doc["Expenses"].size(), 1u);
  Currency sum;
  for (const Json& s : doc["Slips"])
    sum = sum + Money(s["Amount"]) + Money(s["Tax1"]) + Money(s["Tax2"]);
  for (const Json& e : doc["Expenses"]) sum = sum + Money(e["Converted"]) + Money(e["Markup"]);
  EXPECT_EQ(sum, total);
  EXPECT_EQ(Money(doc["Totals"]["Total"]), total);

  const Outcome text = Brivos({"invoice", "A100", "1"});
  ASSERT_TRUE(Succeeded(text));
  EXPECT_EQ(Money(ValueAfter(text.out, "Total")), total);
  EXPECT_EQ(text.out, Brivos({"invoice", "A100", "1", "--format", "text"}).out);
  for (const char* expected : {"Acme Consulting\nInvoice 1 (Trial)\n", "GST 5%", "PST 7%",
                               "Contact form", "Train to the client (USD)"}) {
    EXPECT_NE(text.out.find(expected), std::string::npos) << expected << "\n" << text.out;
  }

  const Outcome html = Brivos({"invoice", "A100", "1", "--format", "html"});
  ASSERT_TRUE(Succeeded(html));
  const Page page = ReadPage(html.out);
  EXPECT_EQ(page.error, "");
  EXPECT_EQ(page.lines, 5);  // one row per slip and expense
  ASSERT_EQ(page.totals.size(), 1u);
  // The page is the client's copy: its total in cents, the rounding beside it.
  EXPECT_EQ(Money(page.totals[0]), Money(doc["ClientCopy"]["Payable"]));
  EXPECT_NE(html.out.find("id=\"exact-total\">" + total.ToString() + "<"), std::string::npos);
  std::size_t seen = 0;
  for (std::size_t at = html.out.find(page.totals[0]); at != std::string::npos;
       at = html.out.find(page.totals[0], at + 1)) {
    ++seen;
  }
  EXPECT_EQ(seen, 1u);
  for (const char* external : {"src=", "href=", "@import", "url("}) {
    EXPECT_EQ(html.out.find(external), std::string::npos) << external;
  }
}

// The demo's invoice is 1275.6413 exactly: 1275.65 for the client, whose
// copy adds 897.50 of time, 267.30 of expenses, 44.88 and 65.97 of taxes.
TEST_F(InvoiceCommandTest, TheClientsCopyIsInCentsInEveryForm) {
  const Json copy = Brivos({"invoice", "A100", "1", "--format", "json"}).OutJson()["ClientCopy"];
  EXPECT_EQ(Money(copy["Payable"]), Currency::FromScaled(12756500));
  EXPECT_EQ(Money(copy["ExactTotal"]), InvoiceTotal());
  EXPECT_EQ(Money(copy["Rounding"]), Currency::FromScaled(87));
  const Outcome text = Brivos({"invoice", "A100", "1"});
  EXPECT_EQ(ValueAfter(text.out, "Payable"), "1275.65");

  const std::string pdf = data_->Path() + "/invoice-1.pdf";
  ASSERT_TRUE(Succeeded(Brivos({"invoice", "A100", "1", "--format", "pdf", "--output", pdf})));
  EXPECT_TRUE(ReadFile(pdf).starts_with("%PDF-"));
  EXPECT_FALSE(std::filesystem::exists(pdf + ".part"));
  // The firm's country is "Canada": its currency is CAD until set otherwise.
  const Outcome ubl = Brivos({"invoice", "A100", "1", "--format", "ubl"});
  ASSERT_TRUE(Succeeded(ubl)) << ubl.err;
  EXPECT_NE(ubl.out.find("<cbc:PayableAmount currencyID=\"CAD\">1275.65<"), std::string::npos);
  EXPECT_NE(ubl.out.find("<cbc:IdentificationCode>CA<"), std::string::npos);
}

// `brivos settings` checks every assignment before it writes one.
TEST_F(InvoiceCommandTest, SettingsAreSetAllOrNothing) {
  struct Case {
    std::vector<std::string> assignments;
    int status;  // 0, 1 for the library's refusal (number 5), 2 for a bad command line
    const char* currency;
  };
  const std::vector<Case> cases = {
      {{"currency=eur", "seller.country=QQ"}, 1, "CAD"},
      {{"payment.iban=GB00 0000"}, 1, "CAD"},
      {{"currency"}, 2, "CAD"},
      {{"currency=eur", "paper.size=Letter"}, 0, "EUR"},
      {{"currency="}, 0, "CAD"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.assignments[0]);
    std::vector<std::string> args{"settings", "A100"};
    args.insert(args.end(), c.assignments.begin(), c.assignments.end());
    const Outcome o = Brivos(args);
    EXPECT_EQ(o.status, c.status) << o.err;
    if (c.status == 1) {
      EXPECT_EQ(Json::parse(o.err)["number"], errnum::kInvalidArgument);
    }
    EXPECT_EQ(Brivos({"settings", "A100"}).OutJson()["currency"], c.currency);
  }
  EXPECT_TRUE(Succeeded(Brivos({"settings", "A100", "paper.size="})));
}

TEST_F(InvoiceCommandTest, PreviewShowsWhatARunWouldDoAndWhyLinesAreLeftOut) {
  // After the demo's run only the slip awaiting approval is unbilled.
  for (const std::vector<std::string>& scope :
       {std::vector<std::string>{}, std::vector<std::string>{"--projects", "1"}}) {
    std::vector<std::string> args{"preview", "A100", "--cutoff", "2024-03-05", "--format", "json"};
    args.insert(args.end(), scope.begin(), scope.end());
    const Outcome o = Brivos(args);
    ASSERT_TRUE(Succeeded(o));
    const Json doc = o.OutJson();
    ASSERT_EQ(doc["Projects"].size(), 1u);
    EXPECT_EQ(doc["Projects"][0]["Invoiced"], false);
    EXPECT_EQ(doc["Projects"][0]["Reason"], "nothing to bill");
    std::map<std::string, int> reasons;
    for (const Json& s : doc["Slips"]) ++reasons[s["Reason"].get<std::string>()];
    EXPECT_EQ(reasons, (std::map<std::string, int>{{"already billed", 4}, {"not approved", 1}}));
    EXPECT_EQ(doc["Expenses"][0]["Reason"], "already billed");
  }
  const Outcome text = Brivos({"preview", "A100", "--cutoff", "2024-03-05"});
  ASSERT_TRUE(Succeeded(text));
  EXPECT_NE(text.out.find("Not invoiced: nothing to bill"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("not approved"), std::string::npos) << text.out;

  // The demo's preview, before its run, named what the run then billed.
  EXPECT_NE(
      demo_->out.find("Invoiced: 4 slips, 1 expense, total " + ValueAfter(demo_->out, "Total")),
      std::string::npos)
      << demo_->out;
}

TEST_F(InvoiceCommandTest, NowSetsTheClockOfTheWholeCommand) {
  const Outcome token = Brivos({"--now", "2024-03-06 09:30", "call", "--get", "Token",
                                "CSecurityMgr", "BeginUserSession", "A100", "admin", "secret"});
  ASSERT_TRUE(Succeeded(token));
  EXPECT_EQ(token.out.size(), 33u) << token.out;  // 32 digits, no quotes
  const Outcome session = Brivos({"call", "--get", "LastUpdate", "CSecurityMgr", "GetSysSession",
                                  "A100", token.out.substr(0, 32)});
  ASSERT_TRUE(Succeeded(session));
  EXPECT_EQ(session.out, "2024-03-06T09:30:00\n");

  const Outcome ids = Brivos({"call", "--get", "IUserID", "CUserManager", "GetUserProfile", "A100",
                              "admin", "", "A100", "bob"});
  ASSERT_TRUE(Succeeded(ids));
  EXPECT_EQ(ids.out, "3\n");

  for (const char* clock : {"teatime", "2024-13-05 09:30", ""}) {
    const Outcome o = Brivos({"--now", clock, "invoice", "A100", "1"});
    EXPECT_EQ(o.status, 2) << clock;
    EXPECT_TRUE(o.out.empty());
    ASSERT_EQ(o.ErrLines().size(), 1u) << o.err;
    EXPECT_NE(o.err.find("--now"), std::string::npos) << o.err;
  }
}

TEST_F(InvoiceCommandTest, BadInputIsTheLibrarysErrorOnOneLine) {
  struct Case {
    std::vector<std::string> args;
    int number;
  };
  const std::vector<Case> cases = {
      {{"invoice", "A100", "999"}, errnum::kSubscriptOutOfRange},
      {{"invoice", "A100", "abc"}, errnum::kTypeMismatch},
      {{"invoice", "A100", "1", "--format", "json"}, 0},
      {{"preview", "A100", "--cutoff", "someday"}, errnum::kTypeMismatch},
      {{"preview", "A100", "--cutoff", "2024-03-05", "--projects", "1|x"}, errnum::kTypeMismatch},
      {{"preview", "A999", "--cutoff", "2024-03-05"}, errnum::kDbCannotOpen},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[2]);
    const Outcome o = Brivos(c.args);
    if (c.number == 0) {
      EXPECT_TRUE(Succeeded(o));
      continue;
    }
    EXPECT_EQ(o.status, 1) << o.err;
    EXPECT_TRUE(o.out.empty()) << o.out;
    ASSERT_EQ(o.ErrLines().size(), 1u) << o.err;
    EXPECT_EQ(Json::parse(o.err)["number"], c.number);
  }
  const Outcome format = Brivos({"invoice", "A100", "1", "--format", "docx"});
  EXPECT_EQ(format.status, 2);
  EXPECT_EQ(format.ErrLines().size(), 1u) << format.err;
}

// Renders the page with headless Chromium where one is installed.
TEST_F(InvoiceCommandTest, ChromiumPrintsThePage) {
  std::string chromium;
  for (const char* name : {"chromium", "chromium-browser", "google-chrome"}) {
    for (const char* dir : {"/usr/bin/", "/usr/local/bin/", "/snap/bin/"}) {
      if (std::filesystem::exists(std::string(dir) + name)) chromium = std::string(dir) + name;
    }
  }
  if (chromium.empty()) GTEST_SKIP() << "no headless Chromium installed";
  const std::string html = data_->Path() + "/page.html", pdf = data_->Path() + "/page.pdf";
  std::ofstream(html) << Brivos({"invoice", "A100", "1", "--format", "html"}).out;
  RunProgram(chromium,
             {"--headless", "--disable-gpu", "--no-sandbox", "--print-to-pdf=" + pdf, html});
  EXPECT_TRUE(ReadFile(pdf).starts_with("%PDF")) << pdf;
}

}  // namespace
}  // namespace brivos::testing
