// Drives the built `brivos` program as a separate process and reads what it
// prints, as a script calling it would.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "brivos/brivos.hpp"
#include "brivos/database/Backend.hpp"
#include "tests/tools/CliProcess.hpp"

namespace brivos::testing {
namespace {

// Whether `text` fits `pattern`: 9 stands for a digit, X for an uppercase
// hexadecimal digit, any other character for itself.
bool Matches(const std::string& text, std::string_view pattern) {
  if (text.size() != pattern.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool digit = c >= '0' && c <= '9';
    if (pattern[i] == '9') {
      if (!digit) return false;
    } else if (pattern[i] == 'X') {
      if (!digit && !(c >= 'A' && c <= 'F')) return false;
    } else if (c != pattern[i]) {
      return false;
    }
  }
  return true;
}

// Whether the program's Accounts name files: BRIVOS_DATABASE_URL, which the
// suite is run with a second time, names no PostgreSQL database.
bool OnFiles() {
  const char* const url = std::getenv("BRIVOS_DATABASE_URL");
  return url == nullptr || *url == '\0';
}

#define SKIP_UNLESS_ON_FILES() \
  if (!OnFiles()) GTEST_SKIP() << "looks at the subscriber's file"

// A scratch directory holding subscriber A100 (Acme Consulting, admin/secret),
// provisioned through the program itself.
class CliTest : public ::testing::Test {
 protected:
  CliTest() {
    const Outcome o = RunCli({"--db-dir", dir.Path(), "init", "A100", "--company",
                              "Acme Consulting", "--user", "admin", "--password", "secret"});
    EXPECT_TRUE(Succeeded(o));
  }

  // `brivos --db-dir <dir> call ...`
  Outcome Call(std::vector<std::string> args) {
    args.insert(args.begin(), {"--db-dir", dir.Path(), "call"});
    return RunCli(args);
  }

  std::string SignIn() {
    const Outcome o = Call({"CSecurityMgr", "BeginUserSession", "A100", "admin", "secret"});
    EXPECT_TRUE(Succeeded(o));
    return o.OutJson().get<std::string>();
  }

  std::string AccountPath() const { return dir.Path() + "\\A100"; }
  std::string DatabaseFile() const { return dir.Path() + "/A100.mdb"; }

