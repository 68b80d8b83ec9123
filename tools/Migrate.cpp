// brivos migrate ACCOUNT --to postgresql://...

#include <memory>
#include <string>
#include <vector>

#include "brivos/brivos.hpp"
#include "brivos/database/Backend.hpp"
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

// The tables of the subscriber's file, by name.
std::vector<std::string> FileTables(const Variant& account) {
  std::vector<std::string> tables;
  const auto names =
      OpenRecordset(account,
                    "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite%' "
                    "ORDER BY name");
  for (const std::vector<Variant>& row : names->Rows()) tables.push_back(CStr(row[0]));
  return tables;
}

// The program holds both backends at once: the file is read and measured on
// SQLite's, the copy made and measured on the PostgreSQL database's. Whatever
// the process's own backend is, neither side's calls reach it.
int RunMigrate(const MigrateArgs& in, const Options& options) {
  if (!in.to.starts_with("postgresql:") && !in.to.starts_with("postgres:")) {
    throw BadInput("--to takes a PostgreSQL connection URI (postgresql://...)");
  }
  const Variant account(AccountPath(in.account, options));
  std::vector<std::string> tables;
  Json file;
  {
    Backend& sqlite = BackendFor("");
    BackendScope files(sqlite);
    tables = FileTables(account);
    file = Measure(account, tables);
    sqlite.ReleaseIdle();  // the copy reads the file on connections of its own
  }

  // Provisioning refuses a subscriber whose schema exists; the rows it
  // writes are then replaced in its own transaction, so a failed move
  // leaves nothing.
  BackendScope postgresql(BackendFor(in.to));
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
  ReleaseIdleConnections();  // the database's, while they are this scope's
  Print(out, options);
  return same ? 0 : 1;
}

}  // namespace

Command AddMigrateCommand(CLI::App& program, const Options& options) {
  auto in = std::make_shared<MigrateArgs>();
  CLI::App* migrate = program.add_subcommand(
      "migrate",
      "Copy a subscriber's file into its schema of a PostgreSQL database, then "
      "compare every table's rows and every invoice's total on both sides");
  AddAccountArgument(*migrate, in->account);
  migrate->add_option("--to", in->to, "PostgreSQL connection URI")->required();
  return {migrate, [in, &options](const Extras&) { return RunMigrate(*in, options); }};
}

}  // namespace brivos::cli
