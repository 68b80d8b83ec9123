// The week rows of the slips (IProjectTransactionWeek) against sums made
// here from the slips themselves, after every kind of write, and the reports
// read from them against the same sums.

#include "brivos/records/SlipWeeks.hpp"

#include <cmath>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "brivos/database/Backend.hpp"
#include "brivos/records/EnumeratedTypes.hpp"
#include "brivos/reports/CReportMgr.hpp"
#include "tests/support/SubscriberFixture.hpp"

namespace brivos::testing {
namespace {

using Key = std::tuple<std::int64_t, std::int64_t, std::int64_t>;
struct Sums {
  std::int64_t slips = 0;
  double minutes = 0, value = 0, approved = 0, approved_minutes = 0, approved_value = 0;
};

constexpr double kMonday = 45719;  // 2025-03-03

class SlipWeeksTest : public SubscriberTest {
 protected:
  SlipWeeksTest() {
    const std::int32_t bob = AddUser("bob", "pw", true, "Ng", "Bob");
    Exec("INSERT INTO IProject (Name, ClientID) VALUES ('Web', 7)");
    Exec("INSERT INTO IProject (Name, ClientID) VALUES ('Audit', 8)");
    web = CLng(Scalar("SELECT MIN(IProjectID) FROM IProject"));
    audit = web + 1;
    Exec("INSERT INTO IProjectStaff (Parent, UserID) VALUES (" + std::to_string(web) + ", 1)");
    Exec("INSERT INTO IProjectStaff (Parent, UserID) VALUES (" + std::to_string(audit) + ", " +
         std::to_string(bob) + ")");
    mine = CLng(Scalar("SELECT MIN(IProjectStaffID) FROM IProjectStaff"));
    bobs = mine + 1;
  }

  // A slip on `day` from 9:00 for `minutes` (a Null stop when negative).
  void Slip(std::int32_t staff, std::int32_t project, double day, int minutes, int status,
            bool overtime, double rate = 95.5) {
    const std::string stop =
        minutes < 0 ? "NULL" : std::to_string(day + (540.0 + minutes) / 1440 + 1.0 / 86400);
    Exec(
        "INSERT INTO IProjectTransaction (Parent, TransDate, StartTime, StopTime, StaffRate, "
        "OTRate, Status, OverTime, StaffID) VALUES (" +
        std::to_string(project) + ", " + std::to_string(day) + ", " +
        std::to_string(day + 540.0 / 1440 + 1.0 / 86400) + ", " + stop + ", " +
        std::to_string(rate) + ", 133.33, " + std::to_string(status) + ", " +
        (overtime ? "1" : "0") + ", " + std::to_string(staff) + ")");
  }

  // The slips summed here, by week, staff row and project.
  std::map<Key, Sums> FromSlips() {
    std::map<Key, Sums> sums;
    const auto rs = Connection::Open(account).Query(
        "SELECT StaffID, TransDate, Parent, Status, StartTime, StopTime, OverTime, OTRate, "
        "StaffRate FROM IProjectTransaction");
    const auto or_null = [](const Variant& v) {
      return v.IsNull() ? kSlipWeeksNull : std::int64_t{CLng(v)};
    };
    for (; !rs->Eof(); rs->MoveNext()) {
      if (rs->Field(0).IsNull() || rs->Field(1).IsNull()) continue;
      const double day = std::floor(CDbl(rs->Field(1)));
      const double monday = day - (Date::FromSerial(day).Weekday() + 5) % 7;
      double minutes = 0;
      if (!rs->Field(4).IsNull() && !rs->Field(5).IsNull()) {
        minutes = std::round((CDbl(rs->Field(5)) - CDbl(rs->Field(4))) * 1440);
      }
      const bool overtime = !rs->Field(6).IsNull() && CLng(rs->Field(6)) != 0;
      const Variant& rate = overtime ? rs->Field(7) : rs->Field(8);
      const double value = (rate.IsNull() ? 0 : CDbl(rate)) * minutes / 60;
      Sums& s =
          sums[Key{static_cast<std::int64_t>(monday), CLng(rs->Field(0)), or_null(rs->Field(2))}];
      ++s.slips;
      s.minutes += minutes;
      s.value += value;
      if (!rs->Field(3).IsNull() && CLng(rs->Field(3)) == eTransStatus::tsApproved) {
        ++s.approved;
        s.approved_minutes += minutes;
        s.approved_value += value;
      }
    }
    return sums;
  }

