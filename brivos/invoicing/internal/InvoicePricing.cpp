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

using X = IProjectTransaction;
using E = IProjectExpense;

// The one pricing routine, a line at a time: prices `slip` (a record, or a
// row of the columns pricing reads) and adds it into `totals`.
template <class Slip>
InvoiceBreakdown::Slip PriceSlip(const Slip& slip, const SalesTax& tax,
                                 InvoiceBreakdown::Totals& totals) {
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
  totals.hours = static_cast<double>(totals.minutes) / 60;
  totals.time = totals.time + line.amount;
  totals.tax1 = totals.tax1 + line.tax1;
  totals.tax2 = totals.tax2 + line.tax2;
  return line;
}

template <class Expense>
InvoiceBreakdown::Expense PriceExpense(const Expense& expense, InvoiceBreakdown::Totals& totals) {
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
  return line;
}

// A row of the slip columns pricing reads, in the order SlipColumns lists
// them, read under the records' property names.
struct SlipRow {
  const std::vector<Variant>& row;
  const Variant& StartTime() const { return row[0]; }
  const Variant& StopTime() const { return row[1]; }
  const Variant& OverTime() const { return row[2]; }
  const Variant& OTRate() const { return row[3]; }
  const Variant& StaffRate() const { return row[4]; }
};
struct ExpenseRow {
  const std::vector<Variant>& row;
  const Variant& Amount() const { return row[0]; }
  const Variant& ExchangeRate() const { return row[1]; }
  const Variant& Markup() const { return row[2]; }
};

// "SELECT a,b FROM table" for the columns at `positions` of `schema`.
std::string SelectColumns(const RecordSchema& schema, std::initializer_list<std::size_t> positions) {
  std::string sql = "SELECT ";
  for (const std::size_t at : positions) {
    if (sql.size() > 7) sql += ',';
    sql += schema.columns[at].column;
  }
  return sql + " FROM " + std::string(schema.table);
}

}  // namespace

void PriceLines(const Collection& slips, const Collection& expenses, const SalesTax& tax,
                LineNames& names, InvoiceBreakdown& out) {
  for (const Variant& item : slips.Items()) {
    const auto& slip = static_cast<const X&>(*item.AsObject());
    InvoiceBreakdown::Slip line = PriceSlip(slip, tax, out.totals);
    line.slip_id = slip.IProjectTransactionID();
    line.day = slip.TransDate();
    line.task_id = slip.TaskID();
    line.task = names.Task(line.task_id);
    line.staff_id = slip.StaffID();
    line.staff = names.Staff(line.staff_id);
    line.description = slip.Description();
    out.slips.push_back(std::move(line));
  }
  for (const Variant& item : expenses.Items()) {
    const auto& expense = static_cast<const E&>(*item.AsObject());
    InvoiceBreakdown::Expense line = PriceExpense(expense, out.totals);
    line.expense_id = expense.IProjectExpenseID();
    line.date = expense.ExpenseDate();
    line.description = expense.Description();
    out.expenses.push_back(std::move(line));
  }
}

InvoiceBreakdown::Totals PriceTotals(const Collection& slips, const Collection& expenses,
                                     const SalesTax& tax) {
  InvoiceBreakdown::Totals totals;
  for (const Variant& item : slips.Items()) {
    PriceSlip(static_cast<const X&>(*item.AsObject()), tax, totals);
  }
  for (const Variant& item : expenses.Items()) {
    PriceExpense(static_cast<const E&>(*item.AsObject()), totals);
  }
  return totals;
}

InvoiceBreakdown::Totals PriceSelected(Connection& db, const LineFilter& slips,
                                       const LineFilter& expenses, const SalesTax& tax) {
  static const std::string kSlips = SelectColumns(
      X::Schema(), {X::kStartTime, X::kStopTime, X::kOverTime, X::kOTRate, X::kStaffRate});
  static const std::string kExpenses =
      SelectColumns(E::Schema(), {E::kAmount, E::kExchangeRate, E::kMarkup});
  const auto statement = [](const std::string& select, const LineFilter& filter) {
    std::string sql = select + " WHERE " + std::string(filter.where);
    if (!filter.order_by.empty()) sql += " ORDER BY " + std::string(filter.order_by);
    return sql;
  };
  InvoiceBreakdown::Totals totals;
  const std::shared_ptr<Recordset> slip_rows = db.Query(statement(kSlips, slips), slips.params);
  for (const auto& row : slip_rows->Rows()) PriceSlip(SlipRow{row}, tax, totals);
  const std::shared_ptr<Recordset> expense_rows =
      db.Query(statement(kExpenses, expenses), expenses.params);
  for (const auto& row : expense_rows->Rows()) PriceExpense(ExpenseRow{row}, totals);
  return totals;
}

InvoiceBreakdown::Totals PriceTotals(Connection& db, const Variant& invoice_id,
                                     const SalesTax& tax) {
  const Parameter id[] = {Parameter::Number(invoice_id)};
  return PriceSelected(db, {"InvoiceID=?", id, kInvoiceSlipOrder}, {"InvoiceID=?", id, {}}, tax);
}

}  // namespace brivos::invoicing
