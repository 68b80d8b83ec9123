#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "tests/invoicing/InvoiceFixture.hpp"

namespace brivos {
namespace {

using testing::RaisedNumber;

class PreviewTest : public InvoiceTest {
 protected:
  InvoicingPreview Preview(Variant projects_list = Variant(), Variant cutoff = Variant()) {
    if (cutoff.IsEmpty()) cutoff = Variant(Date::FromParts(2024, 3, 10));
    return mgr.PreviewInvoicing(account, user, token, projects_list, cutoff);
  }
  // Line key -> reason ("" for a line the run would bill), slips as "s<id>"
  // and expenses as "e<id>".
  static std::map<std::string, std::string> Reasons(const InvoicingPreview& p) {
    std::map<std::string, std::string> out;
    for (const auto& s : p.slips) {
      EXPECT_EQ(s.included, s.reason.IsNull()) << CStr(s.slip_id);
      out["s" + CStr(s.slip_id)] = s.included ? "" : CStr(s.reason);
    }
    for (const auto& e : p.expenses)
      out["e" + CStr(e.expense_id)] = e.included ? "" : CStr(e.reason);
    return out;
  }
  // Line key -> "" for every line on an invoice, as Reasons gives the included ones.
  std::map<std::string, std::string> Billed() {
    std::map<std::string, std::string> out;
    auto slips = Connection::Open(account).Query(
        "SELECT 's'||IProjectTransactionID FROM IProjectTransaction WHERE InvoiceID IS NOT NULL "
        "UNION ALL SELECT 'e'||IProjectExpenseID FROM IProjectExpense WHERE InvoiceID IS NOT "
        "NULL");
    for (const auto& row : slips->Rows()) out[CStr(row[0])] = "";
    return out;
  }
  static std::map<std::string, std::string> Included(std::map<std::string, std::string> reasons) {
    std::erase_if(reasons, [](const auto& entry) { return !entry.second.empty(); });
    return reasons;
  }
};

TEST_F(PreviewTest, ListsWhatARunWouldBillAndWhyTheRestIsLeftOut) {
  const std::int32_t client = Client();
  const std::int32_t active = Project(client), unbillable = Project(client, 2, false),
                     finished = Project(client, 5);
  const auto s = [](std::int32_t id) { return "s" + std::to_string(id); };
  const auto e = [](std::int32_t id) { return "e" + std::to_string(id); };
  std::map<std::string, std::string> expected = {
      {s(Slip(active, 10)), ""},
      {s(Slip(active, 2, 2, 9, 0, 9, 20, 10)), ""},
      {s(Slip(active, 11)), "dated after the cutoff"},
      {s(Slip(active, 5, 1)), "not approved"},
      {s(Slip(active, 5, 4)), "not approved"},
      {s(Slip(active, 5, 3)), "already billed"},
      {e(Expense(active, 3)), ""},
      {e(Expense(active, 12)), "dated after the cutoff"},
      {e(Expense(active, 3, false)), "not approved"},
      {s(Slip(unbillable, 1)), "project not billable"},
      {s(Slip(finished, 1)), "project not active"},
      {e(Expense(finished, 1)), "project not active"},
  };
  const std::int32_t undated = Slip(active, 1), undated_expense = Expense(active, 1),
                     billed_expense = Expense(active, 1);
  Exec("UPDATE IProjectTransaction SET TransDate=NULL WHERE IProjectTransactionID=" +
       std::to_string(undated));
  Exec("UPDATE IProjectExpense SET ExpenseDate=NULL WHERE IProjectExpenseID=" +
       std::to_string(undated_expense));
  Exec("UPDATE IProjectExpense SET Billed=1 WHERE IProjectExpenseID=" +
       std::to_string(billed_expense));
  expected[s(undated)] = expected[e(undated_expense)] = "no date";
  expected[e(billed_expense)] = "already billed";

  const InvoicingPreview preview = Preview();
  EXPECT_EQ(Reasons(preview), expected);
  ASSERT_EQ(preview.projects.size(), 3u);  // the run's project first, then the inactive one
  const auto& first = preview.projects[0];
  EXPECT_EQ(CLng(first.project_id), active);
  EXPECT_TRUE(first.invoiced);
  EXPECT_EQ(first.slips, 2);
  EXPECT_EQ(first.expenses, 1);
  EXPECT_EQ(CStr(preview.projects[1].reason), "project not billable");
  EXPECT_EQ(CStr(preview.projects[2].reason), "project not active");
  EXPECT_EQ(Invoices(), 0);  // a preview writes nothing
  EXPECT_EQ(NextNumber(), 1);

  // The run bills exactly the previewed lines, for the previewed total.
  InvoiceAll();
  EXPECT_EQ(Billed(), Included(expected));
  EXPECT_EQ(Total(InvoiceOf(active)), CCur(first.total));

  // A selected run: a finished project is taken, listed twice it is shown once.
  const std::string list =
      std::to_string(finished) + "|" + std::to_string(unbillable) + "|" + std::to_string(finished);
  const InvoicingPreview selected = Preview(Variant(list));
  ASSERT_EQ(selected.projects.size(), 2u);
  EXPECT_TRUE(selected.projects[0].invoiced);
  EXPECT_EQ(CStr(selected.projects[1].reason), "project not billable");
  const auto reasons = Reasons(selected);
  InvoiceSelected(list);
  std::map<std::string, std::string> billed = Included(expected);
  billed.merge(Included(reasons));
  EXPECT_EQ(Billed(), billed);

  // Nothing left: every line of the active project is billed or explained.
  const InvoicingPreview after = Preview(Variant(std::to_string(active)));
  EXPECT_EQ(CStr(after.projects[0].reason), "nothing to bill");
  EXPECT_TRUE(after.projects[0].total.IsNull());
}

TEST_F(PreviewTest, RefusesWhatTheRunRefusesAndReadsLateBound) {
  const std::int32_t project = Project(Client());
  Slip(project, 1);
  const std::string id = std::to_string(project);
  for (const std::string& bad : {id + "|", id + "|x", id + "|999"}) {
    EXPECT_EQ(RaisedNumber([&] { Preview(Variant(bad)); }), bad.ends_with("999") ? 9 : 13) << bad;
  }
  EXPECT_EQ(RaisedNumber([&] { Preview(Variant(), Variant("someday")); }), 13);

  std::vector<Variant> args{account, user, token, Variant::Null(), Variant("2024-03-10")};
  const Variant result = CreateObject("BRIVOS.CInvoiceMgr")->Invoke("PreviewInvoicing", args);
  auto& sections = static_cast<Collection&>(*result.AsObject());
  ASSERT_EQ(sections.Count(), 4);
  auto projects_set =
      std::dynamic_pointer_cast<Recordset>(sections.Item(Variant("Projects")).AsObject());
  EXPECT_EQ(projects_set->RecordCount(), 1);
  EXPECT_EQ(CBool(projects_set->Field("Invoiced")), true);
  EXPECT_EQ(CCur(projects_set->Field("Total")).Scaled(), 1386720);  // 120 + 8.40 + 10.272
  auto slips = std::dynamic_pointer_cast<Recordset>(sections.Item(Variant(2)).AsObject());
  EXPECT_EQ(CLng(slips->Field("Minutes")), 90);
  EXPECT_TRUE(slips->Field("Reason").IsNull());
}

TEST_F(PreviewTest, ARunRefusesAProjectItCouldNeverTotalAndThePreviewSaysSo) {
  const std::int32_t client = Client();
  const std::int32_t sound = Project(client), unpriced = Project(client), later = Project(client);
  for (std::int32_t p : {sound, unpriced, later}) Slip(p, 1);
  Exec("UPDATE IProjectTransaction SET StaffRate=NULL WHERE Parent=" + std::to_string(unpriced));
  const InvoicingPreview preview = Preview();
  ASSERT_EQ(preview.projects.size(), 3u);
  EXPECT_TRUE(preview.projects[0].invoiced);
  EXPECT_EQ(CStr(preview.projects[1].reason),
            "refused: a line cannot be priced (Invalid use of Null)");
  EXPECT_EQ(CLng(preview.projects[1].error), 94);
  EXPECT_EQ(CStr(preview.projects[2].reason), "project not reached");

  EXPECT_EQ(RaisedNumber([&] { InvoiceAll(); }), 94);
  EXPECT_EQ(Invoices(), 1);
  EXPECT_EQ(NextNumber(), 2) << "the refused project's number was handed back";
  EXPECT_EQ(Included(Reasons(preview)), Billed()) << "the preview names what the run billed";
  EXPECT_EQ(Total(InvoiceOf(sound)), CCur(preview.projects[0].total));
}

TEST_F(PreviewTest, WarnsOfSlipsWithoutTimeOverlapsAndTotalsBelowZero) {
  const std::int32_t client = Client();
  const std::int32_t mixed = Project(client), other = Project(client), negative = Project(client);
  Slip(mixed, 4);
  const std::int32_t zero = Slip(mixed, 5, 2, 9, 0, 9, 0),
                     backwards = Slip(mixed, 6, 2, 10, 0, 9, 0),
                     overlapping = Slip(mixed, 7, 2, 9, 0, 10, 0);
  // Not approved, on another project, but the same person's time.
  const std::int32_t elsewhere = Slip(other, 7, 1, 9, 30, 11, 0);
  const std::int32_t only = Slip(negative, 8, 2, 11, 0, 10, 0);
  const InvoicingPreview preview = Preview();

  std::set<std::tuple<std::int32_t, std::int32_t, std::string>> found;
  std::map<std::int32_t, std::string> texts;
  for (const auto& w : preview.warnings) {
    const std::int32_t slip = w.slip_id.IsNull() ? 0 : CLng(w.slip_id);
    found.insert({CLng(w.project_id), slip, CStr(w.kind)});
    texts[slip] = CStr(w.text);
    EXPECT_EQ(CStr(w.project), "P");
  }
  const std::set<std::tuple<std::int32_t, std::int32_t, std::string>> expected = {
      {mixed, zero, "no time"},    {mixed, backwards, "no time"},   {mixed, overlapping, "overlap"},
      {negative, only, "no time"}, {negative, 0, "negative total"},
  };
  EXPECT_EQ(found, expected);
  EXPECT_NE(texts[backwards].find("bills -1.00 h"), std::string::npos) << texts[backwards];
  EXPECT_NE(texts[overlapping].find("overlaps slip " + std::to_string(elsewhere) + " (09:30-11:00"),
            std::string::npos)
      << texts[overlapping];
  EXPECT_NE(texts[0].find("below zero"), std::string::npos) << texts[0];

  // Late-bound, the warnings are the fourth section.
  const Variant result = preview;
  auto& sections = static_cast<Collection&>(*result.AsObject());
  auto warnings =
      std::dynamic_pointer_cast<Recordset>(sections.Item(Variant("Warnings")).AsObject());
  EXPECT_EQ(warnings->RecordCount(), static_cast<std::int32_t>(expected.size()));
  EXPECT_EQ(warnings->FieldCount(), 5);
}

}  // namespace
}  // namespace brivos