  TempDir dir;
};

// ---- init

TEST_F(CliTest, InitProvisionsTheDatabaseAndPrintsWhereItIs) {
  SKIP_UNLESS_ON_FILES();
  TempDir other;
  const Outcome o = RunCli({"--db-dir", other.Path(), "init", "B200", "--company", "Beta Ltd",
                            "--user", "boss", "--password", "pw1"});
  ASSERT_TRUE(Succeeded(o));
  const Json out = o.OutJson();
  EXPECT_EQ(out["account"], other.Path() + "\\B200");
  EXPECT_EQ(out["accountNo"], "B200");
  EXPECT_EQ(out["database"], other.Path() + "/B200.mdb");
  EXPECT_EQ(out["company"], "Beta Ltd");
  EXPECT_EQ(out["mainUser"], "boss");
  EXPECT_TRUE(std::filesystem::exists(other.Path() + "/B200.mdb"));

  // The main user can sign in, and the subscriber row carries the number.
  const Outcome signin = RunCli({"--db-dir", other.Path(), "call", "CSecurityMgr",
                                 "BeginUserSession", "B200", "boss", "pw1"});
  EXPECT_TRUE(Succeeded(signin));
  const Outcome row = RunCli({"--db-dir", other.Path(), "call", "CReportMgr", "ExecReportQuery",
                              "B200", "SELECT CompanyName, AccountNo FROM ISubScriber"});
  ASSERT_TRUE(Succeeded(row));
  EXPECT_EQ(row.OutJson(), Json::parse(R"([{"CompanyName":"Beta Ltd","AccountNo":"B200"}])"));
}

TEST_F(CliTest, InitRefusesAnExistingFileAndLeavesItAlone) {
  SKIP_UNLESS_ON_FILES();
  const Outcome o = RunCli({"--db-dir", dir.Path(), "init", "A100", "--company", "Other Co",
                            "--user", "x", "--password", "y"});
  EXPECT_EQ(o.status, 2);
  EXPECT_TRUE(o.out.empty());
  ASSERT_EQ(o.ErrLines().size(), 1u) << o.err;
  EXPECT_NE(o.err.find("already exists"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find(DatabaseFile()), std::string::npos) << o.err;

  const Outcome row =
      Call({"CReportMgr", "ExecReportQuery", "A100", "SELECT CompanyName FROM ISubScriber"});
  ASSERT_TRUE(Succeeded(row));
  EXPECT_EQ(row.OutJson(), Json::parse(R"([{"CompanyName":"Acme Consulting"}])"));
}

TEST_F(CliTest, InitNeedsItsOptionsAndCreatesAMissingDirectory) {
  SKIP_UNLESS_ON_FILES();
  Outcome o = RunCli({"--db-dir", dir.Path(), "init", "C1", "--company", "C"});
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.ErrLines().size(), 1u) << o.err;
  EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/C1.mdb"));

  // The directory is created with its parents; a file in its way is refused.
  for (const std::string& where : {dir.Path() + "/new/sub", DatabaseFile() + "/sub"}) {
    o = RunCli(
        {"--db-dir", where, "init", "C1", "--company", "C", "--user", "u", "--password", "p"});
    const bool blocked = where.starts_with(DatabaseFile());
    EXPECT_EQ(o.status, blocked ? 2 : 0) << o.err;
    EXPECT_EQ(std::filesystem::exists(where + "/C1.mdb"), !blocked);
  }
}

// `init` on each backend: on files the file and its directory, on
// PostgreSQL (--database-url) a schema and nothing of this machine's files.
class CliInitTest : public ::testing::TestWithParam<std::string> {};

TEST_P(CliInitTest, PrintsWhatItCreatedAndRefusesItAgain) {
  const bool files = GetParam() == "sqlite";
  const char* const env_url = std::getenv("BRIVOS_DATABASE_URL");
  const std::string url = files || env_url == nullptr ? "" : env_url;
  if (!files && url.empty()) GTEST_SKIP() << "BRIVOS_DATABASE_URL names no PostgreSQL database";
  // The backend comes from the option alone.
  const std::map<std::string, std::string> env = {{"BRIVOS_DATABASE_URL", ""}};
  std::vector<std::string> program;
  if (!files) program = {"--database-url", url};

  TempDir scratch;
  const std::string data = scratch.Path() + "/firms";
  const std::string account = data + "\\A100";
  std::vector<std::string> init = program;
  init.insert(init.end(), {"--db-dir", data, "init", "A100", "--company", "Acme", "--user",
                           "admin", "--password", "secret"});
  Outcome o = RunCli(init, env);
  ASSERT_TRUE(Succeeded(o));
  const Json out = o.OutJson();
  EXPECT_EQ(out["account"], account);
  EXPECT_EQ(out["accountNo"], "A100");
  EXPECT_EQ(out["backend"], GetParam());
  EXPECT_EQ(out["company"], "Acme");
  EXPECT_EQ(out["mainUser"], "admin");
  EXPECT_EQ(out.contains("database"), files) << out;
  EXPECT_EQ(out.contains("schema"), !files) << out;
  EXPECT_EQ(std::filesystem::exists(data), files);
  if (files) {
    EXPECT_EQ(out["database"], data + "/A100.mdb");
    EXPECT_TRUE(std::filesystem::exists(data + "/A100.mdb"));
  } else {
    BackendScope scope(BackendFor(url));
    const std::optional<DatabaseId> found = ActiveBackend().Find(Variant(account));
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(out["schema"], found->name);
  }

  // The main user signs in; a second init is refused before any call.
  std::vector<std::string> call = program;
  call.insert(call.end(),
              {"--db-dir", data, "call", "CSecurityMgr", "BeginUserSession", "A100", "admin",
               "secret"});
  EXPECT_TRUE(Succeeded(RunCli(call, env)));
  init[init.size() - 5] = "Other";
  o = RunCli(init, env);
  EXPECT_EQ(o.status, 2) << o.err;
  EXPECT_TRUE(o.out.empty()) << o.out;
  EXPECT_NE(o.err.find("already exists"), std::string::npos) << o.err;
}

INSTANTIATE_TEST_SUITE_P(Backends, CliInitTest, ::testing::Values("sqlite", "postgresql"));

// ---- account resolution

TEST_F(CliTest, BareAccountNumberResolvesUnderDbDirOrTheEnvironment) {
  // --show-args prints the Account as the call received it.
  const std::vector<std::string> call = {"call", "--show-args", "CSecurityMgr", "BeginUserSession",
                                         "A100", "admin",       "secret"};
  std::vector<std::string> with_option = {"--db-dir", dir.Path()};
  with_option.insert(with_option.end(), call.begin(), call.end());
  Outcome o = RunCli(with_option);
  ASSERT_TRUE(Succeeded(o));
  EXPECT_EQ(o.OutJson()["args"][0], AccountPath());

  o = RunCli(call, {{"BRIVOS_DATA", dir.Path()}});
  ASSERT_TRUE(Succeeded(o));
  EXPECT_EQ(o.OutJson()["args"][0], AccountPath());

  // The option wins over the environment; a trailing separator is not doubled.
  with_option[1] = dir.Path() + "/";
  o = RunCli(with_option, {{"BRIVOS_DATA", "/nonexistent"}});
  ASSERT_TRUE(Succeeded(o));
  EXPECT_EQ(o.OutJson()["args"][0], AccountPath());
}

TEST_F(CliTest, PathsAreNotResolvedAgainstDbDir) {
  SKIP_UNLESS_ON_FILES();
  TempDir elsewhere;
  // A full Account path with its backslash is used as given.
  Outcome o =
      Call({"--show-args", "CSecurityMgr", "BeginUserSession", AccountPath(), "admin", "secret"});
  ASSERT_TRUE(Succeeded(o));
  EXPECT_EQ(o.OutJson()["args"][0], AccountPath());

  // A forward-slash path reads its last slash as the account number's backslash.
  o = RunCli({"--db-dir", elsewhere.Path(), "call", "--show-args", "CSecurityMgr",
              "BeginUserSession", dir.Path() + "/A100", "admin", "secret"});
  ASSERT_TRUE(Succeeded(o));
  EXPECT_EQ(o.OutJson()["args"][0], AccountPath());

  o = RunCli(
      {"init", elsewhere.Path() + "/Z9", "--company", "Zed", "--user", "z", "--password", "p"});
  ASSERT_TRUE(Succeeded(o));
  EXPECT_EQ(o.OutJson()["accountNo"], "Z9");
  EXPECT_TRUE(std::filesystem::exists(elsewhere.Path() + "/Z9.mdb"));
}

TEST_F(CliTest, OnlyAnArgumentNamedAccountIsResolved) {
  // The second argument of ExecReportQuery is SQL text, never a path.
  const Outcome o = Call({"--show-args", "CReportMgr", "ExecReportQuery", "A100", "SELECT 1 AS n"});
  ASSERT_TRUE(Succeeded(o));
  EXPECT_EQ(o.OutJson()["args"], Json::array({AccountPath(), "SELECT 1 AS n"}));
}

// ---- the program's options

// Replaces every {name} of `text` by its value.
std::string Expand(std::string text, const std::map<std::string, std::string>& values) {
  for (const auto& [name, value] : values) {
    const std::string key = "{" + name + "}";
    for (std::size_t at; (at = text.find(key)) != std::string::npos;) {
      text.replace(at, key.size(), value);
    }
  }
  return text;
}

TEST_F(CliTest, ProgramOptionsAreReadBeforeOrAfterTheCommand) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string printed;  // on stdout when status is 0, else on stderr
  };
  // {A100} and {B1} are Accounts of {dir} as JSON text.
  const std::string session = R"("args":[{A100},"admin","secret"])";
  const std::vector<Case> cases = {
      {{"--db-dir", "{dir}", "--compact", "call", "--show-args", "CSecurityMgr",
        "BeginUserSession", "A100", "admin", "secret"},
       0, session},
      {{"call", "--show-args", "CSecurityMgr", "BeginUserSession", "A100", "admin", "secret",
        "--db-dir", "{dir}", "--compact"},
       0, session},
      {{"call", "--db-dir", "{dir}", "--show-args", "CSecurityMgr", "--compact",
        "BeginUserSession", "A100", "admin", "secret"},
       0, session},
      {{"--compact", "--db-dir", "/nonexistent", "call", "--show-args", "CSecurityMgr",
        "BeginUserSession", "A100", "admin", "secret", "--db-dir", "{dir}"},
       0, session},
      // The arguments of `call` keep their order and types among the options.
      {{"call", "--show-args", "CSecurityMgr", "ChangeUserPassword", "A100", "--compact", "nobody",
        "--date", "2024-03-05", "--db-dir", "{dir}", "-2.5"},
       0, R"("args":[{A100},"nobody","2024-03-05T00:00:00",-2.5])"},
      {{"call", "--show-args", "CSecurityMgr", "ChangeUserPassword", "A100", "\"--compact\"",
        "\"--db-dir\"", "x", "--db-dir", "{dir}", "--compact"},
       0, R"("args":[{A100},"--compact","--db-dir","x"])"},
      {{"init", "B1", "--company", "Beta", "--user", "u", "--password", "p", "--db-dir", "{dir}",
        "--compact"},
       0, R"({"account":{B1},"accountNo":"B1")"},
      {{"members", "CSecurityMgr", "--compact"}, 0, R"({"class":"CSecurityMgr",)"},
      {{"--db-dir", "/nonexistent/brivos", "serve", "--listen", "127.0.0.1:0"},
       2, "'/nonexistent/brivos' does not exist"},
      {{"serve", "--listen", "127.0.0.1:0", "--db-dir", "/nonexistent/brivos"},
       2, "'/nonexistent/brivos' does not exist"},
      {{"serve", "--db-dir", "{dir}", "--listen", "nowhere"}, 2, "--listen"},
      {{"call", "CSecurityMgr", "EndUserSession", "A100", "admin", "--db-dir", "{dir}", "--now",
        "soon"},
       2, "'soon'"},
      // Given twice, the last one counts.
      {{"--now", "soon", "call", "CSecurityMgr", "EndUserSession", "A100", "admin", "--db-dir",
        "{dir}", "--now", "2024-03-05 09:30", "--compact"},
       0, "null"},
      {{"--now", "2024-03-05 09:30", "--db-dir", "{dir}", "call", "CSecurityMgr",
        "EndUserSession", "A100", "admin", "--now", "later"},
       2, "'later'"},
      {{"call", "CSecurityMgr", "EndUserSession", "A100", "admin", "--db-dir", "{dir}",
        "--database-url", "mysql://nowhere"},
       1, "-2147467259"},
      {{"--database-url", "mysql://nowhere", "call", "CSecurityMgr", "EndUserSession", "A100",
        "admin", "--db-dir", "{dir}"},
       1, "-2147467259"},
      // A command's own option given twice is still refused.
      {{"init", "B2", "--company", "A", "--company", "B", "--user", "u", "--password", "p",
        "--db-dir", "{dir}"},
       2, "--company"},
  };
  const std::map<std::string, std::string> values = {
      {"dir", dir.Path()},
      {"A100", Json(AccountPath()).dump()},
      {"B1", Json(dir.Path() + "\\B1").dump()}};
  for (const Case& c : cases) {
    std::vector<std::string> args;
    std::string shown;
    for (const std::string& a : c.args) {
      args.push_back(Expand(a, values));
      shown += args.back() + " ";
    }
    SCOPED_TRACE(shown);
    const Outcome o = RunCli(args);
    EXPECT_EQ(o.status, c.status) << o.err;
    const std::string& printed = c.status == 0 ? o.out : o.err;
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
    EXPECT_NE(printed.find(Expand(c.printed, values)), std::string::npos) << printed;
  }
}

