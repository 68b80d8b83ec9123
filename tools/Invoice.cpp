// brivos invoice ACCOUNT INVOICE_ID [--format text|json|html|pdf|ubl] [--output FILE]

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "brivos/brivos.hpp"
#include "documents/Documents.hpp"
#include "documents/Pdf.hpp"
#include "documents/Ubl.hpp"
#include "tools/Command.hpp"

namespace brivos::cli {
namespace {

struct InvoiceArgs {
  std::string account;
  std::string invoice_id;
  std::string format = "text";
  std::string output;
  std::string user;
  std::string token;
};

int RunInvoice(const InvoiceArgs& in, const Options& options) {
  Variant account(AccountPath(in.account, options)), user(in.user), token(in.token),
      invoice_id(ArgumentFromText(in.invoice_id));
  const InvoiceBreakdown invoice =
      CInvoiceMgr{}.GetInvoiceBreakdown(account, user, token, invoice_id);
  std::string document;
  if (in.format == "json") {
    document = Dump(documents::InvoiceJson(invoice), options.compact) + "\n";
  } else if (in.format == "html") {
    document = documents::InvoiceHtml(invoice);
  } else if (in.format == "pdf" || in.format == "ubl") {
    const documents::Parties parties = documents::ReadParties(account, user, token, invoice);
    const documents::ClientCopy copy = documents::MakeClientCopy(invoice);
    document = in.format == "pdf" ? documents::InvoicePdf(invoice, copy, parties)
                                  : documents::InvoiceUbl(invoice, copy, parties);
  } else {
    document = documents::InvoiceText(invoice);
  }
  if (in.output.empty()) {
    std::cout << document << std::flush;
    return 0;
  }
  // Written beside the file, then moved over it: a reader never sees half a document.
  const std::string temporary = in.output + ".part";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file << document;
    file.close();
    if (!file) throw BadInput("cannot write " + temporary);
  }
  if (std::rename(temporary.c_str(), in.output.c_str()) != 0) {
    std::remove(temporary.c_str());
    throw BadInput("cannot write " + in.output);
  }
  return 0;
}

}  // namespace

Command AddInvoiceCommand(CLI::App& program, const Options& options) {
  auto in = std::make_shared<InvoiceArgs>();
  CLI::App* invoice = program.add_subcommand(
      "invoice",
      "ACCOUNT INVOICE_ID: print an invoice line by line, with its totals, or the client's copy "
      "as a page, a PDF or a UBL e-invoice");
  AddAccountArgument(*invoice, in->account);
  invoice->add_option("INVOICE_ID", in->invoice_id, "The invoice's key")->required();
  invoice
      ->add_option("--format", in->format,
                   "text (default), json, html (the client's copy as a page), pdf or ubl "
                   "(UBL 2.1, EN 16931)")
      ->check(CLI::IsMember({"text", "json", "html", "pdf", "ubl"}));
  invoice->add_option("--output", in->output, "Write the document to this file, not to stdout");
  AddCallerOptions(*invoice, in->user, in->token);
  return {invoice, [in, &options](const Extras&) { return RunInvoice(*in, options); }};
}

}  // namespace brivos::cli
