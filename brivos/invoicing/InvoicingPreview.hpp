#pragma once

#include <cstdint>
#include <vector>

#include "brivos/foundation/Variant.hpp"

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
// or "nothing to bill".
//
// Late-bound, the preview is a Collection of three Recordsets, reachable by
// position or by key:
//   1 "Projects" ProjectID, Project, Client, Invoiced (Boolean), Slips and
//                Expenses (the lines it bills, Long), Total (Currency; Null
//                when nothing is billed or the lines cannot be priced, as
//                GetInvoiceTotal would then fail), Reason (Null when invoiced)
//   2 "Slips"    ProjectID, SlipID, Day, Task, Staff, Minutes (Null without
//                start or stop), Status, Included (Boolean), Reason
//   3 "Expenses" ProjectID, ExpenseID, Date, Description, Amount, Included,
//                Reason
// Projects come in the order the run takes them; the lines of a project
// follow its order for slips (task, staff row, day) and by date for expenses.
// The preview does not foresee failures: a project whose client or
// subscriber row is missing shows as invoiced, while the run stops there
// with 91.
struct InvoicingPreview {
  struct Project {
    Variant project_id, name, client;
    bool invoiced = false;
    std::int32_t slips = 0, expenses = 0;
    Variant total = Variant::Null(), reason = Variant::Null();
  };

  struct Slip {
    Variant project_id, slip_id, day, task, staff, minutes, status;
    bool included = false;
    Variant reason = Variant::Null();
  };

  struct Expense {
    Variant project_id, expense_id, date, description, amount;
    bool included = false;
    Variant reason = Variant::Null();
  };

  std::vector<Project> projects;
  std::vector<Slip> slips;
  std::vector<Expense> expenses;

  // The late-bound form described above; a late-bound call returns this.
  operator Variant() const;  // NOLINT(google-explicit-constructor)
};

}  // namespace brivos
