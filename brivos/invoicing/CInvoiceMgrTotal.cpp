// CInvoiceMgr: an invoice's breakdown and its total.

#include "brivos/invoicing/CInvoiceMgr.hpp"
#include "brivos/invoicing/internal/InvoicePricing.hpp"
#include "brivos/records/CITaxCode.hpp"
#include "brivos/records/EnumeratedTypes.hpp"
#include "brivos/records/ISubScriber.hpp"
#include "brivos/records/SFAProspect.hpp"

namespace brivos {

using invoicing::SalesTax;

namespace {

// The display text of an invoice status ("Trial"), or Null for another value.
Variant StatusText(const Variant& status) {
  if (status.IsNull() || status.IsEmpty()) return Variant::Null();
  switch (CLng(status)) {
#define BRIVOS_STATUS_CASE_(name, value, text) \
  case value:                                  \
    return Variant(text);
    BRIVOS_EINVOICESTATUS(BRIVOS_STATUS_CASE_)
#undef BRIVOS_STATUS_CASE_
  }
  return Variant::Null();
}

// An invoice's project and client, and the sales tax on its time. An invoice
// whose project or client is gone is priced without tax.
struct Parties {
  std::shared_ptr<IProject> project;
  std::shared_ptr<SFAProspect> client;
  SalesTax tax;
};

Parties PartiesOf(IProjectInvoice& invoice, const Variant& account) {
  Parties p;
  p.project = invoice.Project(account);
  p.client = p.project ? p.project->Client(account) : nullptr;
  p.tax = invoicing::SalesTaxOf(p.client ? p.client->TaxCode(account) : nullptr);
  return p;
}

}  // namespace

BRIVOS_METHOD(CInvoiceMgr, GetInvoiceBreakdown) {
  std::shared_ptr<IProjectInvoice> invoice =
      GetInvoice(a.Account, a.UserName, a.Token, a.InvoiceID);
  const auto [project, client, tax] = PartiesOf(*invoice, a.Account);
  std::shared_ptr<ISubScriber> subscriber = project ? project->Subscriber(a.Account) : nullptr;

  InvoiceBreakdown out;
  InvoiceBreakdown::Header& h = out.header;
  const Variant none = Variant::Null();
  h.invoice_id = invoice->IProjectInvoiceID();
  h.invoice_number = invoice->InvoiceNumber();
  h.invoice_date = invoice->InvoiceDate();
  h.status = invoice->Status();
  h.status_text = StatusText(h.status);
  h.create_date = invoice->CreateDate();
  h.created_by = invoice->CreatedBy();
  h.last_modified = invoice->LastModified();
  h.last_modified_by = invoice->LastModifiedBy();
  h.company = subscriber ? subscriber->CompanyName() : none;
  h.project_id = invoice->ProjectID();
  h.project = project ? project->Name() : none;
  h.client_id = project ? project->ClientID() : none;
  h.client = client ? client->CompanyName() : none;
  h.terms = invoice->Terms();
  h.notes = invoice->Notes();
  h.tax_code = tax.code ? tax.code->TaxCode() : none;
  h.tax1_name = tax.tax1 ? tax.code->Tax1Name() : none;
  h.tax1_rate = tax.tax1 ? tax.code->Tax1Rate() : none;
  h.tax2_name = tax.tax2 ? tax.code->Tax2Name() : none;
  h.tax2_rate = tax.tax2 ? tax.code->Tax2Rate() : none;
  h.tax2_piggy_back = tax.tax2 ? tax.code->Tax2PiggyBack() : none;

  invoicing::LineNames names(a.Account);
  invoicing::PriceLines(*GetInvoiceTransactions(a.Account, a.UserName, a.Token, a.InvoiceID),
                        *GetInvoiceExpenses(a.Account, a.UserName, a.Token, a.InvoiceID), tax,
                        names, out);
  return out;
}

// The breakdown's total, priced by the same routine from only the columns
// it needs, without the header or the names of the lines.
BRIVOS_METHOD(CInvoiceMgr, GetInvoiceTotal) {
  std::shared_ptr<IProjectInvoice> invoice =
      GetInvoice(a.Account, a.UserName, a.Token, a.InvoiceID);
  const SalesTax tax = PartiesOf(*invoice, a.Account).tax;
  Connection db = Connection::Open(a.Account);
  return invoicing::PriceTotals(db, invoice->IProjectInvoiceID(), tax).total;
}

}  // namespace brivos