// ---- results

TEST_F(CliTest, TextResultPrintsAsAJsonString) {
  const Outcome o = Call({"CSecurityMgr", "BeginUserSession", "A100", "admin", "secret"});
  ASSERT_TRUE(Succeeded(o));
  EXPECT_TRUE(o.err.empty()) << o.err;
  const Json out = o.OutJson();
  ASSERT_TRUE(out.is_string());
  EXPECT_TRUE(Matches(out.get<std::string>(), std::string(32, 'X'))) << out;
}

TEST_F(CliTest, RecordPrintsAsAnObjectOfItsPropertiesInOrder) {
  const std::string token = SignIn();
  // The token goes back as JSON text, as a script would pass on what it read.
  const Outcome o = Call({"CSecurityMgr", "GetSysSession", "A100", Json(token).dump()});
  ASSERT_TRUE(Succeeded(o));
  const Json out = o.OutJson();
  std::vector<std::string> keys;
  for (const auto& item : out.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"SysSessionsID", "Account", "UserName", "Token",
                                            "LastUpdate"}));
  EXPECT_TRUE(out["SysSessionsID"].is_number_integer());
  EXPECT_EQ(out["Account"], AccountPath());
  EXPECT_EQ(out["UserName"], "admin");
  EXPECT_EQ(out["Token"], token);
  EXPECT_TRUE(Matches(out["LastUpdate"].get<std::string>(), "9999-99-99T99:99:99"))
      << out["LastUpdate"];
}

