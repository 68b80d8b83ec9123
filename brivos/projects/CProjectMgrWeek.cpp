// CProjectMgr: a week submitted, a slip sent back with its reason, an
// expense approved with its markup.

#include <string>

#include "brivos/database/Database.hpp"
#include "brivos/foundation/Clock.hpp"
#include "brivos/projects/CProjectMgr.hpp"
#include "brivos/records/EnumeratedTypes.hpp"
#include "brivos/records/IUser.hpp"
#include "brivos/records/Write.hpp"
#include "brivos/security/internal/InternalTables.hpp"

namespace brivos {

using X = IProjectTransaction;
using E = IProjectExpense;

namespace {

constexpr std::size_t kReasonWidth = 255;
constexpr std::int64_t kMaxMarkupPercent = 1000;

// Why a slip was sent back: a table of the firm's own beside the records'.
// A slip sent back twice keeps both reasons; the later one is shown.
const RecordSchema& SlipReturnSchema() {
  static const RecordSchema schema(
      "SlipReturn",
      {{"SlipReturnID", "SlipReturnID", ColumnType::Key, 0, kNoFlags},
       {"TransID", "TransID", ColumnType::Long, 0, kIndexed},
       {"Reason", "Reason", ColumnType::Text, static_cast<int>(kReasonWidth), kNoFlags},
       {"ReturnedBy", "ReturnedBy", ColumnType::Text, 50, kNoFlags},
       {"ReturnedOn", "ReturnedOn", ColumnType::Date, 0, kNoFlags}},
      {}, nullptr);
  return schema;
}

[[maybe_unused]] const bool kRegistered = RegisterRecordSchema(&SlipReturnSchema);

// A date written into a statement as text, which CDATE reads back.
Parameter DateText(const Date& date) { return Parameter::Text(Variant(date.ToString())); }

// The filter of the slips of a user's week: its first day, its last day and
// the user's key, in this order.
constexpr const char* kWeekSlips =
    "TransDate>=CDATE(?) AND TransDate<=CDATE(?) AND StaffID IN (SELECT IProjectStaffID FROM "
    "IProjectStaff WHERE UserID=?)";

std::vector<Parameter> WeekParams(const Variant& account, const Variant& week_date,
                                  const Variant& user_name) {
  const Date first = CDate(week_date);
  return {DateText(first), DateText(Date::FromSerial(first.Serial() + 6)),
          Parameter::Number(IUser::Caller(account, user_name)->IUserID())};
}

std::string Trimmed(std::string text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.back())) text.pop_back();
  std::size_t start = 0;
  while (start < text.size() && blank(text[start])) ++start;
  return text.substr(start);
}

}  // namespace

BRIVOS_METHOD(CProjectMgr, SubmitWeek) {
  std::vector<Parameter> params = WeekParams(a.Account, a.WeekDate, a.ForUserName);
  params.push_back(X::P(X::kStatus, eTransStatus::tsPaused));
  params.push_back(X::P(X::kStatus, eTransStatus::tsActive));
  UnitOfWork work(a.Account);
  const int submitted = UpdateWhere<X>(
      work.Db(),
      {{X::kStatus, eTransStatus::tsComplete},
       {X::kApprovedBy, Variant::Null()},
       {X::kApprovedOn, Variant::Null()}},
      std::string(kWeekSlips) + " AND (Status=? OR (Status=? AND StopTime>StartTime))",
      std::span<const Parameter>(params));
  work.Commit();
  return submitted;
}

BRIVOS_METHOD(CProjectMgr, ReturnTransaction) {
  const std::string reason = Trimmed(a.Reason.IsNull() ? std::string() : CStr(a.Reason));
  if (reason.empty() || reason.size() > kReasonWidth) {
    Raise(errnum::kInvalidArgument,
          "the reason a slip is sent back is 1 to " + std::to_string(kReasonWidth) + " characters");
  }
  internal::WithTable(a.Account, SlipReturnSchema(), [&] {
    // One unit of work: the status read, the change and its reason.
    UnitOfWork work(a.Account);
    const auto old =
        work.Db().Query("SELECT Status FROM IProjectTransaction WHERE IProjectTransactionID=?",
                        {Parameter::Number(a.TransID)});
    const Variant status = old->Field("Status");
    const std::string slip = "slip " + CStr(a.TransID);
    if (!status.IsNull() && CLng(status) == eTransStatus::tsBilled) {
      Raise(errCProjectMgr::eTransactionNotApproved,
            slip + " is billed and cannot be sent back; delete its invoice first");
    }
    if (status.IsNull() || CLng(status) != eTransStatus::tsApproved) {
      Raise(errCProjectMgr::eTransactionNotApproved,
            slip + " is not approved; only an approved slip is sent back");
    }
    Update<X>(work.Db(), a.TransID,
              {{X::kStatus, eTransStatus::tsComplete},
               {X::kApprovedBy, Variant::Null()},
               {X::kApprovedOn, Variant::Null()}});
    work.Db().Execute(
        "INSERT INTO SlipReturn (TransID, Reason, ReturnedBy, ReturnedOn) VALUES (?,?,?,?);",
        {Parameter::Number(a.TransID), Parameter::Text(Variant(reason)),
         Parameter::QuotedText(a.UserName), Parameter::Date(Variant(Now()))});
    work.Commit();
  });
}

BRIVOS_METHOD(CProjectMgr, GetReturnedTransactions) {
  std::vector<Parameter> params = WeekParams(a.Account, a.WeekDate, a.ForUserName);
  params.push_back(X::P(X::kStatus, eTransStatus::tsActive));
  params.push_back(X::P(X::kStatus, eTransStatus::tsComplete));
  const std::string sql =
      "SELECT r.TransID AS TransID, r.Reason AS Reason, r.ReturnedBy AS ReturnedBy, "
      "r.ReturnedOn AS ReturnedOn FROM SlipReturn r JOIN IProjectTransaction x ON "
      "x.IProjectTransactionID=r.TransID WHERE r.SlipReturnID=(SELECT MAX(SlipReturnID) FROM "
      "SlipReturn WHERE TransID=r.TransID) AND x.IProjectTransactionID IN (SELECT "
      "IProjectTransactionID FROM IProjectTransaction WHERE " +
      std::string(kWeekSlips) + " AND Status IN (?,?)) ORDER BY x.TransDate ASC, x.StartTime ASC;";
  return internal::WithTable(a.Account, SlipReturnSchema(), [&] {
    return Connection::Open(a.Account).Query(sql, std::span<const Parameter>(params));
  });
}

BRIVOS_METHOD(CProjectMgr, ApproveExpense) {
  const Currency markup = CCur(a.Markup);
  if (markup.Scaled() < 0 || markup.Scaled() > kMaxMarkupPercent * 10000) {
    Raise(errnum::kInvalidArgument, "a markup is 0 to 1000 percent, not " + markup.ToString());
  }
  Found(E::Load(a.Account, a.ExpenseID));
  Update<E>(a.Account, a.ExpenseID,
            {{E::kApproved, true},
             {E::kMarkup, Variant(markup)},
             {E::kApprovedBy, a.UserName},
             {E::kApprovedOn, Variant(Now())}});
}

}  // namespace brivos
