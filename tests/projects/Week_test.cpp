#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/projects/ProjectFixture.hpp"

namespace brivos {
namespace {

using testing::ExpectError;
using testing::RaisedNumber;

class WeekTest : public testing::ProjectTest {
 protected:
  int Status(std::int32_t slip) { return CLng(Slip(slip)->Status()); }
  Variant Monday() { return Variant(Date::FromParts(2024, 3, 4)); }
  void Return(std::int32_t slip, const Variant& reason) {
    Variant id(slip);
    typed.ReturnTransaction(account, user, token, id, reason);
  }
};

TEST_F(WeekTest, SubmittingCompletesPausedAndEnteredSlipsButNotTheRunningOne) {
  struct Case {
    int status, stop_hour, stop_minute;
    int after;
  };
  const std::vector<Case> cases = {
      {4, 10, 0, 1},  // paused
      {0, 11, 0, 1},  // entered running, with a length
      {0, 9, 0, 0},   // the timer runs it: it stops where it starts
      {1, 12, 0, 1},  // complete already
      {2, 13, 0, 2},  // approved stays approved
  };
  std::vector<std::int32_t> slips;
  for (const Case& c : cases) slips.push_back(AddSlip(9, 0, c.stop_hour, c.stop_minute, c.status));
  Variant who("admin");
  EXPECT_EQ(typed.SubmitWeek(account, user, token, Variant(Date::FromParts(2024, 3, 11)), who), 0)
      << "the week after holds nothing";
  std::vector<Variant> args{account, user, token, Monday(), who};
  EXPECT_EQ(CLng(mgr->Invoke("SubmitWeek", args)), 2);
  for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(Status(slips[i]), cases[i].after) << i;
}

TEST_F(WeekTest, ASlipSentBackIsCompleteAgainAndItsOwnerReadsWhy) {
  const std::int32_t slip = AddSlip(9, 0, 10, 0, Variant(2));
  const std::int32_t open = AddSlip(11, 0, 12, 0, Variant(1));
  const std::int32_t billed = AddSlip(13, 0, 14, 0, Variant(3));
  // Refusals write nothing: no reason, too long a reason, not approved, billed, unknown.
  EXPECT_EQ(RaisedNumber([&] { Return(slip, Variant(" ")); }), 5);
  EXPECT_EQ(RaisedNumber([&] { Return(slip, Variant::Null()); }), 5);
  EXPECT_EQ(RaisedNumber([&] { Return(slip, Variant(std::string(256, 'x'))); }), 5);
  ExpectError([&] { Return(open, Variant("Why")); }, errCProjectMgr::eTransactionNotApproved);
  Error e =
      ExpectError([&] { Return(billed, Variant("Why")); }, errCProjectMgr::eTransactionNotApproved);
  EXPECT_NE(e.Description().find("is billed"), std::string::npos) << e.Description();
  EXPECT_EQ(RaisedNumber([&] { Return(999, Variant("Why")); }), 3021);
  EXPECT_EQ(Status(slip), 2);

  Return(slip, Variant("First"));
  SetStatus(slip, 2);
  Return(slip, Variant("  Wrong task\n"));
  EXPECT_EQ(Status(slip), 1);
  EXPECT_TRUE(Slip(slip)->ApprovedBy().IsNull());
  Variant who("admin");
  auto reasons = typed.GetReturnedTransactions(account, user, token, Monday(), who);
  ASSERT_EQ(reasons->RecordCount(), 1) << "the later reason only";
  EXPECT_EQ(CLng(reasons->Field("TransID")), slip);
  EXPECT_EQ(CStr(reasons->Field("Reason")), "Wrong task");
  EXPECT_EQ(CStr(reasons->Field("ReturnedBy")), "admin");
  // Approved again: nothing to show.
  SetStatus(slip, 2);
  EXPECT_EQ(typed.GetReturnedTransactions(account, user, token, Monday(), who)->RecordCount(), 0);
}

}  // namespace
}  // namespace brivos
