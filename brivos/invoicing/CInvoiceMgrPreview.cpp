// CInvoiceMgr: the preview of an invoicing run.

#include <map>
#include <set>
#include <span>
#include <string>

#include "brivos/account/CAccountMgr.hpp"
#include "brivos/database/Database.hpp"
#include "brivos/invoicing/CInvoiceMgr.hpp"
#include "brivos/invoicing/internal/InvoicePricing.hpp"
#include "brivos/invoicing/internal/RunSelection.hpp"
#include "brivos/records/EnumeratedTypes.hpp"
#include "brivos/records/IProjectExpense.hpp"
#include "brivos/records/IProjectTransaction.hpp"
#include "brivos/records/ISubScriber.hpp"
#include "brivos/records/SFAProspect.hpp"

namespace brivos {

namespace {

constexpr const char* kNotActive = "project not active";
constexpr const char* kNotBillable = "project not billable";
constexpr const char* kNothingToBill = "nothing to bill";
constexpr const char* kAlreadyBilled = "already billed";
constexpr const char* kNotApproved = "not approved";
constexpr const char* kNoDate = "no date";
constexpr const char* kAfterCutoff = "dated after the cutoff";
constexpr const char* kProjectRefused = "project refused";
constexpr const char* kNotReached = "project not reached";

// A line the run would have billed but for its project.
template <class Line>
void LeaveOut(Line& line, const char* reason) {
  if (!line.included) return;
  line.included = false;
  line.reason = Variant(reason);
}

// Why the run leaves out a slip of a billable project.
const char* SlipReason(const IProjectTransaction& slip) {
  const Variant status = slip.Status();
  if (!status.IsNull() && CLng(status) == eTransStatus::tsBilled) return kAlreadyBilled;
  if (status.IsNull() || CLng(status) != eTransStatus::tsApproved) return kNotApproved;
  return slip.TransDate().IsNull() ? kNoDate : kAfterCutoff;
}

// Why the run leaves out an expense of a billable project.
const char* ExpenseReason(const IProjectExpense& expense) {
  if (!IsFalse(expense.Billed())) return kAlreadyBilled;
  if (!IsTrue(expense.Approved())) return kNotApproved;
  return expense.ExpenseDate().IsNull() ? kNoDate : kAfterCutoff;
}

Variant MinutesOf(const IProjectTransaction& slip) {
  if (slip.StartTime().IsNull() || slip.StopTime().IsNull()) return Variant::Null();
  return invoicing::CountValue(
      invoicing::MinutesBetween(CDate(slip.StartTime()), CDate(slip.StopTime())));
}

std::string TwoDigits(std::int64_t n) { return (n < 10 ? "0" : "") + std::to_string(n); }

// "2.50" for 150 minutes, "-1.25" for -75: hundredths of an hour, halves up.
std::string HoursText(std::int64_t minutes) {
  const std::int64_t magnitude = minutes < 0 ? -minutes : minutes;
  const std::int64_t hundredths = (magnitude * 100 + 30) / 60;
  return (minutes < 0 ? "-" : "") + std::to_string(hundredths / 100) + "." +
         TwoDigits(hundredths % 100);
}

// "09:05"
std::string ClockText(const Variant& stamp) {
  if (stamp.IsNull()) return "?";
  const Date at = CDate(stamp);
  return TwoDigits(at.Hour()) + ":" + TwoDigits(at.Minute());
}

// "the slip of 2024-03-05 09:00-10:30 (Design, Alice Adams)"
std::string SlipText(const InvoicingPreview::Slip& line, const IProjectTransaction& slip) {
  const std::string day = line.day.IsNull() ? "no date" : CStr(line.day).substr(0, 10);
  return "the slip of " + day + " " + ClockText(slip.StartTime()) + "-" +
         ClockText(slip.StopTime()) + " (" + CStr(line.task) + ", " + CStr(line.staff) + ")";
}

// For each slip of the project, the slips of the same person (through any
// of their staff rows, on any project) whose time overlaps it, as
// "slip 12 (09:30-10:00, Website)".
std::map<std::int32_t, std::string> Overlaps(const Variant& account, const Variant& project_id) {
  std::map<std::int32_t, std::string> found;
  Connection db = Connection::Open(account);
  const auto rows = db.Query(
      "SELECT x.IProjectTransactionID, y.IProjectTransactionID, y.StartTime, y.StopTime, p.Name "
      "FROM IProjectTransaction x JOIN IProjectStaff sx ON sx.IProjectStaffID=x.StaffID "
      "JOIN IProjectStaff sy ON sy.UserID=sx.UserID JOIN IProjectTransaction y ON "
      "y.StaffID=sy.IProjectStaffID LEFT JOIN IProject p ON p.IProjectID=y.Parent WHERE "
      "x.Parent=? AND y.IProjectTransactionID<>x.IProjectTransactionID AND "
      "y.StartTime<x.StopTime AND x.StartTime<y.StopTime ORDER BY y.StartTime ASC;",
      {Parameter::Number(project_id)});
  for (const auto& row : rows->Rows()) {
    std::string& text = found[CLng(row[0])];
    text += (text.empty() ? "" : ", ") + std::string("slip ") + CStr(row[1]) + " (" +
            ClockText(row[2]) + "-" + ClockText(row[3]) + ", " +
            (row[4].IsNull() ? std::string("no project") : CStr(row[4])) + ")";
  }
  return found;
}

// Adds a project and its lines to the preview. `left_out` is the reason the
// run does not take the project at all, or nullptr when it does. Returns
// false when the run would refuse the project, and so stop there.
bool PreviewProject(const Variant& account, const Date& cutoff, IProject& project,
                    const char* left_out, InvoicingPreview& out) {
  using X = IProjectTransaction;
  using E = IProjectExpense;
  InvoicingPreview::Project row;
  row.project_id = project.IProjectID();
  row.name = project.Name();
  std::shared_ptr<SFAProspect> client = project.Client(account);
  row.client = client ? client->CompanyName() : Variant::Null();
  if (left_out == nullptr && !invoicing::IsBillable(project)) left_out = kNotBillable;

  const Parameter id = Parameter::Number(row.project_id);
  std::set<std::int32_t> slips_in, expenses_in;
  if (left_out == nullptr) {
    Connection db = Connection::Open(account);
    slips_in = invoicing::LineKeys(db, "IProjectTransaction",
                                   invoicing::SlipsToBill(row.project_id, cutoff));
    expenses_in = invoicing::LineKeys(db, "IProjectExpense",
                                      invoicing::ExpensesToBill(row.project_id, cutoff));
  }

  invoicing::LineNames names(account);
  Collection billed_slips, billed_expenses;
  const std::size_t first_slip = out.slips.size(), first_expense = out.expenses.size();
  const auto overlaps =
      slips_in.empty() ? std::map<std::int32_t, std::string>() : Overlaps(account, row.project_id);
  const auto warn = [&](const Variant& slip_id, const char* kind, std::string text) {
    out.warnings.push_back({row.project_id, row.name, slip_id, Variant(kind), Variant(text)});
  };
  const std::size_t first_warning = out.warnings.size();
  const auto slips = X::Select(account, "Parent=?", {id}, invoicing::kSlipOrder);
  for (const Variant& item : slips->Items()) {
    const auto& slip = static_cast<X&>(*item.AsObject());
    InvoicingPreview::Slip line;
    line.project_id = row.project_id;
    line.slip_id = slip.IProjectTransactionID();
    line.day = slip.TransDate();
    line.task = names.Task(slip.TaskID());
    line.staff = names.Staff(slip.StaffID());
    line.minutes = MinutesOf(slip);
    line.status = slip.Status();
    line.included = slips_in.count(CLng(line.slip_id)) > 0;
    if (line.included) {
      billed_slips.Add(item);
      if (!line.minutes.IsNull() && CLng(line.minutes) <= 0) {
        warn(line.slip_id, "no time",
             SlipText(line, slip) + " bills " + HoursText(CLng(line.minutes)) + " h");
      }
      if (const auto other = overlaps.find(CLng(line.slip_id)); other != overlaps.end()) {
        warn(line.slip_id, "overlap",
             SlipText(line, slip) + " overlaps " + other->second + " of the same person");
      }
    } else {
      line.reason = Variant(left_out != nullptr ? left_out : SlipReason(slip));
    }
    out.slips.push_back(std::move(line));
  }
  const auto expenses = E::Select(account, "Parent=?", {id}, "ExpenseDate ASC");
  for (const Variant& item : expenses->Items()) {
    const auto& expense = static_cast<E&>(*item.AsObject());
    InvoicingPreview::Expense line;
    line.project_id = row.project_id;
    line.expense_id = expense.IProjectExpenseID();
    line.date = expense.ExpenseDate();
    line.description = expense.Description();
    line.amount = expense.Amount();
    line.included = expenses_in.count(CLng(line.expense_id)) > 0;
    if (line.included) {
      billed_expenses.Add(item);
    } else {
      line.reason = Variant(left_out != nullptr ? left_out : ExpenseReason(expense));
    }
    out.expenses.push_back(std::move(line));
  }

  row.slips = billed_slips.Count();
  row.expenses = billed_expenses.Count();
  row.invoiced = row.slips + row.expenses > 0;
  if (!row.invoiced) {
    row.reason = Variant(left_out != nullptr ? left_out : kNothingToBill);
  } else {
    const invoicing::RunPricing priced =
        invoicing::PriceForRun(account, project, billed_slips, billed_expenses);
    if (priced.refused == 0) {
      row.total = priced.totals.total;
      if (priced.totals.total.Scaled() < 0) {
        warn(Variant::Null(), "negative total",
             "the invoice would total " + priced.totals.total.ToString() + ", below zero");
      }
    } else {
      // The run raises this error here: the project's lines stay unbilled.
      row.invoiced = false;
      row.slips = row.expenses = 0;
      row.reason = Variant("refused: " + priced.reason);
      row.error = priced.refused;
      // The run bills none of it: nothing to warn of.
      out.warnings.resize(first_warning);
      for (auto& line : std::span(out.slips).subspan(first_slip)) LeaveOut(line, kProjectRefused);
      for (auto& line : std::span(out.expenses).subspan(first_expense)) {
        LeaveOut(line, kProjectRefused);
      }
    }
  }
  const bool refused = !row.error.IsNull();
  out.projects.push_back(std::move(row));
  return !refused;
}

}  // namespace

BRIVOS_METHOD(CInvoiceMgr, PreviewInvoicing) {
  const Date cutoff = CDate(a.CutoffDate);
  const bool all_projects = a.Projects.IsEmpty() || a.Projects.IsNull();
  InvoicingPreview preview;
  std::set<std::int32_t> seen;
  const auto taken = all_projects ? invoicing::ActiveProjects(a.Account)
                                  : invoicing::ListedProjects(a.Account, a.Projects);
  // The run stops at the first project it refuses: those after it are not reached.
  bool reached = true;
  for (const auto& project : taken) {
    // A project listed again finds its lines billed by its first pass.
    if (seen.insert(CLng(project->IProjectID())).second) {
      reached =
          PreviewProject(a.Account, cutoff, *project, reached ? nullptr : kNotReached, preview) &&
          reached;
    }
  }
  if (all_projects) {
    std::shared_ptr<ISubScriber> subscriber = CAccountMgr{}.GetAccountInfo(a.Account);
    if (!subscriber) RaiseRuntime(errnum::kNoObject);
    auto others = IProject::Select(a.Account, "Parent=? AND (Status IS NULL OR Status<>?)",
                                   {Parameter::Number(subscriber->ISubScriberID()),
                                    IProject::P(IProject::kStatus, eProjectStatus::psActive)},
                                   "IProjectID ASC");
    for (const Variant& item : others->Items()) {
      PreviewProject(a.Account, cutoff, static_cast<IProject&>(*item.AsObject()), kNotActive,
                     preview);
    }
  }
  return preview;
}

}  // namespace brivos
