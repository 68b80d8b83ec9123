#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "brivos/foundation/Variant.hpp"
#include "brivos/invoicing/InvoiceBreakdown.hpp"

namespace brivos {

// What an invoicing run with a given cutoff would do, as
// CInvoiceMgr.PreviewInvoicing returns it: per project, whether the run
// would invoice it, with what, and for what total; and every time slip and
// expense of those projects with whether the run would bill it or why not.
//
// Why a line is left out, the first that applies:
//   "project not active"     an all-projects run takes active projects only
//   "project not billable"   Billable is not true
//   "already billed"         a slip in status 3, an expense whose Billed is
//                            not false
//   "not approved"           a slip in any status but 2 and 3, an expense
//                            whose Approved is not true
//   "no date"                TransDate or ExpenseDate is Null
//   "dated after the cutoff"
// A project the run would not invoice carries one of the first two reasons,
// "nothing to bill", "refused: " and why (its client or subscriber row is
// missing, or a line cannot be priced), with the number of the error the run
// raises there in Error, or "project not reached" for a project after a
// refused one, as the run stops at the first it refuses. The lines of a
// refused or unreached project are left out with the project's reason.
//
// Late-bound, the preview is a Collection of four Recordsets, reachable by
// position or by key: "Projects", "Slips", "Expenses" and "Warnings", each with the
// fields of its table below, in order, valued as FieldValue gives its
// member. A project's Slips and Expenses count the lines it bills; its Total
// is Null when nothing is billed, its Reason and Error Null when it is
// invoiced. A slip's Minutes is Null without start or stop.
// Projects come in the order the run takes them; the lines of a project
// follow its order for slips (task, staff row, day) and by date for expenses.
struct InvoicingPreview {
  struct Project {
    Variant project_id, name, client;
    bool invoiced = false;
    std::int32_t slips = 0, expenses = 0;
    Variant total = Variant::Null(), reason = Variant::Null(), error = Variant::Null();
  };
  static constexpr ResultField<Project> kProjectFields[] = {
      {"ProjectID", ReadMember<&Project::project_id>}, {"Project", ReadMember<&Project::name>},
      {"Client", ReadMember<&Project::client>},        {"Invoiced", ReadMember<&Project::invoiced>},
      {"Slips", ReadMember<&Project::slips>},          {"Expenses", ReadMember<&Project::expenses>},
      {"Total", ReadMember<&Project::total>},          {"Reason", ReadMember<&Project::reason>},
      {"Error", ReadMember<&Project::error>},
  };

  struct Slip {
    Variant project_id, slip_id, day, task, staff, minutes, status;
    bool included = false;
    Variant reason = Variant::Null();
  };
  static constexpr ResultField<Slip> kSlipFields[] = {
      {"ProjectID", ReadMember<&Slip::project_id>},
      {"SlipID", ReadMember<&Slip::slip_id>},
      {"Day", ReadMember<&Slip::day>},
      {"Task", ReadMember<&Slip::task>},
      {"Staff", ReadMember<&Slip::staff>},
      {"Minutes", ReadMember<&Slip::minutes>},
      {"Status", ReadMember<&Slip::status>},
      {"Included", ReadMember<&Slip::included>},
      {"Reason", ReadMember<&Slip::reason>},
  };

  struct Expense {
    Variant project_id, expense_id, date, description, amount;
    bool included = false;
    Variant reason = Variant::Null();
  };
  static constexpr ResultField<Expense> kExpenseFields[] = {
      {"ProjectID", ReadMember<&Expense::project_id>},
      {"ExpenseID", ReadMember<&Expense::expense_id>},
      {"Date", ReadMember<&Expense::date>},
      {"Description", ReadMember<&Expense::description>},
      {"Amount", ReadMember<&Expense::amount>},
      {"Included", ReadMember<&Expense::included>},
      {"Reason", ReadMember<&Expense::reason>},
  };

  // What to look at before running: a slip the run would bill whose time
  // is zero or less ("no time") or that overlaps another slip of the same
  // person on any project ("overlap"), and a project whose total would be
  // below zero ("negative total", SlipID Null). Project is the name of the
  // project the run would bill; Text says it in a sentence.
  struct Warning {
    Variant project_id, project, slip_id = Variant::Null(), kind, text;
  };
  static constexpr ResultField<Warning> kWarningFields[] = {
      {"ProjectID", ReadMember<&Warning::project_id>}, {"Project", ReadMember<&Warning::project>},
      {"SlipID", ReadMember<&Warning::slip_id>},       {"Kind", ReadMember<&Warning::kind>},
      {"Text", ReadMember<&Warning::text>},
  };

  std::vector<Project> projects;
  std::vector<Slip> slips;
  std::vector<Expense> expenses;
  std::vector<Warning> warnings;

  // Calls visit(key, fields, rows, one_row) for each section in order, as
  // InvoiceBreakdown::ForEachSection does; no section has one row only.
  template <class Visit>
  void ForEachSection(Visit&& visit) const {
    visit("Projects", std::span(kProjectFields), std::span(projects), false);
    visit("Slips", std::span(kSlipFields), std::span(slips), false);
    visit("Expenses", std::span(kExpenseFields), std::span(expenses), false);
    visit("Warnings", std::span(kWarningFields), std::span(warnings), false);
  }

  // The late-bound form described above; a late-bound call returns this.
  operator Variant() const;  // NOLINT(google-explicit-constructor)
};

}  // namespace brivos
