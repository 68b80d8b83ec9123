// brivos migrate ACCOUNT --to postgresql://...

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "brivos/brivos.hpp"
#include "brivos/database/Database.hpp"
#include "brivos/database/Migration.hpp"
#include "tools/Command.hpp"

namespace brivos::cli {
namespace {

struct MigrateArgs {
  std::string account;
  std::string to;
};

// What is compared on both sides: each table's rows and each invoice's
// total, as the library reckons it.
Json Measure(const Variant& account, const std::vector<std::string>& tables) {
  Json out = Json::object();
  for (const MovedTable& t : CountRows(account, tables)) out["rows"][t.table] = t.rows;
  const auto main_user = OpenRecordset(account, "SELECT UserName FROM IUser WHERE MainUser=1");
  Variant user(main_user->Eof() ? "" : CStr(main_user->Field(0))), token("");
  const auto invoices =
      OpenRecordset(account, "SELECT IProjectInvoiceID FROM IProjectInvoice ORDER BY 1");
  out["totals"] = Json::object();
  for (const std::vector<Variant>& row : invoices->Rows()) {
    Variant id = row[0];
    out["totals"][CStr(id)] = CInvoiceMgr{}.GetInvoiceTotal(account, user, token, id).ToString();
  }
  return out;
}

// The file's side, measured in a process of its own: a process serves one
// backend, chosen on first use.
Json MeasureFile(const Variant& account) {
  int fds[2];
  if (::pipe(fds) != 0) throw BadInput("cannot create a pipe");
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    std::string text;
    int status = 0;
    try {
      std::vector<std::string> tables;
      const auto names = OpenRecordset(
          account, "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE "
                   "'sqlite%' ORDER BY name");
      for (const std::vector<Variant>& row : names->Rows()) tables.push_back(CStr(row[0]));
      Json out = Measure(account, tables);
      out["tables"] = tables;
      text = out.dump();
    } catch (const Error& e) {
      text = Json{{"number", e.Number()}, {"description", e.Description()}}.dump();
      status = 1;
    }
    for (std::size_t at = 0; at < text.size();) {
      const ssize_t n = ::write(fds[1], text.data() + at, text.size() - at);
      if (n <= 0) break;
      at += static_cast<std::size_t>(n);
    }
    ::_exit(status);
  }
  ::close(fds[1]);
  std::string text;
  char buf[4096];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  Json out = Json::parse(text, nullptr, false);
  if (out.is_discarded() || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw Error(out.is_object() && out.contains("number") ? out["number"].get<std::int32_t>()
                                                          : errnum::kDbCannotOpen,
                "BRIVOS.migrate",
                out.is_object() && out.contains("description")
                    ? out["description"].get<std::string>()
                    : "cannot read the subscriber's file");
  }
  return out;
}

int RunMigrate(const MigrateArgs& in, const Options& options) {
  if (!in.to.starts_with("postgresql:") && !in.to.starts_with("postgres:")) {
    throw BadInput("--to takes a PostgreSQL connection URI (postgresql://...)");
  }
  const Variant account(AccountPath(in.account, options));
  const Json file = MeasureFile(account);
  const std::vector<std::string> tables = file["tables"].get<std::vector<std::string>>();

  // From here on this process serves the PostgreSQL database. Provisioning
  // refuses a subscriber whose schema exists; the rows it writes are then
  // replaced in its own transaction, so a failed move leaves nothing.
  ::setenv("BRIVOS_DATABASE_URL", in.to.c_str(), 1);
  CopyFileIntoActiveDatabase(
      account, [&] { CreateSubscriberDatabase(CStr(account), "moving", "moving", "moving"); });
  const Json moved = Measure(account, tables);

  Json out = Json::object();
  out["account"] = CStr(account);
  bool same = moved["totals"] == file["totals"];
  for (const std::string& t : tables) {
    out["tables"][t] = {{"file", file["rows"][t]}, {"postgresql", moved["rows"][t]}};
    same = same && file["rows"][t] == moved["rows"][t];
  }
  out["invoices"] = file["totals"].size();
  out["invoiceTotalsMatch"] = moved["totals"] == file["totals"];
  out["same"] = same;
  Print(out, options);
  return same ? 0 : 1;
}

}  // namespace

Command AddMigrateCommand(CLI::App& program, const Options& options) {
  auto in = std::make_shared<MigrateArgs>();
  CLI::App* migrate = program.add_subcommand(
      "migrate", "Copy a subscriber's file into its schema of a PostgreSQL database, then "
                 "compare every table's rows and every invoice's total on both sides");
  AddAccountArgument(*migrate, in->account);
  migrate->add_option("--to", in->to, "PostgreSQL connection URI")->required();
  return {migrate, [in, &options](const Extras&) { return RunMigrate(*in, options); }};
}

}  // namespace brivos::cli
