#include "brivos/invoicing/internal/InvoicePricing.hpp"

#include <cmath>
#include <utility>

#include "brivos/records/IProjectExpense.hpp"
#include "brivos/records/IProjectStaff.hpp"
#include "brivos/records/IProjectTask.hpp"
#include "brivos/records/IProjectTransaction.hpp"
#include "brivos/records/IUser.hpp"

namespace brivos::invoicing {

std::int64_t MinutesBetween(const Date& start, const Date& stop) {
  const auto minute_of = [](const Date& d) {
    return static_cast<std::int64_t>(std::floor(std::round(d.Serial() * 86400.0) / 60.0));
  };
  return minute_of(stop) - minute_of(start);
}

SalesTax SalesTaxOf(std::shared_ptr<CITaxCode> code) {
  SalesTax tax;
  if (code && IsFalse(code->Inactive())) {
    tax.tax1 = IsFalse(code->Tax1Exempt());
    tax.tax2 = IsFalse(code->Tax2Exempt());
  }
  tax.code = std::move(code);
  return tax;
}

namespace {

bool NoKey(const Variant& key) { return key.IsNull() || key.IsEmpty(); }

std::string TextOf(const Variant& value) { return value.IsNull() ? std::string() : CStr(value); }

std::string Trimmed(std::string text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

Variant LineNames::Task(const Variant& task_id) {
  if (NoKey(task_id)) return Variant::Null();
  auto [at, added] = tasks_.try_emplace(CStr(task_id), Variant::Null());
  if (added) {
    if (auto task = IProjectTask::Load(account_, task_id)) at->second = task->Name();
  }
  return at->second;
}

Variant LineNames::Staff(const Variant& staff_id) {
  if (NoKey(staff_id)) return Variant::Null();
  auto [at, added] = staff_.try_emplace(CStr(staff_id), Variant::Null());
  if (added) {
    std::shared_ptr<IProjectStaff> staff = IProjectStaff::Load(account_, staff_id);
    if (std::shared_ptr<IUser> user = staff ? staff->User(account_) : nullptr) {
      const std::string name = Trimmed(TextOf(user->FirstName()) + " " + TextOf(user->LastName()));
      at->second = name.empty() ? user->UserName() : Variant(name);
    }
  }
  return at->second;
}

namespace {

// The one pricing routine: prices `slips` and then `expenses` in their
// order into `totals`, handing each priced line with its record to
// keep_slip(slip, line) or keep_expense(expense, line).
template <class KeepSlip, class KeepExpense>
void Price(const Collection& slips, const Collection& expenses, const SalesTax& tax,
           InvoiceBreakdown::Totals& totals, KeepSlip keep_slip, KeepExpense keep_expense) {
  for (const Variant& item : slips.Items()) {
    const auto& slip = static_cast<IProjectTransaction&>(*item.AsObject());
    InvoiceBreakdown::Slip line;
    line.minutes = MinutesBetween(CDate(slip.StartTime()), CDate(slip.StopTime()));
    line.hours = static_cast<double>(line.minutes) / 60;
    line.overtime = IsTrue(slip.OverTime());
    line.rate = CCur(line.overtime ? slip.OTRate() : slip.StaffRate());
    const double time = line.rate.ToDouble() * line.hours;
    // The running total takes the time rounded once; the line is what it took.
    line.amount = Currency::FromDouble(totals.total.ToDouble() + time) - totals.total;
    if (tax.tax1) {
      line.tax1 = Currency::FromDouble(time * (CDbl(tax.code->Tax1Rate()) / 100));
    }
    if (tax.tax2) {
      // Piggy-backed, tax 2 is charged on the time and tax 1 (compound tax).
      const double base = IsTrue(tax.code->Tax2PiggyBack()) ? line.tax1.ToDouble() : 0;
      line.tax2 = Currency::FromDouble((time + base) * (CDbl(tax.code->Tax2Rate()) / 100));
    }
    totals.total = totals.total + line.amount + line.tax1 + line.tax2;
    totals.minutes += line.minutes;
    totals.time = totals.time + line.amount;
    totals.tax1 = totals.tax1 + line.tax1;
    totals.tax2 = totals.tax2 + line.tax2;
    keep_slip(slip, std::move(line));
  }
  totals.hours = static_cast<double>(totals.minutes) / 60;
  for (const Variant& item : expenses.Items()) {
    const auto& expense = static_cast<IProjectExpense&>(*item.AsObject());
    InvoiceBreakdown::Expense line;
    line.amount = CCur(expense.Amount());
    line.exchange_rate = CDbl(expense.ExchangeRate());
    line.converted = Currency::FromDouble(line.amount.ToDouble() * line.exchange_rate);
    line.markup_percent = CCur(expense.Markup());
    // The product of two currency values is kept to four places before the division.
    line.markup = Currency::FromDouble((line.converted * line.markup_percent).ToDouble() / 100);
    totals.total = totals.total + line.converted + line.markup;
    totals.expenses = totals.expenses + line.converted;
    totals.markup = totals.markup + line.markup;
    keep_expense(expense, std::move(line));
  }
}

}  // namespace

void PriceLines(const Collection& slips, const Collection& expenses, const SalesTax& tax,
                LineNames& names, InvoiceBreakdown& out) {
  Price(
      slips, expenses, tax, out.totals,
      [&](const IProjectTransaction& slip, InvoiceBreakdown::Slip line) {
        line.slip_id = slip.IProjectTransactionID();
        line.day = slip.TransDate();
        line.task_id = slip.TaskID();
        line.task = names.Task(line.task_id);
        line.staff_id = slip.StaffID();
        line.staff = names.Staff(line.staff_id);
        line.description = slip.Description();
        out.slips.push_back(std::move(line));
      },
      [&](const IProjectExpense& expense, InvoiceBreakdown::Expense line) {
        line.expense_id = expense.IProjectExpenseID();
        line.date = expense.ExpenseDate();
        line.description = expense.Description();
        out.expenses.push_back(std::move(line));
      });
}

InvoiceBreakdown::Totals PriceTotals(const Collection& slips, const Collection& expenses,
                                     const SalesTax& tax) {
  InvoiceBreakdown::Totals totals;
  Price(
      slips, expenses, tax, totals, [](const IProjectTransaction&, InvoiceBreakdown::Slip) {},
      [](const IProjectExpense&, InvoiceBreakdown::Expense) {});
  return totals;
}

}  // namespace brivos::invoicing