TEST_F(CliTest, RecordsetPrintsEveryRowAsAnObject) {
  const Outcome o = Call({"CReportMgr", "ExecReportQuery", "A100",
                          "SELECT 1 AS n, 'a' AS t UNION ALL SELECT 2, 'b' UNION ALL "
                          "SELECT 3, NULL"});
  ASSERT_TRUE(Succeeded(o));
  EXPECT_EQ(o.OutJson(), Json::parse(R"([{"n":1,"t":"a"},{"n":2,"t":"b"},{"n":3,"t":null}])"));

  const Outcome none =
      Call({"CReportMgr", "ExecReportQuery", "A100", "SELECT UserName FROM IUser WHERE 1 = 0"});
  ASSERT_TRUE(Succeeded(none));
  EXPECT_EQ(none.OutJson(), Json::array());
}

TEST_F(CliTest, CollectionPrintsAsAnArrayOfRecords) {
  ASSERT_TRUE(
      Succeeded(Call({"CReportMgr", "ExecReportQuery", "A100", "UPDATE IUser SET Rate = 80.125"})));
  const std::string token = SignIn();
  const Outcome o =
      Call({"CUserManager", "GetSubscriberUserProfiles", "A100", "admin", Json(token).dump()});
  ASSERT_TRUE(Succeeded(o));
  const Json out = o.OutJson();
  ASSERT_TRUE(out.is_array()) << out;
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0]["UserName"], "admin");
  EXPECT_EQ(out[0]["MainUser"], true);
  EXPECT_EQ(out[0]["Rate"], "80.1250");
  EXPECT_TRUE(out[0]["OTRate"].is_null());
  EXPECT_EQ(out[0].begin().key(), "IUserID");
}

