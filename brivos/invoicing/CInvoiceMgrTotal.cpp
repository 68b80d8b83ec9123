// CInvoiceMgr: the total of an invoice.

#include <cmath>

#include "brivos/invoicing/CInvoiceMgr.hpp"
#include "brivos/records/CITaxCode.hpp"
#include "brivos/records/IProjectExpense.hpp"
#include "brivos/records/IProjectTransaction.hpp"
#include "brivos/records/SFAProspect.hpp"

namespace brivos {

namespace {

// A flag that is definitely false: Null is neither.
bool IsFalse(const Variant& flag) { return !flag.IsNull() && !CBool(flag); }

// The minute boundaries from `start` to `stop`, each taken to its whole minute.
std::int64_t MinutesBetween(const Date& start, const Date& stop) {
  const auto minute_of = [](const Date& d) {
    return static_cast<std::int64_t>(std::floor(std::round(d.Serial() * 86400.0) / 60.0));
  };
  return minute_of(stop) - minute_of(start);
}

}  // namespace

BRIVOS_METHOD(CInvoiceMgr, GetInvoiceTotal) {
  std::shared_ptr<IProjectInvoice> invoice =
      GetInvoice(a.Account, a.UserName, a.Token, a.InvoiceID);
  // An invoice whose project or client is gone is totalled without tax.
  std::shared_ptr<CITaxCode> tax;
  if (std::shared_ptr<IProject> project = invoice->Project(a.Account)) {
    if (std::shared_ptr<SFAProspect> client = project->Client(a.Account))
      tax = client->TaxCode(a.Account);
  }
  const bool taxed = tax && IsFalse(tax->Inactive());
  Currency total;
  auto slips = GetInvoiceTransactions(a.Account, a.UserName, a.Token, a.InvoiceID);
  for (const Variant& item : slips->Items()) {
    const auto& slip = static_cast<IProjectTransaction&>(*item.AsObject());
    const double hours =
        static_cast<double>(MinutesBetween(CDate(slip.StartTime()), CDate(slip.StopTime()))) / 60;
    const Variant overtime = slip.OverTime();
    const double rate =
        CCur(!overtime.IsNull() && CBool(overtime) ? slip.OTRate() : slip.StaffRate()).ToDouble();
    const double time = rate * hours;
    total = Currency::FromDouble(total.ToDouble() + time);
    Currency tax1, tax2;
    if (taxed && IsFalse(tax->Tax1Exempt())) {
      tax1 = Currency::FromDouble(time * (CDbl(tax->Tax1Rate()) / 100));
    }
    if (taxed && IsFalse(tax->Tax2Exempt())) {
      const Variant piggy = tax->Tax2PiggyBack();
      const double base = !piggy.IsNull() && CBool(piggy) ? tax1.ToDouble() : 0;
      tax2 = Currency::FromDouble((time + base) * (CDbl(tax->Tax2Rate()) / 100));
    }
    total = total + tax1 + tax2;
  }
  auto expenses = GetInvoiceExpenses(a.Account, a.UserName, a.Token, a.InvoiceID);
  for (const Variant& item : expenses->Items()) {
    const auto& expense = static_cast<IProjectExpense&>(*item.AsObject());
    const Currency amount =
        Currency::FromDouble(CCur(expense.Amount()).ToDouble() * CDbl(expense.ExchangeRate()));
    const Currency markup =
        Currency::FromDouble((amount * CCur(expense.Markup())).ToDouble() / 100);
    total = total + amount + markup;
  }
  return total;
}

}  // namespace brivos