  void ExpectWeekRowsRight(const std::string& after) {
    std::map<Key, Sums> rows;
    const auto rs = Connection::Open(account).Query(
        "SELECT Week, StaffID, Parent, Slips, Minutes, Value, Approved, ApprovedMinutes, "
        "ApprovedValue FROM IProjectTransactionWeek");
    for (; !rs->Eof(); rs->MoveNext()) {
      rows[Key{static_cast<std::int64_t>(CDbl(rs->Field(0))), CLng(rs->Field(1)),
               static_cast<std::int64_t>(CDbl(rs->Field(2)))}] =
          Sums{static_cast<std::int64_t>(CDbl(rs->Field(3))),
               CDbl(rs->Field(4)),
               CDbl(rs->Field(5)),
               CDbl(rs->Field(6)),
               CDbl(rs->Field(7)),
               CDbl(rs->Field(8))};
    }
    const std::map<Key, Sums> expected = FromSlips();
    ASSERT_EQ(rows.size(), expected.size()) << after;
    for (const auto& [key, sums] : expected) {
      const auto found = rows.find(key);
      ASSERT_NE(found, rows.end()) << after << ": week " << std::get<0>(key);
      EXPECT_EQ(found->second.slips, sums.slips) << after;
      EXPECT_EQ(found->second.minutes, sums.minutes) << after;
      EXPECT_NEAR(found->second.value, sums.value, 1e-6) << after;
      EXPECT_EQ(found->second.approved, sums.approved) << after;
      EXPECT_EQ(found->second.approved_minutes, sums.approved_minutes) << after;
      EXPECT_NEAR(found->second.approved_value, sums.approved_value, 1e-6) << after;
    }
  }

  // The report's rows as Key -> (Minutes, Value).
  std::map<std::string, std::pair<double, double>> Report(const std::string& by, double first,
                                                          double last, bool unbilled = false) {
    const Variant from(Date::FromSerial(first)), to(Date::FromSerial(last));
    const auto rs = unbilled ? reports.GetUnbilledReport(account, "admin", "T", from, to, 0, 0, 0)
                             : reports.GetHoursReport(account, "admin", "T", by, from, to, 0, 0, 0);
    std::map<std::string, std::pair<double, double>> rows;
    for (const std::vector<Variant>& row : rs->Rows())
      rows[CStr(row[0])] = {CDbl(row[2]), CDbl(row[3])};
    return rows;
  }