TEST_F(CliTest, ColumnTypesPrintAsCurrencyTextBooleansAndDates) {
  // A statement without rows gives a closed set, printed as null.
  const Outcome update = Call({"CReportMgr", "ExecReportQuery", "A100",
                               "UPDATE IUser SET Rate = 12.5, Cost = 0.0001, MinWeekHours = 37.5"});
  ASSERT_TRUE(Succeeded(update));
  EXPECT_TRUE(update.OutJson().is_null());
  SignIn();

  const Outcome o = Call({"CReportMgr", "ExecReportQuery", "A100",
                          "SELECT IUser.Rate, IUser.Cost, IUser.Admin, IUser.MinWeekHours, "
                          "SysSessions.LastUpdate FROM IUser, SysSessions"});
  ASSERT_TRUE(Succeeded(o));
  const Json row = o.OutJson().at(0);
  EXPECT_EQ(row["Rate"], "12.5000");
  EXPECT_EQ(row["Cost"], "0.0001");
  EXPECT_EQ(row["Admin"], true);
  EXPECT_EQ(row["MinWeekHours"], 37.5);
  EXPECT_TRUE(row["LastUpdate"].is_string()) << row;

  const Outcome raw = Call({"--raw", "CReportMgr", "ExecReportQuery", "A100",
                            "SELECT Rate, Admin, MinWeekHours, IUserID FROM IUser"});
  ASSERT_TRUE(Succeeded(raw));
  const Json out = raw.OutJson();
  EXPECT_EQ(out["type"], "Object");
  EXPECT_EQ(out["class"], "Recordset");
  EXPECT_EQ(out["value"][0], Json::parse(R"({"Rate":{"type":"Currency","value":"12.5000"},
                                              "Admin":{"type":"Boolean","value":true},
                                              "MinWeekHours":{"type":"Double","value":37.5},
                                              "IUserID":{"type":"Long","value":1}})"));
}

