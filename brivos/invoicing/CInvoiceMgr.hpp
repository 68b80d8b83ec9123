#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "brivos/automation/Collection.hpp"
#include "brivos/automation/Manager.hpp"
#include "brivos/foundation/Currency.hpp"
#include "brivos/invoicing/InvoiceBreakdown.hpp"
#include "brivos/invoicing/InvoicingPreview.hpp"
#include "brivos/invoicing/errCInvoiceMgr.hpp"
#include "brivos/records/IProject.hpp"
#include "brivos/records/IProjectInvoice.hpp"

namespace brivos {

// clang-format off
#define BRIVOS_CINVOICEMGR_METHODS(M) \
  /* --- Generation --------------------------------------------------------- */ \
  /* Invoices every active, billable project of the subscriber: one trial   */ \
  /* invoice per project with approved slips or approved, unbilled expenses */ \
  /* dated on or before CutoffDate, numbered from the invoice sequence, its */ \
  /* lines marked billed. Each project is one unit of work: it is invoiced  */ \
  /* whole or left untouched, and a concurrent run never bills a line       */ \
  /* twice. Raises 13 for a cutoff that is not a date and 91 for an unknown */ \
  /* caller, before anything is invoiced.                                   */ \
  M(ADMIN, void, InvoiceAllProjects, Account, UserName, Token, CutoffDate) \
  /* The same for the projects named in Projects ("12|40|7"), whatever      */ \
  /* their status, in that order. Every piece is checked before anything is */ \
  /* invoiced: 13 for a piece that is not a whole number, 9 for a piece     */ \
  /* naming no project.                                                     */ \
  M(ADMIN, void, InvoiceSelectedProjects, Account, UserName, Token, Projects, CutoffDate) \
  /* --- Lists, oldest invoice first ---------------------------------------- */ \
  M(ADMIN, std::shared_ptr<Collection>, GetTrialInvoices, Account, UserName, Token) \
  M(ADMIN, std::shared_ptr<Collection>, GetClientTrialInvoices, Account, UserName, Token, ClientID) \
  /* The subscriber's approved invoices; 91 without its subscriber row.     */ \
  M(ADMIN, std::shared_ptr<Collection>, GetApprovedInvoices, Account, UserName, Token) \
  M(ADMIN, std::shared_ptr<Collection>, GetClientApprovedInvoices, Account, UserName, Token, ClientID) \
  /* The subscriber's issued invoices; 91 without its subscriber row.       */ \
  M(ADMIN, std::shared_ptr<Collection>, GetIssuedInvoices, Account, UserName, Token) \
  M(ADMIN, std::shared_ptr<Collection>, GetClientIssuedInvoices, Account, UserName, Token, ClientID) \
  /* --- One invoice -------------------------------------------------------- */ \
  /* Rewrites number, status, terms, notes and format and stamps the change */ \
  /* with the caller and the time; no status is checked. An unknown key     */ \
  /* changes nothing.                                                       */ \
  M(ADMIN_EDIT(InvoiceID), void, UpdateInvoice, Account, UserName, Token, InvoiceID, InvoiceNumber, Status, Terms, \
    Notes, Format) \
  /* The invoice's slips by task, staff row and day.                        */ \
  M(ADMIN, std::shared_ptr<Collection>, GetInvoiceTransactions, Account, UserName, Token, InvoiceID) \
  /* The invoice's slips of one task, by day.                               */ \
  M(ADMIN, std::shared_ptr<Collection>, GetInvoiceTransactionsByTask, Account, UserName, Token, TaskID, \
    InvoiceID) \
  M(ADMIN, std::shared_ptr<Collection>, GetInvoiceExpenses, Account, UserName, Token, InvoiceID) \
  /* Deletes the invoice whatever its status, its slips returned to         */ \
  /* approved and its expenses to unbilled, all in one unit of work. The    */ \
  /* number is not returned to the sequence.                                */ \
  M(ADMIN_EDIT(InvoiceID), void, DeleteInvoice, Account, UserName, Token, InvoiceID) \
  /* The invoice with this key; 9 when there is none.                       */ \
  M(ADMIN, std::shared_ptr<IProjectInvoice>, GetInvoice, Account, UserName, Token, InvoiceID) \
  /* --- Totals ------------------------------------------------------------- */ \
  /* The invoice's time at each slip's rate, each slip's sales taxes from   */ \
  /* the client's tax code, and its expenses at their exchange rate plus    */ \
  /* markup. Products are taken in double (a slip's taxes on its unrounded  */ \
  /* time) and each amount of a line is rounded to currency, halves to      */ \
  /* even; the totals add the rounded amounts exactly. Without a project,   */ \
  /* client or active tax code no tax is charged.                           */ \
  M(ADMIN, Currency, GetInvoiceTotal, Account, UserName, Token, InvoiceID) \
  /* --- Beyond the published interface ------------------------------------- */ \
  /* The invoice priced line by line: its header, one line per slip and per */ \
  /* expense, and totals that are the sums of the lines; GetInvoiceTotal is */ \
  /* its total (see InvoiceBreakdown for the late-bound form). Raises 9 for */ \
  /* an unknown invoice and fails where GetInvoiceTotal fails.              */ \
  M(ADMIN, InvoiceBreakdown, GetInvoiceBreakdown, Account, UserName, Token, InvoiceID) \
  /* What InvoiceSelectedProjects with Projects, or InvoiceAllProjects when */ \
  /* Projects is Empty or Null, would do with this cutoff, writing nothing: */ \
  /* per project whether it would be invoiced and for what total, and every */ \
  /* slip and expense of those projects with whether the run would bill it  */ \
  /* or why not (see InvoicingPreview). The lines it includes are selected  */ \
  /* by the run's own conditions. An all-projects preview also lists the    */ \
  /* subscriber's projects that are not active (91 without its subscriber   */ \
  /* row); the caller is not read. Raises what the run raises for the       */ \
  /* cutoff and the list, and lists a project named twice once.             */ \
  M(ADMIN, InvoicingPreview, PreviewInvoicing, Account, UserName, Token, Projects, CutoffDate)
// clang-format on

// The members that run invoicing, by name.
inline constexpr const char* kInvoiceRunMembers[] = {"InvoiceAllProjects",
                                                     "InvoiceSelectedProjects"};

// The invoices the runs on this thread make while the record lives, in the
// order they are made: a front end answers a run with them, not with the
// difference of two lists that concurrent runs change meanwhile. Records
// nest; the innermost is written.
class InvoiceRunRecord {
 public:
  InvoiceRunRecord();
  ~InvoiceRunRecord();
  InvoiceRunRecord(const InvoiceRunRecord&) = delete;
  InvoiceRunRecord& operator=(const InvoiceRunRecord&) = delete;