  std::int32_t web = 0, audit = 0, mine = 0, bobs = 0;
  CReportMgr reports;
};

TEST_F(SlipWeeksTest, EveryWriteKeepsTheWeekRowsEqualToTheSlips) {
  const std::string t = " IProjectTransaction";
  const std::string first =
      " WHERE IProjectTransactionID = (SELECT MIN(IProjectTransactionID) FROM" + t + ")";
  Slip(mine, web, kMonday + 0.25, 510, 1, false);
  const std::vector<std::string> writes = {
      "",  // the one slip above
      "INSERT INTO" + t +
          " (Parent, TransDate, StartTime, StopTime, StaffRate, OTRate, Status, "
          "OverTime, StaffID) SELECT Parent, TransDate + 1, StartTime + 1, StopTime + 1.01, "
          "StaffRate, OTRate, Status, 1, StaffID FROM" +
          t,
      "INSERT INTO" + t + " (TransDate, StaffID) VALUES (" + std::to_string(kMonday - 1) + ", " +
          std::to_string(bobs) + ")",  // a Sunday: the week before; no project, status or times
      "INSERT INTO" + t +
          " (TransDate, StartTime, StopTime, Status) VALUES (45720, 45720.3, "
          "45720.4, 1)",  // no staff row: never counted
      "INSERT INTO" + t + " (StaffID, StartTime, StopTime, Status) VALUES (" +
          std::to_string(mine) + ", 45720.3, 45720.4, 1)",  // no day: never counted
      "UPDATE" + t + " SET Status = 2",
      "UPDATE" + t + " SET Status = 3" + first,
      "UPDATE" + t + " SET TransDate = TransDate + 7" + first,
      "UPDATE" + t + " SET StaffID = " + std::to_string(bobs) + first,
      "UPDATE" + t + " SET StopTime = StartTime - 0.1" + first,
      "UPDATE" + t + " SET OverTime = 1, OTRate = 10" + first,
      "UPDATE" + t + " SET Description = 'edited'",
      "UPDATE" + t + " SET StaffID = " + std::to_string(mine) + " WHERE StaffID IS NULL",
      "UPDATE" + t + " SET TransDate = NULL" + first,
      "UPDATE" + t + " SET Parent = NULL, Status = NULL WHERE Parent = " + std::to_string(web),
      "DELETE FROM" + t + first,
      "DELETE FROM" + t,
  };
  for (const std::string& write : writes) {
    if (!write.empty()) Exec(write);
    ExpectWeekRowsRight(write);
  }
}

TEST_F(SlipWeeksTest, AFirmMadeBeforeTheWeekRowsGetsThemAndTheSameFigures) {
  for (int i = 0; i < 40; ++i) {
    Slip(i % 3 ? mine : bobs, i % 2 ? web : audit, kMonday - 10 + i, 30 + 7 * i, 1 + i % 2,
         i % 5 == 0, 80 + i);
  }
  const std::vector<std::string> by = {"project", "person", "week", "unbilled"};
  std::vector<std::map<std::string, std::pair<double, double>>> before;
  for (const std::string& b : by)
    before.push_back(Report(b, kMonday - 12, kMonday + 40, b == "unbilled"));
  if (ActiveBackend().NamesFiles()) {
    for (const char* t : {"Insert", "Delete", "Update", "UpdateOld", "UpdateNew"}) {
      Exec(std::string("DROP TRIGGER IProjectTransactionWeek_") + t);
    }
  } else {
    Exec("DROP FUNCTION IProjectTransactionWeek_Keep() CASCADE");
  }
  Exec("DROP TABLE IProjectTransactionWeek");
  ReleaseIdleConnections();  // as a process opening the firm anew
  for (std::size_t i = 0; i < by.size(); ++i) {
    EXPECT_EQ(Report(by[i], kMonday - 12, kMonday + 40, by[i] == "unbilled"), before[i]) << by[i];
  }
  ExpectWeekRowsRight("made again");
  Slip(bobs, web, kMonday + 2, 45, 2, true);
  ExpectWeekRowsRight("a slip after");
}

// Spans cut anywhere in a week: the days around the whole weeks come from the
// slips, the whole weeks from the week rows; together, every slip once.
TEST_F(SlipWeeksTest, ReportsOfAnySpanCountEachSlipOnce) {
  for (int i = 0; i < 60; ++i) Slip(i % 2 ? mine : bobs, web, kMonday - 20 + i, 60 + i, 2, false);
  const std::vector<std::pair<double, double>> spans = {
      {kMonday, kMonday + 6},      {kMonday + 1, kMonday + 5},   {kMonday - 3, kMonday + 3},
      {kMonday + 2, kMonday + 30}, {kMonday - 20, kMonday + 39}, {kMonday, kMonday},
      {kMonday + 6, kMonday + 7},  {kMonday - 1, kMonday + 13}};
  for (const auto& [first, last] : spans) {
    std::map<std::string, std::pair<double, double>> expected;
    for (int i = 0; i < 60; ++i) {
      const double day = kMonday - 20 + i;
      if (day < first || day > last) continue;
      const std::string week = Date::FromSerial(day - (Date::FromSerial(day).Weekday() + 5) % 7)
                                   .ToString()
                                   .substr(0, 10);
      expected[week].first += 60 + i;
      expected[week].second += std::round(95.5 * (60 + i) / 60 * 1e4) / 1e4;
    }
    const auto got = Report("week", first, last);
    ASSERT_EQ(got.size(), expected.size()) << first << ".." << last;
    for (const auto& [week, sums] : expected) {
      EXPECT_EQ(got.at(week).first, sums.first) << week;
      EXPECT_NEAR(got.at(week).second, sums.second, 1e-3) << week;
    }
  }
}

}  // namespace
}  // namespace brivos::testing