TEST_F(CliTest, RawShowsTheTypeOfEmptyAndTextResults) {
  Outcome o = Call({"--raw", "CSecurityMgr", "EndUserSession", "A100", "admin"});
  ASSERT_TRUE(Succeeded(o));
  EXPECT_EQ(o.OutJson(), Json::parse(R"({"type":"Empty","value":null})"));

  o = Call({"CSecurityMgr", "EndUserSession", "A100", "admin"});
  ASSERT_TRUE(Succeeded(o));
  EXPECT_TRUE(o.OutJson().is_null());

  o = Call({"CSecurityMgr", "BeginUserSession", "A100", "admin", "secret", "--raw"});
  ASSERT_TRUE(Succeeded(o));
  EXPECT_EQ(o.OutJson()["type"], "String");
}

TEST_F(CliTest, ArgumentsArriveWithTheTypesTheirTextDescribes) {
  // ChangeUserPassword with a user that does not exist changes nothing and
  // returns nothing, which lets --show-args reveal each argument's type.
  const Outcome o = Call({"--show-args", "--raw", "CSecurityMgr", "ChangeUserPassword", "A100",
                          "nobody", "--date", "2024-03-05T09:30:00", "-2.5"});
  ASSERT_TRUE(Succeeded(o));
  const Json args = o.OutJson()["args"];
  EXPECT_EQ(args[1], Json::parse(R"({"type":"String","value":"nobody"})"));
  EXPECT_EQ(args[2], Json::parse(R"({"type":"Date","value":"2024-03-05T09:30:00"})"));
  EXPECT_EQ(args[3], Json::parse(R"({"type":"Double","value":-2.5})"));

  const Outcome more = Call({"--show-args", "--raw", "CSecurityMgr", "ChangeUserPassword", "A100",
                             "42", "--date=2024-03-05", "\"--raw\""});
  ASSERT_TRUE(Succeeded(more)) << more.err;
  const Json more_args = more.OutJson()["args"];
  EXPECT_EQ(more_args[1], Json::parse(R"({"type":"Long","value":42})"));
  EXPECT_EQ(more_args[2], Json::parse(R"({"type":"Date","value":"2024-03-05T00:00:00"})"));
  EXPECT_EQ(more_args[3], Json::parse(R"({"type":"String","value":"--raw"})"));
}

TEST_F(CliTest, CompactPrintsOneLine) {
  const Outcome o = Call({"CReportMgr", "ExecReportQuery", "A100", "SELECT 1 AS n"});
  ASSERT_TRUE(Succeeded(o));
  EXPECT_GT(std::count(o.out.begin(), o.out.end(), '\n'), 1);

  const Outcome compact = RunCli({"--compact", "--db-dir", dir.Path(), "call", "CReportMgr",
                                  "ExecReportQuery", "A100", "SELECT 1 AS n"});
  ASSERT_TRUE(Succeeded(compact));
  EXPECT_EQ(compact.out, "[{\"n\":1}]\n");
}

// ---- errors

TEST_F(CliTest, RaisedErrorIsOneJsonLineOnStderrAndExitOne) {
  const Outcome o = Call({"CSecurityMgr", "BeginUserSession", "A100", "admin", "wrong"});
  EXPECT_EQ(o.status, 1);
  EXPECT_TRUE(o.out.empty()) << o.out;
  ASSERT_EQ(o.ErrLines().size(), 1u) << o.err;
  const Json err = Json::parse(o.err);
  EXPECT_EQ(err["number"], errCSecurityMgr::eInvalidUserInfo);
  EXPECT_EQ(err["source"], "BRIVOS.CSecurityMgr");
  const std::string description = err["description"];
  EXPECT_NE(description.find(std::string(kErrorMarker) +
                             std::to_string(errCSecurityMgr::eInvalidUserInfo)),
            std::string::npos)
      << description;
  std::vector<std::string> keys;
  for (const auto& item : err.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"number", "source", "description"}));
}

