// brivos preview ACCOUNT --cutoff DATE [--projects LIST] [--format text|json]

#include <iostream>
#include <memory>
#include <string>

#include "brivos/brivos.hpp"
#include "tools/Command.hpp"
#include "documents/Documents.hpp"

namespace brivos::cli {
namespace {

struct PreviewArgs {
  std::string account;
  std::string cutoff;
  std::string projects;
  bool listed = false;
  std::string format = "text";
  std::string user;
  std::string token;
};

// The cutoff goes to the library as the text given, so that a text that is
// no date is refused there, as a run would refuse it.
int RunPreview(const PreviewArgs& in, const Options& options) {
  Variant account(AccountPath(in.account, options)), user(in.user), token(in.token),
      projects(in.listed ? Variant(in.projects) : Variant::Null()), cutoff(in.cutoff);
  const InvoicingPreview preview =
      CInvoiceMgr{}.PreviewInvoicing(account, user, token, projects, cutoff);
  if (in.format == "json") {
    Print(documents::PreviewJson(preview), options);
  } else {
    const std::string scope =
        (in.listed ? "projects " + in.projects : std::string("all active projects")) + ", cutoff " +
        in.cutoff;
    std::cout << documents::PreviewText(preview, scope);
  }
  return 0;
}

}  // namespace

Command AddPreviewCommand(CLI::App& program, const Options& options) {
  auto in = std::make_shared<PreviewArgs>();
  CLI::App* preview = program.add_subcommand(
      "preview", "ACCOUNT --cutoff DATE: what an invoicing run would bill, and what it leaves out");
  AddAccountArgument(*preview, in->account);
  preview->add_option("--cutoff", in->cutoff, "The run's cutoff date, e.g. 2024-03-05")->required();
  CLI::Option* listed = preview->add_option(
      "--projects", in->projects,
      "Preview InvoiceSelectedProjects for these projects (\"12|40\") instead of "
      "InvoiceAllProjects");
  preview->add_option("--format", in->format, "text (default) or json")
      ->check(CLI::IsMember({"text", "json"}));
  AddCallerOptions(*preview, in->user, in->token);
  return {preview, [in, listed, &options](const Extras&) {
            in->listed = listed->count() > 0;
            return RunPreview(*in, options);
          }};
}

}  // namespace brivos::cli
