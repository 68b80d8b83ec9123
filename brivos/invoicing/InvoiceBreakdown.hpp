#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "brivos/foundation/Currency.hpp"
#include "brivos/foundation/Variant.hpp"

namespace brivos {

// One field of a result row: the name it is published under late-bound and
// the value it reads from the row's struct. A section's fields are one
// table of these, so that the late-bound rows, and whatever prints them,
// name each member once.
template <class Row>
struct ResultField {
  const char* name;
  Variant (*value)(const Row&);
};

// The late-bound value of a member: a Variant as it is, a flag as a
// Boolean, a count as a Long (a Double beyond 32 bits), Double and Currency
// as they are.
inline Variant FieldValue(const Variant& value) { return value; }
inline Variant FieldValue(bool flag) { return Variant(flag); }
inline Variant FieldValue(std::int32_t count) { return Variant(count); }
inline Variant FieldValue(std::int64_t count) {
  if (count >= std::numeric_limits<std::int32_t>::min() &&
      count <= std::numeric_limits<std::int32_t>::max()) {
    return Variant(static_cast<std::int32_t>(count));
  }
  return Variant(static_cast<double>(count));
}
inline Variant FieldValue(double value) { return Variant(value); }
inline Variant FieldValue(Currency amount) { return Variant(amount); }

namespace internal {
// The struct a pointer to member belongs to.
template <auto Member>
struct MemberRow;
template <class Row, class T, T Row::*Member>
struct MemberRow<Member> {
  using type = Row;
};
}  // namespace internal

// ReadMember<&Row::member> reads that member of a row as its FieldValue.
template <auto Member>
Variant ReadMember(const typename internal::MemberRow<Member>::type& row) {
  return FieldValue(row.*Member);
}

// An invoice priced line by line, as CInvoiceMgr.GetInvoiceBreakdown returns
// it and GetInvoiceTotal totals it. Every amount is currency and the totals
// are the sums of the lines, so that
//   total = time + tax1 + tax2 + expenses + markup
// holds to the ten-thousandth, and GetInvoiceTotal is `total`.
//
// A slip's amount is what its time adds to the invoice's running total: the
// running total plus rate x hours, rounded to currency, less the running
// total. That is rate x hours rounded to currency, except that a value
// exactly halfway between two ten-thousandths may round the other way.
//
// Late-bound, the breakdown is a Collection of four Recordsets, reachable by
// position or by key: "Header" (one row), "Slips" (one row per time slip, by
// task, staff row and day), "Expenses" (one row per expense, in the
// database's order) and "Totals" (one row). Each section's fields are its
// table below, in order, each valued as FieldValue gives its member:
// amounts Currency, Hours, ExchangeRate and the tax rates Double, Minutes
// Long (Double beyond 32 bits), OverTime Boolean; the other fields are the
// records' values as stored, Null where the record has none.
struct InvoiceBreakdown {
  struct Header {
    Variant invoice_id, invoice_number, invoice_date, status, status_text, create_date, created_by,
        last_modified, last_modified_by;
    // The project's subscriber's company name.
    Variant company;
    Variant project_id, project, client_id, client, terms, notes;
    // The client's tax code, and the name and rate of each tax charged on
    // time; Null for a tax that is not charged.
    Variant tax_code, tax1_name, tax1_rate, tax2_name, tax2_rate, tax2_piggy_back;
  };
  static constexpr ResultField<Header> kHeaderFields[] = {
      {"InvoiceID", ReadMember<&Header::invoice_id>},
      {"InvoiceNumber", ReadMember<&Header::invoice_number>},
      {"InvoiceDate", ReadMember<&Header::invoice_date>},
      {"Status", ReadMember<&Header::status>},
      {"StatusText", ReadMember<&Header::status_text>},
      {"CreateDate", ReadMember<&Header::create_date>},
      {"CreatedBy", ReadMember<&Header::created_by>},
      {"LastModified", ReadMember<&Header::last_modified>},
      {"LastModifiedBy", ReadMember<&Header::last_modified_by>},
      {"Company", ReadMember<&Header::company>},
      {"ProjectID", ReadMember<&Header::project_id>},
      {"Project", ReadMember<&Header::project>},
      {"ClientID", ReadMember<&Header::client_id>},
      {"Client", ReadMember<&Header::client>},
      {"Terms", ReadMember<&Header::terms>},
      {"Notes", ReadMember<&Header::notes>},
      {"TaxCode", ReadMember<&Header::tax_code>},
      {"Tax1Name", ReadMember<&Header::tax1_name>},
      {"Tax1Rate", ReadMember<&Header::tax1_rate>},
      {"Tax2Name", ReadMember<&Header::tax2_name>},
      {"Tax2Rate", ReadMember<&Header::tax2_rate>},
      {"Tax2PiggyBack", ReadMember<&Header::tax2_piggy_back>},
  };