TEST_F(CliTest, MissingDatabaseIsARaisedError) {
  SKIP_UNLESS_ON_FILES();
  const Outcome o = Call({"CSecurityMgr", "BeginUserSession", "A999", "admin", "secret"});
  EXPECT_EQ(o.status, 1);
  ASSERT_EQ(o.ErrLines().size(), 1u) << o.err;
  EXPECT_EQ(Json::parse(o.err)["number"], errnum::kDbCannotOpen);
  EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/A999.mdb"));
}

TEST_F(CliTest, BadInputGivesOneLineAndExitTwo) {
  struct Case {
    std::vector<std::string> args;
    const char* mentions;
  };
  const std::string db = dir.Path();
  const std::vector<Case> cases = {
      {{"--db-dir", db, "call", "CNoSuchMgr", "Foo"}, "CNoSuchMgr"},
      {{"--db-dir", db, "call", "SysSessions", "Token"}, "cannot be created"},
      {{"--db-dir", db, "call", "CSecurityMgr", "Frobnicate", "A100"}, "Frobnicate"},
      {{"--db-dir", db, "call", "CSecurityMgr", "BeginUserSession", "A100", "admin"},
       "Account, UserName, Password"},
      {{"--db-dir", db, "call", "CSecurityMgr", "EndUserSession", "A100", "admin", "x"}, "3 given"},
      {{"--db-dir", db, "call", "CSecurityMgr", "EndUserSession", "A100", "{\"a\":"},
       "malformed JSON"},
      {{"--db-dir", db, "call", "CSecurityMgr", "EndUserSession", "A100", "{\"a\":1}"},
       "JSON objects"},
      {{"--db-dir", db, "call", "CSecurityMgr", "EndUserSession", "A100", "--frobnicate"},
       "--frobnicate"},
      {{"--db-dir", db, "call", "CSecurityMgr", "EndUserSession", "A100", "--date", "soon"},
       "--date"},
      {{"--db-dir", db, "call", "CSecurityMgr", "EndUserSession", "A100", "--date"}, "--date"},
      {{"--db-dir", db, "call", "CSecurityMgr"}, "METHOD"},
      {{}, "subcommand"},
      {{"launch"}, "launch"},
      {{"classes", "extra"}, "extra"},
      {{"members", "CNoSuchMgr"}, "CNoSuchMgr"},
      {{"enums", "lenNoSuchTable"}, "lenNoSuchTable"},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& a : c.args) shown += a + " ";
    SCOPED_TRACE(shown);
    const Outcome o = RunCli(c.args);
    EXPECT_EQ(o.status, 2) << o.err;
    EXPECT_TRUE(o.out.empty()) << o.out;
    ASSERT_EQ(o.ErrLines().size(), 1u) << o.err;
    EXPECT_TRUE(o.err.starts_with("brivos: ")) << o.err;
    EXPECT_NE(o.err.find(c.mentions), std::string::npos) << o.err;
  }
  // None of those reached the database.
  const Outcome o = Call({"CReportMgr", "ExecReportQuery", "A100",
                          "SELECT COUNT(*) AS n FROM "
                          "SysSessions"});
  ASSERT_TRUE(Succeeded(o));
  EXPECT_EQ(o.OutJson(), Json::parse(R"([{"n":0}])"));
}

// ---- listings

TEST(CliListing, ClassesAreTheRegistrysInItsOrder) {
  const Outcome o = RunCli({"classes"});
  ASSERT_TRUE(Succeeded(o));
  const Json out = o.OutJson();
  ASSERT_EQ(out.size(), RegisteredClasses().size());
  for (std::size_t i = 0; i < out.size(); ++i) {
    EXPECT_EQ(out[i]["name"], RegisteredClasses()[i]->Name());
    EXPECT_EQ(out[i]["creatable"], RegisteredClasses()[i]->Creatable());
  }
  const auto find = [&](const std::string& name) {
    for (const Json& entry : out) {
      if (entry["name"] == name) return entry;
    }
    return Json();
  };
  EXPECT_EQ(find("CSecurityMgr")["creatable"], true);
  EXPECT_EQ(find("CReportMgr")["creatable"], true);
  EXPECT_EQ(find("SysSessions")["creatable"], false);
}

