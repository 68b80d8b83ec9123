// `brivos migrate`: the demo's day, made on files, moved into a schema of the
// PostgreSQL database BRIVOS_DATABASE_URL names, whatever backend the
// program's own environment chooses.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "brivos/brivos.hpp"
#include "tests/tools/CliProcess.hpp"

namespace brivos::testing {
namespace {

TEST(CliMigrate, MovesAFileIntoItsSchemaOnceAndComparesBothSides) {
  const char* const env_url = std::getenv("BRIVOS_DATABASE_URL");
  if (env_url == nullptr || *env_url == '\0') {
    GTEST_SKIP() << "BRIVOS_DATABASE_URL names no PostgreSQL database";
  }
  const std::string url = env_url;
  const std::map<std::string, std::string> on_files = {{"BRIVOS_DATABASE_URL", ""}};
  const std::map<std::string, std::string> on_postgresql = {{"BRIVOS_DATABASE_URL", url}};

  TempDir data;
  const std::filesystem::path root =
      std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
  std::map<std::string, std::string> demo_env = on_files;
  demo_env.insert({{"BRIVOS_BIN", BRIVOS_CLI}, {"BRIVOS_DATA", data.Path()}});
  ASSERT_TRUE(
      Succeeded(RunProgram("/bin/bash", {(root / "scripts" / "demo.sh").string()}, demo_env)));
  const std::vector<std::string> total = {"--db-dir",   data.Path(), "--compact", "call",
                                          "CInvoiceMgr", "GetInvoiceTotal", "A100", "admin",
                                          "",           "1"};
  const Outcome file_total = RunCli(total, on_files);
  ASSERT_TRUE(Succeeded(file_total));

  struct Case {
    std::vector<std::string> args;
    std::map<std::string, std::string> env;
    int status;
    std::string printed;  // on stdout when status is 0, else on stderr
  };
  const std::vector<Case> cases = {
      {{"migrate", "A100", "--to", "mysql://nowhere"}, on_postgresql, 2, "--to"},
      {{"migrate", "A999", "--to", url}, on_postgresql, 1,
       std::to_string(errnum::kDbCannotOpen)},
      // The first move runs in a program whose own backend is PostgreSQL,
      // and still reads the file.
      {{"migrate", "A100", "--to", url}, on_postgresql, 0, R"("same":true)"},
      {{"migrate", "A100", "--to", url}, on_files, 1, "-2147467259"},
      {{"migrate", "A100", "--to", url}, on_postgresql, 1, "-2147467259"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--db-dir", data.Path(), "--compact"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(c.args[1] + (c.env.at("BRIVOS_DATABASE_URL").empty() ? " on files" : ""));
    const Outcome o = RunCli(args, c.env);
    EXPECT_EQ(o.status, c.status) << o.out << o.err;
    EXPECT_NE((c.status == 0 ? o.out : o.err).find(c.printed), std::string::npos)
        << o.out << o.err;
    if (c.status != 0) {
      EXPECT_TRUE(o.out.empty()) << o.out;
      continue;
    }
    const Json out = o.OutJson();
    EXPECT_EQ(out["account"], data.Path() + "\\A100");
    EXPECT_EQ(out["invoices"], 1);
    EXPECT_EQ(out["invoiceTotalsMatch"], true);
    ASSERT_TRUE(out["tables"].contains("IProjectTransaction")) << out;
    EXPECT_EQ(out["tables"]["IProjectTransaction"]["file"], 5);
    for (const auto& [table, rows] : out["tables"].items()) {
      EXPECT_EQ(rows["file"], rows["postgresql"]) << table;
    }
  }
  // The schema answers as the file did; the file is left as it was.
  const Outcome moved_total = RunCli(total, on_postgresql);
  ASSERT_TRUE(Succeeded(moved_total));
  EXPECT_EQ(moved_total.out, file_total.out);
  EXPECT_EQ(RunCli(total, on_files).out, file_total.out);
  // Nothing was created for the account that has no file.
  const Outcome none = RunCli({"--db-dir", data.Path(), "call", "CSecurityMgr",
                               "BeginUserSession", "A999", "admin", "secret"},
                              on_postgresql);
  EXPECT_EQ(none.status, 1) << none.out;
}

}  // namespace
}  // namespace brivos::testing