  struct Slip {
    Variant slip_id, day, task_id, task, staff_id;
    // The staff member's first and last name, or the user name without them.
    Variant staff;
    Variant description;
    bool overtime = false;
    // Minute boundaries from start to stop; negative when the stop is earlier.
    std::int64_t minutes = 0;
    double hours = 0;
    // The overtime rate for an overtime slip, else the staff rate.
    Currency rate;
    Currency amount, tax1, tax2;
  };
  static constexpr ResultField<Slip> kSlipFields[] = {
      {"SlipID", ReadMember<&Slip::slip_id>},
      {"Day", ReadMember<&Slip::day>},
      {"TaskID", ReadMember<&Slip::task_id>},
      {"Task", ReadMember<&Slip::task>},
      {"StaffID", ReadMember<&Slip::staff_id>},
      {"Staff", ReadMember<&Slip::staff>},
      {"Description", ReadMember<&Slip::description>},
      {"OverTime", ReadMember<&Slip::overtime>},
      {"Minutes", ReadMember<&Slip::minutes>},
      {"Hours", ReadMember<&Slip::hours>},
      {"Rate", ReadMember<&Slip::rate>},
      {"Amount", ReadMember<&Slip::amount>},
      {"Tax1", ReadMember<&Slip::tax1>},
      {"Tax2", ReadMember<&Slip::tax2>},
  };

  struct Expense {
    Variant expense_id, date, description;
    Currency amount;
    double exchange_rate = 0;
    // amount x exchange rate, rounded to currency.
    Currency converted;
    // The markup percentage, and converted x percentage / 100 rounded.
    Currency markup_percent, markup;
  };
  static constexpr ResultField<Expense> kExpenseFields[] = {
      {"ExpenseID", ReadMember<&Expense::expense_id>},
      {"Date", ReadMember<&Expense::date>},
      {"Description", ReadMember<&Expense::description>},
      {"Amount", ReadMember<&Expense::amount>},
      {"ExchangeRate", ReadMember<&Expense::exchange_rate>},
      {"Converted", ReadMember<&Expense::converted>},
      {"MarkupPercent", ReadMember<&Expense::markup_percent>},
      {"Markup", ReadMember<&Expense::markup>},
  };

  struct Totals {
    std::int64_t minutes = 0;
    double hours = 0;
    Currency time, tax1, tax2, expenses, markup, total;
  };
  static constexpr ResultField<Totals> kTotalsFields[] = {
      {"Minutes", ReadMember<&Totals::minutes>}, {"Hours", ReadMember<&Totals::hours>},
      {"Time", ReadMember<&Totals::time>},       {"Tax1", ReadMember<&Totals::tax1>},
      {"Tax2", ReadMember<&Totals::tax2>},       {"Expenses", ReadMember<&Totals::expenses>},
      {"Markup", ReadMember<&Totals::markup>},   {"Total", ReadMember<&Totals::total>},
  };

  Header header;
  std::vector<Slip> slips;
  std::vector<Expense> expenses;
  Totals totals;

  // Calls visit(key, fields, rows, one_row) for each section in order, with
  // `fields` its table and `rows` a span of its rows; `one_row` is true for
  // the sections that always hold exactly one row.
  template <class Visit>
  void ForEachSection(Visit&& visit) const {
    visit("Header", std::span(kHeaderFields), std::span(&header, 1), true);
    visit("Slips", std::span(kSlipFields), std::span(slips), false);
    visit("Expenses", std::span(kExpenseFields), std::span(expenses), false);
    visit("Totals", std::span(kTotalsFields), std::span(&totals, 1), true);
  }

  // The late-bound form described above; a late-bound call returns this.
  operator Variant() const;  // NOLINT(google-explicit-constructor)
};

}  // namespace brivos
