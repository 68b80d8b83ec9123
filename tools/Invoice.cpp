// brivos invoice ACCOUNT INVOICE_ID [--format text|json|html]

#include <iostream>
#include <memory>
#include <string>

#include "brivos/brivos.hpp"
#include "tools/Command.hpp"
#include "documents/Documents.hpp"

namespace brivos::cli {
namespace {

struct InvoiceArgs {
  std::string account;
  std::string invoice_id;
  std::string format = "text";
  std::string user;
  std::string token;
};

int RunInvoice(const InvoiceArgs& in, const Options& options) {
  Variant account(AccountPath(in.account, options)), user(in.user), token(in.token),
      invoice_id(ArgumentFromText(in.invoice_id));
  const InvoiceBreakdown invoice =
      CInvoiceMgr{}.GetInvoiceBreakdown(account, user, token, invoice_id);
  if (in.format == "json") {
    Print(documents::InvoiceJson(invoice), options);
  } else {
    std::cout << (in.format == "html" ? documents::InvoiceHtml(invoice) : documents::InvoiceText(invoice));
  }
  return 0;
}

}  // namespace

Command AddInvoiceCommand(CLI::App& program, const Options& options) {
  auto in = std::make_shared<InvoiceArgs>();
  CLI::App* invoice = program.add_subcommand(
      "invoice", "ACCOUNT INVOICE_ID: print an invoice line by line, with its totals");
  AddAccountArgument(*invoice, in->account);
  invoice->add_option("INVOICE_ID", in->invoice_id, "The invoice's key")->required();
  invoice->add_option("--format", in->format, "text (default), json or html")
      ->check(CLI::IsMember({"text", "json", "html"}));
  AddCallerOptions(*invoice, in->user, in->token);
  return {invoice, [in, &options](const Extras&) { return RunInvoice(*in, options); }};
}

}  // namespace brivos::cli