TEST(CliListing, MembersCarryTheirArgumentNamesAndAccess) {
  // A manager with members for administrators, any user and the owner, a
  // manager with none of the owner's, and a record class.
  for (const std::string name : {"CProjectMgr", "CSecurityMgr", "SysSessions"}) {
    SCOPED_TRACE(name);
    const ClassInfo* info = FindClass(name);
    ASSERT_NE(info, nullptr);
    const Outcome o = RunCli({"members", AsciiLowered(name)});
    ASSERT_TRUE(Succeeded(o));
    const Json out = o.OutJson();
    EXPECT_EQ(out["class"], name);
    EXPECT_EQ(out["progId"], "BRIVOS." + name);
    EXPECT_EQ(out["creatable"], info->Creatable());
    const auto& members = info->Members();
    ASSERT_EQ(out["members"].size(), members.size());
    for (std::size_t i = 0; i < members.size(); ++i) {
      const Json& m = out["members"][i];
      EXPECT_EQ(m["name"], members[i].name);
      EXPECT_EQ(m["args"], Json(members[i].arg_names));
      EXPECT_EQ(m["access"], AccessName(members[i].access)) << m;
      // "owned" only where the declaration names arguments.
      EXPECT_EQ(m.contains("owned") ? m["owned"] : Json::array(), Json(members[i].owned)) << m;
      EXPECT_NE(m.contains("owned"), members[i].owned.empty()) << m;
    }
  }

  // What the declarations say, as printed.
  const Json projects = RunCli({"members", "CProjectMgr"}).OutJson();
  const auto member = [&](const std::string& name) {
    for (const Json& m : projects["members"]) {
      if (m["name"] == name) return m;
    }
    return Json();
  };
  EXPECT_EQ(member("UpdateTransaction")["owned"], Json::array({"TransID", "StaffID"}));
  EXPECT_EQ(member("UpdateTransaction")["access"], AccessName(Access::kOwn));
  EXPECT_NE(member("UpdateTransaction")["access"], member("GetProjects")["access"]);
  EXPECT_EQ(member("AddTransaction")["args"][0], "Account");
  const Json sessions = RunCli({"members", "SysSessions"}).OutJson();
  EXPECT_EQ(sessions["creatable"], false);
  EXPECT_EQ(sessions["members"][0],
            Json::parse(R"({"name":"SysSessionsID","args":[],"access":"any user"})"));
}

TEST(CliListing, EnumsAreThePublishedEnumerations) {
  const Outcome o = RunCli({"enums"});
  ASSERT_TRUE(Succeeded(o));
  const Json out = o.OutJson();
  ASSERT_EQ(out.size(), PublishedEnums().size());
  for (const EnumInfo& info : PublishedEnums()) {
    ASSERT_TRUE(out.contains(info.name)) << info.name;
    const Json& members = out[info.name];
    ASSERT_EQ(members.size(), info.members.size()) << info.name;
    std::size_t i = 0;
    for (const auto& item : members.items()) {
      EXPECT_EQ(item.key(), info.members[i].first) << info.name;
      EXPECT_EQ(item.value(), info.members[i].second) << info.name;
      ++i;
    }
  }
  EXPECT_EQ(out["errCSecurityMgr"]["eInvalidUserInfo"], -2147221503);
  EXPECT_EQ(out["lenSysSessions"]["lenToken"], 255);

  const Outcome one = RunCli({"enums", "errcsecuritymgr"});
  ASSERT_TRUE(Succeeded(one));
  EXPECT_EQ(one.OutJson(), out["errCSecurityMgr"]);
}

TEST(CliListing, HelpDescribesTheAccountRule) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--help"}, std::vector<std::string>{"call", "--help"}}) {
    const Outcome o = RunCli(args);
    EXPECT_EQ(o.status, 0);
    EXPECT_NE(o.out.find("BRIVOS_DATA"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("DIR\\NUMBER"), std::string::npos) << o.out;
  }
}

}  // namespace
}  // namespace brivos::testing