  const std::vector<std::int32_t>& Made() const { return made_; }
  // Writes `invoice` into this thread's record, when there is one.
  static void Note(std::int32_t invoice);

 private:
  std::vector<std::int32_t> made_;
  InvoiceRunRecord* outer_;
};

// Trial invoices from approved work, their lists, changes, deletion, totals
// and breakdowns, and the preview of a run.
class CInvoiceMgr final : public Dispatch<CInvoiceMgr> {
  BRIVOS_MANAGER(CInvoiceMgr, BRIVOS_CINVOICEMGR_METHODS)

 private:
  // Invoices the projects in order, each whole or not at all.
  void InvoiceProjects(const Variant& Account, const Variant& UserName, const Variant& Token,
                       const Date& cutoff, const std::vector<std::shared_ptr<IProject>>& projects);
  // Invoices one project in one unit of work, when it is billable and has
  // qualifying lines.
  void InvoiceProject(const Variant& Account, const Variant& UserName, const Variant& Token,
                      const Date& cutoff, IProject& project);
  // Inserts one trial invoice for the project and returns its key.
  std::int32_t CreateInvoice(IProject& project, const Variant& Account, const Variant& UserName,
                             const Variant& Token);
  // The invoices in `status`, also of one client when `client_id` is given,
  // or of the Account's own subscriber.
  std::shared_ptr<Collection> InvoicesIn(std::int32_t status, const Variant& Account,
                                         const Variant* client_id);
};

}  // namespace brivos
