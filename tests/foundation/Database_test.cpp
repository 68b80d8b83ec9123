#include "brivos/database/Database.hpp"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "brivos/database/sqlite/DialectShim.hpp"
#include "brivos/database/sqlite/FileIdentities.hpp"
#include "brivos/foundation/Clock.hpp"
#include "brivos/foundation/Error.hpp"
#include "tests/support/SubscriberFixture.hpp"

namespace brivos {
namespace {

namespace fs = std::filesystem;
using testing::RaisedNumber;

template <class F>
Error ErrorOf(F&& f) {
  try {
    f();
  } catch (const Error& e) {
    return e;
  }
  ADD_FAILURE() << "nothing raised";
  return Error(0, "", "");
}

constexpr const char* kSchema = R"(
CREATE TABLE Item (
  ItemID INTEGER PRIMARY KEY AUTOINCREMENT,
  Name VARCHAR(10) COLLATE NOCASE CHECK(length(Name) <= 10),
  Notes MEMO COLLATE NOCASE CHECK(length(Notes) <= 2000),
  Qty INTEGER,
  Ratio DOUBLE,
  Rate CURRENCY,
  Active BOOLEAN,
  Stamp DATETIME
);
CREATE TABLE Tag (TagID INTEGER PRIMARY KEY AUTOINCREMENT, ItemID INTEGER, Label VARCHAR(20) COLLATE NOCASE
  NOT NULL UNIQUE);
CREATE TABLE Counter (N INTEGER NOT NULL);
INSERT INTO Counter (N) VALUES (0);
)";

// Creates the database file `file` ("dir/A100.mdb") with the schema `ddl`.
void CreateDatabaseFile(const std::string& file, std::string_view ddl) {
  CreateDatabase(Variant(file.substr(0, file.size() - 4)), ddl);
}

// Each test on a new database file in a directory of its own.
class DatabaseTest : public ::testing::Test {
 protected:
  DatabaseTest() {
    std::string templ = (fs::temp_directory_path() / "brivos-db-XXXXXX").string();
    dir_ = mkdtemp(templ.data());
    account_ = Variant(dir_ + "\\A100");
    file_ = dir_ + "/A100.mdb";
    CreateDatabaseFile(file_, kSchema);
  }
  ~DatabaseTest() override {
    ReleaseIdleConnections();
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  Variant Scalar(const std::string& sql) {
    auto rs = Connection::Open(account_).Query(sql);
    return rs->Field(0);
  }

  std::string dir_;
  std::string file_;
  Variant account_;
};

// --- connection strings ------------------------------------------------------

TEST(ConnectionStringTest, BuildsTheDriverTextAndReadsItBack) {
  EXPECT_EQ(BuildConnectionString(Variant("C:\\Data\\A100")),
            "Driver={Microsoft Access Driver (*.mdb)};Dbq=C:\\Data\\A100.mdb;Uid=Admin;");
  EXPECT_EQ(DatabasePathOf(BuildConnectionString(Variant("/srv/subs\\A100"))),
            "/srv/subs/A100.mdb");
  EXPECT_EQ(DatabasePathOf("Driver={x};DBQ=rel\\dir\\B7.mdb"), "rel/dir/B7.mdb");
  EXPECT_EQ(DatabasePathOf(BuildConnectionString(Variant("A100"))), "A100.mdb");
}

TEST(ConnectionStringTest, TheDbqValueIsTheWholeFileName) {
  struct Case {
    const char* account;
    const char* file;
  };
  const Case cases[] = {
      {"C:\\Data\\A100", "C:/Data/A100.mdb"},
      {"A;B", "A;B.mdb"},
      {"dir;x\\A;Uid=Admin;Dbq=B", "dir;x/A;Uid=Admin;Dbq=B.mdb"},
      {"A.mdb;B", "A.mdb;B.mdb"},
      {"{A}", "{A}.mdb"},
      {"file:A100", "file:A100.mdb"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DatabaseFileOf(Variant(c.account)), c.file) << c.account;
    EXPECT_EQ(DatabasePathOf(BuildConnectionString(Variant(c.account))), c.file) << c.account;
  }
}

TEST(ConnectionStringTest, AccountNumberIsTheTextAfterTheLastBackslash) {
  EXPECT_EQ(AccountNumberOf(Variant("C:\\Data\\A100")), "A100");
  EXPECT_EQ(AccountNumberOf(Variant("A100")), "A100");
  EXPECT_EQ(AccountNumberOf(Variant("/srv/x/A100")), "/srv/x/A100");
  EXPECT_EQ(AccountNumberOf(Variant("dir\\")), "");
}

// --- opening -----------------------------------------------------------------

TEST_F(DatabaseTest, MissingFileIsReportedAndNeverCreated) {
  const Variant missing(dir_ + "\\Nobody");
  const Error e = ErrorOf([&] { Connection::Open(missing); });
  EXPECT_EQ(e.Number(), errnum::kDbCannotOpen);
  EXPECT_EQ(e.Description(), "Could not find file '" + dir_ + "/Nobody.mdb'.");
  EXPECT_EQ(e.Source(), "BRIVOS.Database");
  EXPECT_FALSE(fs::exists(dir_ + "/Nobody.mdb"));
}

TEST_F(DatabaseTest, AccountPathWithAndWithoutBackslash) {
  Connection::Open(account_).Execute("INSERT INTO Item (Name) VALUES ('viaPath')");
  EXPECT_EQ(Connection::Open(account_).Path(), file_);

  // Without a backslash the account is a path relative to the working directory.
  const fs::path before = fs::current_path();
  fs::current_path(dir_);
  const Variant bare("A100");
  EXPECT_EQ(CStr(Connection::Open(bare).Query("SELECT Name FROM Item")->Field("Name")), "viaPath");
  fs::current_path(before);
}

TEST_F(DatabaseTest, NewFilesAreInWalModeAndAreNotOverwritten) {
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open_v2(file_.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(raw, "PRAGMA journal_mode", -1, &stmt, nullptr);
  ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "wal");
  sqlite3_finalize(stmt);
  sqlite3_close(raw);

  const Error e = ErrorOf([&] { CreateDatabaseFile(file_, "CREATE TABLE Other (X INTEGER);"); });
  EXPECT_EQ(e.Number(), -2147467259);
  EXPECT_EQ(e.Description(), "Database file '" + file_ + "' already exists.");
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM Counter")), 1) << "the existing file is untouched";
}

TEST_F(DatabaseTest, FailedCreationLeavesNoFile) {
  const std::string bad = dir_ + "/Bad.mdb";
  const Error e =
      ErrorOf([&] { CreateDatabaseFile(bad, "CREATE TABLE T (X INTEGER); CREATE BOGUS;"); });
  EXPECT_EQ(e.Number(), errnum::kDbStatementRejected);
  for (const char* suffix : {"", "-wal", "-shm"}) EXPECT_FALSE(fs::exists(bad + suffix)) << suffix;
}

// --- reading values back ---------------------------------------------------------

TEST_F(DatabaseTest, ValuesComeBackAsTheirDeclaredKind) {
  Connection db = Connection::Open(account_);
  const Date stamp = Date::FromParts(2024, 3, 5, 9, 5, 1);
  const Parameter values[] = {Parameter::Text(Variant("Widget")),
                              Parameter::Memo(Variant("long notes")),
                              Parameter::Long(Variant(42)),
                              Parameter::Double(Variant(0.25)),
                              Parameter::Currency(Variant(Currency::FromScaled(1991720))),
                              Parameter::Boolean(Variant(true)),
                              Parameter::Date(Variant(stamp))};
  const std::int32_t id =
      db.Insert("INSERT INTO Item (Name,Notes,Qty,Ratio,Rate,Active,Stamp) VALUES (?,?,?,?,?,?,?)",
                values, "ItemID");
  EXPECT_GT(id, 0);

  auto rs = db.Query("SELECT * FROM Item WHERE ItemID=?", {Parameter::Long(Variant(id))});
  ASSERT_FALSE(rs->Eof());
  struct Expected {
    const char* field;
    VarType type;
    std::string text;
  };
  const std::vector<Expected> expected = {
      {"ItemID", VarType::Long, std::to_string(id)},
      {"Name", VarType::String, "Widget"},
      {"Notes", VarType::String, "long notes"},
      {"Qty", VarType::Long, "42"},
      {"Ratio", VarType::Double, "0.25"},
      {"Rate", VarType::Currency, "199.172"},
      {"Active", VarType::Boolean, "True"},
      {"Stamp", VarType::Date, "2024-03-05 09:05:01"},
  };
  for (const Expected& x : expected) {
    const Variant& v = rs->Field(x.field);
    EXPECT_EQ(v.Type(), x.type) << x.field;
    EXPECT_EQ(CStr(v), x.text) << x.field;
  }
  EXPECT_EQ(rs->Field("Rate").AsCurrency(), Currency::FromScaled(1991720));
  EXPECT_EQ(rs->Field("Stamp").AsDate(), stamp) << "stamps compare equal exactly";
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
}

TEST_F(DatabaseTest, CurrencyIsExactToFourDecimals) {
  Connection db = Connection::Open(account_);
  for (std::int64_t scaled : {std::int64_t{1}, std::int64_t{-35000}, std::int64_t{1234567891234},
                              std::int64_t{99999999999999}}) {
    db.Execute("DELETE FROM Item");
    db.Execute("INSERT INTO Item (Rate) VALUES (?)",
               {Parameter::Currency(Variant(Currency::FromScaled(scaled)))});
    EXPECT_EQ(db.Query("SELECT Rate FROM Item")->Field(0).AsCurrency().Scaled(), scaled);
  }
}

TEST_F(DatabaseTest, CurrencyIsRefusedUnwrittenWhenItsRealFormWouldNotReadBack) {
  Connection db = Connection::Open(account_);
  const auto write = [&](std::int64_t scaled) {
    db.Execute("INSERT INTO Item (Rate) VALUES (?)",
               {Parameter::Currency(Variant(Currency::FromScaled(scaled)))});
  };
  for (std::int64_t scaled :
       {std::int64_t{9007199254740993}, -std::int64_t{9007199254740993}, INT64_MAX, INT64_MIN}) {
    EXPECT_EQ(RaisedNumber([&] { write(scaled); }), errnum::kOverflow) << scaled;
  }
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM Item")), 0);

  // Up to about 225 billion every value reads back; beyond that a value is
  // either refused or reads back exactly.
  std::vector<std::int64_t> values = {2251799813685247, -2251799813685247};
  for (int bit = 51; bit <= 62; ++bit) {
    for (std::int64_t delta : {-1, 0, 1, 3}) {
      values.push_back((std::int64_t{1} << bit) + delta);
      values.push_back(-(std::int64_t{1} << bit) - delta);
    }
  }
  for (std::int64_t scaled : values) {
    db.Execute("DELETE FROM Item");
    const std::int32_t refused = RaisedNumber([&] { write(scaled); });
    if (std::llabs(scaled) <= 2251799813685247) {
      EXPECT_EQ(refused, 0) << scaled;
    }
    if (refused != 0) {
      EXPECT_EQ(refused, errnum::kOverflow) << scaled;
      EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM Item")), 0) << scaled;
      continue;
    }
    std::int64_t read = 0;
    EXPECT_EQ(RaisedNumber([&] { read = Scalar("SELECT Rate FROM Item").AsCurrency().Scaled(); }),
              0)
        << scaled;
    EXPECT_EQ(read, scaled);
  }
}

TEST_F(DatabaseTest, NullStaysNullInEveryKind) {
  Connection db = Connection::Open(account_);
  db.Execute("INSERT INTO Item (Name,Notes,Qty,Ratio,Rate,Active,Stamp) VALUES (?,?,?,?,?,?,?)",
             {Parameter::Text(Variant::Null()), Parameter::Memo(Variant()),
              Parameter::Long(Variant::Null()), Parameter::Double(Variant::Null()),
              Parameter::Currency(Variant::Null()), Parameter::Boolean(Variant::Null()),
              Parameter::Date(Variant::Null())});
  auto rs = db.Query("SELECT Name,Notes,Qty,Ratio,Rate,Active,Stamp, NULL AS Blank FROM Item");
  ASSERT_EQ(rs->FieldCount(), 8);
  for (std::int32_t i = 0; i < rs->FieldCount(); ++i) {
    EXPECT_TRUE(rs->Field(i).IsNull()) << rs->FieldName(i);
  }
}

TEST_F(DatabaseTest, ExpressionsAreTypedByWhatTheyHold) {
  auto rs = Connection::Open(account_).Query(
      "SELECT 1+1 AS I, 1.5 AS D, 'x' AS S, 5000000000 AS Big, COUNT(*) AS C, MAX(N) AS M "
      "FROM Counter");
  EXPECT_EQ(rs->Field("I").Type(), VarType::Long);
  EXPECT_EQ(rs->Field("D").Type(), VarType::Double);
  EXPECT_EQ(rs->Field("S").Type(), VarType::String);
  EXPECT_EQ(rs->Field("Big").Type(), VarType::Double);
  EXPECT_EQ(CDbl(rs->Field("Big")), 5000000000.0);
  EXPECT_EQ(rs->Field("C").Type(), VarType::Long);
  EXPECT_EQ(rs->Field("M").Type(), VarType::Long) << "a column of an aggregate keeps its kind";
}

TEST_F(DatabaseTest, IntegerColumnsOutsideLongComeBackAsDouble) {
  Connection db = Connection::Open(account_);
  db.Execute("INSERT INTO Item (Qty) VALUES (3000000000)");
  const Variant v = db.Query("SELECT Qty FROM Item")->Field("qty");
  EXPECT_EQ(v.Type(), VarType::Double);
  EXPECT_EQ(CDbl(v), 3000000000.0);
}

TEST_F(DatabaseTest, ParametersAreConvertedByKind) {
  Connection db = Connection::Open(account_);
  db.Execute("INSERT INTO Item (Name,Qty,Ratio,Rate,Active,Stamp) VALUES (?,?,?,?,?,?)",
             {Parameter::Text(Variant(12.5)), Parameter::Long(Variant("41")),
              Parameter::Double(Variant("2.5")), Parameter::Currency(Variant(1.23456)),
              Parameter::Boolean(Variant("True")), Parameter::Date(Variant("2024-01-02"))});
  auto rs = db.Query("SELECT * FROM Item");
  EXPECT_EQ(CStr(rs->Field("Name")), "12.5");
  EXPECT_EQ(rs->Field("Qty").AsLong(), 41);
  EXPECT_EQ(rs->Field("Ratio").AsDouble(), 2.5);
  EXPECT_EQ(rs->Field("Rate").AsCurrency(), Currency::FromScaled(12346));
  EXPECT_TRUE(rs->Field("Active").AsBool());
  EXPECT_EQ(rs->Field("Stamp").AsDate(), Date::FromParts(2024, 1, 2));

  // Conversion failures are the coercions' own errors.
  EXPECT_EQ(ErrorOf([&] {
              db.Execute("INSERT INTO Item (Qty) VALUES (?)", {Parameter::Long(Variant("abc"))});
            }).Number(),
            errnum::kTypeMismatch);
  EXPECT_EQ(ErrorOf([&] {
              db.Execute("INSERT INTO Item (Qty) VALUES (?)", {Parameter::Long(Variant(5e10))});
            }).Number(),
            errnum::kOverflow);
  EXPECT_EQ(CLng(db.Query("SELECT COUNT(*) FROM Item")->Field(0)), 1);
}

TEST_F(DatabaseTest, ExecuteCountsChangedRowsOnly) {
  Connection db = Connection::Open(account_);
  EXPECT_EQ(db.Execute("INSERT INTO Item (Name) VALUES ('a')"), 1);
  EXPECT_EQ(db.Execute("INSERT INTO Item (Name) VALUES ('b')"), 1);
  EXPECT_EQ(db.Execute("UPDATE Item SET Qty=1"), 2);
  EXPECT_EQ(db.Execute("UPDATE Item SET Qty=2 WHERE Name='zzz'"), 0);
  EXPECT_EQ(db.Execute("CREATE TABLE Extra (X INTEGER)"), 0);
  EXPECT_EQ(db.Execute("SELECT * FROM Item"), 0);
}

TEST_F(DatabaseTest, StatementsWithoutColumnsGiveAClosedSet) {
  auto rs = OpenRecordset(account_, "UPDATE Counter SET N=N+1");
  EXPECT_FALSE(rs->IsOpen());
  EXPECT_EQ(ErrorOf([&] { rs->Eof(); }).Number(), 3704);
  EXPECT_EQ(CLng(Scalar("SELECT N FROM Counter")), 1);

  auto empty = OpenRecordset(account_, "SELECT * FROM Item");
  EXPECT_TRUE(empty->IsOpen());
  EXPECT_TRUE(empty->Eof());
  EXPECT_EQ(empty->FieldCount(), 8);
}

// --- refusals ------------------------------------------------------------------

TEST_F(DatabaseTest, RefusedStatementsCarryTheirNumbers) {
  Connection db = Connection::Open(account_);
  struct Case {
    const char* what;
    const char* sql;
    std::int32_t number;
  };
  const std::vector<Case> cases = {
      {"syntax", "SELEKT * FROM Item", errnum::kDbStatementRejected},
      {"unknown table", "SELECT * FROM NoSuchTable", errnum::kDbStatementRejected},
      {"unknown column", "SELECT NoSuchColumn FROM Item", errnum::kDbStatementRejected},
      {"second statement", "SELECT 1; SELECT 2", errnum::kDbStatementRejected},
      {"text too wide", "INSERT INTO Item (Name) VALUES ('ABCDEFGHIJK')", errnum::kDbConstraint},
      {"not null", "INSERT INTO Tag (Label) VALUES (NULL)", errnum::kDbConstraint},
      {"unique (compared without case)", "INSERT INTO Tag (Label) VALUES ('DUP')",
       errnum::kDbConstraint},
  };
  db.Execute("INSERT INTO Tag (Label) VALUES ('dup')");
  for (const Case& k : cases) {
    const Error e = ErrorOf([&] { db.Execute(k.sql); });
    EXPECT_EQ(e.Number(), k.number) << k.what << ": " << e.Description();
    EXPECT_EQ(e.Source(), "BRIVOS.Database") << k.what;
  }
  EXPECT_EQ(db.Execute("INSERT INTO Item (Name) VALUES ('ABCDEFGHIJ');  "), 1)
      << "a trailing semicolon is no second statement";
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM Tag")), 1);
}

TEST_F(DatabaseTest, OpenRecordsetFollowsTheErrorConvention) {
  const Error e = ErrorOf([&] { OpenRecordset(account_, "SELECT * FROM Nowhere"); });
  EXPECT_EQ(e.Number(), errnum::kDbStatementRejected);
  EXPECT_NE(e.Description().find(std::string(kErrorMarker) + "-2147217900"), std::string::npos)
      << e.Description();

  const Error missing = ErrorOf([&] { OpenRecordset(Variant(dir_ + "\\Gone"), "SELECT 1"); });
  EXPECT_EQ(missing.Number(), errnum::kDbCannotOpen);
  EXPECT_NE(missing.Description().find("Gone.mdb"), std::string::npos);
}

// --- dialect shim ----------------------------------------------------------------

TEST(DialectRewriteTest, RewritesOnlyFunctionCallsOfLeftAndRight) {
  using internal::RewriteDialect;
  struct Case {
    const char* sql;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"SELECT LEFT(Name,1) FROM T", "SELECT BRIVOS_LEFT(Name,1) FROM T"},
      {"select left  (a,2), Right(b,3)", "select BRIVOS_LEFT  (a,2), BRIVOS_RIGHT(b,3)"},
      {"SELECT * FROM A LEFT JOIN B ON A.x=B.x", "SELECT * FROM A LEFT JOIN B ON A.x=B.x"},
      {"SELECT 'LEFT(x' FROM T", "SELECT 'LEFT(x' FROM T"},
      {"SELECT 'it''s LEFT(' , LEFT(a,1)", "SELECT 'it''s LEFT(' , BRIVOS_LEFT(a,1)"},
      {"SELECT \"LEFT(\" FROM T", "SELECT \"LEFT(\" FROM T"},
      {"SELECT MYLEFT(a), LEFTOVER(b), a.LEFT(1)",
       "SELECT MYLEFT(a), LEFTOVER(b), a.BRIVOS_LEFT(1)"},
      {"SELECT 1 -- LEFT(\n, LEFT(a,1)", "SELECT 1 -- LEFT(\n, BRIVOS_LEFT(a,1)"},
      {"SELECT /* RIGHT( */ 1", "SELECT /* RIGHT( */ 1"},
      {"SELECT UCASE(LEFT(Name,1))", "SELECT UCASE(BRIVOS_LEFT(Name,1))"},
      {"SELECT 'unterminated LEFT(", "SELECT 'unterminated LEFT("},
  };
  for (const Case& k : cases) EXPECT_EQ(RewriteDialect(k.sql), k.expected) << k.sql;
}

TEST_F(DatabaseTest, ShimFunctionsWorkInStatements) {
  Connection db = Connection::Open(account_);
  for (const char* name : {"Alice", "bob", "andré", "Carl"}) {
    db.Execute("INSERT INTO Item (Name) VALUES (?)", {Parameter::Text(Variant(name))});
  }
  auto rs = db.Query("SELECT Name FROM Item WHERE UCASE(LEFT(Name,1))='A' ORDER BY ItemID");
  ASSERT_EQ(rs->RecordCount(), 2);
  EXPECT_EQ(CStr(rs->Field("Name")), "Alice");
  rs->MoveNext();
  EXPECT_EQ(CStr(rs->Field("Name")), "andré");

  struct Case {
    std::string expr;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"LEFT('Hello', 2)", "He"},
      {"RIGHT('Hello', 3)", "llo"},
      {"RIGHT('Hi', 5)", "Hi"},
      {"LEFT('andré', 5)", "andré"},
      {"RIGHT('andré', 2)", "ré"},
      {"MID('Hello', 2, 3)", "ell"},
      {"MID('Hello', 4)", "lo"},
      {"MID('Hello', 9)", ""},
      {"LEN('andré')", "5"},
      {"UCASE('abc')", "ABC"},
      {"LCASE('ABC')", "abc"},
      {"'LEFT(' || LEFT('xy',1)", "LEFT(x"},
      {"CDATE('2024-03-05') = " + std::to_string(Date::FromParts(2024, 3, 5).Serial()), "1"},
      {"CDATE(45000.5)", "45000.5"},
      {"CLNG(2.5)", "2"},
      {"CSTR(7)", "7"},
  };
  for (const Case& k : cases) {
    EXPECT_EQ(CStr(db.Query("SELECT " + k.expr)->Field(0)), k.expected) << k.expr;
  }
  for (const char* expr :
       {"LEFT(NULL,1)", "MID(NULL,1)", "LEN(NULL)", "UCASE(NULL)", "CDATE(NULL)"}) {
    EXPECT_TRUE(db.Query(std::string("SELECT ") + expr)->Field(0).IsNull()) << expr;
  }
  EXPECT_EQ(ErrorOf([&] { db.Query("SELECT MID('abc', 0)"); }).Number(), errnum::kDbFailure);
  EXPECT_EQ(ErrorOf([&] { db.Query("SELECT CDATE('not a date')"); }).Number(), errnum::kDbFailure);
}

TEST_F(DatabaseTest, NowReadsTheLibraryClock) {
  const Date fixed = Date::FromParts(2023, 7, 1, 12, 30, 0);
  SetClock([fixed] { return fixed; });
  Connection db = Connection::Open(account_);
  db.Execute("INSERT INTO Item (Stamp) VALUES (NOW())");
  SetClock(nullptr);
  EXPECT_EQ(db.Query("SELECT Stamp FROM Item")->Field(0).AsDate(), fixed);
}

TEST_F(DatabaseTest, LeftJoinIsUntouched) {
  Connection db = Connection::Open(account_);
  db.Execute("INSERT INTO Item (Name) VALUES ('a')");
  db.Execute("INSERT INTO Item (Name) VALUES ('b')");
  db.Execute("INSERT INTO Tag (ItemID, Label) VALUES (1, 'x')");
  auto rs = db.Query(
      "SELECT Item.Name, Tag.Label FROM Item LEFT JOIN Tag ON Tag.ItemID=Item.ItemID "
      "ORDER BY Item.Name");
  ASSERT_EQ(rs->RecordCount(), 2);
  rs->MoveNext();
  EXPECT_EQ(CStr(rs->Field("Name")), "b");
  EXPECT_TRUE(rs->Field("Label").IsNull());
}

// --- units of work -----------------------------------------------------------------

TEST_F(DatabaseTest, ConcurrentUnitsOfWorkDoNotLoseIncrements) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 100;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        try {
          UnitOfWork work(account_);
          const std::int32_t n = CLng(work.Db().Query("SELECT N FROM Counter")->Field("N"));
          // A nested call on the same file joins the unit.
          Connection::Open(account_).Execute("UPDATE Counter SET N=?",
                                             {Parameter::Long(Variant(n + 1))});
          work.Commit();
        } catch (const Error& e) {
          ADD_FAILURE() << e.Number() << " " << e.Description();
          ++failures;
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(CLng(Scalar("SELECT N FROM Counter")), kThreads * kRounds);
}

TEST_F(DatabaseTest, UnitEndedByAnErrorLeavesNothingWritten) {
  try {
    UnitOfWork work(account_);
    work.Db().Execute("INSERT INTO Item (Name) VALUES ('kept?')");
    Connection::Open(account_).Execute("UPDATE Counter SET N=99");
    work.Db().Execute("INSERT INTO Item (Name) VALUES ('far too long a name')");
    work.Commit();
    FAIL() << "the insert should have been refused";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), errnum::kDbConstraint);
  }
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM Item")), 0);
  EXPECT_EQ(CLng(Scalar("SELECT N FROM Counter")), 0);

  // A C++ exception ends the unit the same way.
  EXPECT_THROW(
      {
        UnitOfWork work(account_);
        work.Db().Execute("UPDATE Counter SET N=5");
        throw std::runtime_error("stop");
      },
      std::runtime_error);
  EXPECT_EQ(CLng(Scalar("SELECT N FROM Counter")), 0);
}

TEST_F(DatabaseTest, NestedCallsSeeTheUnitsUncommittedWrites) {
  UnitOfWork work(account_);
  work.Db().Execute("UPDATE Counter SET N=7");
  EXPECT_EQ(CLng(Scalar("SELECT N FROM Counter")), 7) << "same thread, same file: joined";

  // Another thread has a connection of its own and sees only committed data.
  std::int32_t seen = -1;
  std::thread other([&] { seen = CLng(Scalar("SELECT N FROM Counter")); });
  other.join();
  EXPECT_EQ(seen, 0);

  work.Commit();
  std::thread after([&] { seen = CLng(Scalar("SELECT N FROM Counter")); });
  after.join();
  EXPECT_EQ(seen, 7);
}

TEST_F(DatabaseTest, AScopesCallsShareOneSessionAndItsUnitsStayAllOrNothing) {
  {
    const ConnectionScope scope;
    // A temporary table lives in one session: a call made while the first
    // still holds its connection sees it.
    Connection first = Connection::Open(account_);
    first.Execute("CREATE TEMP TABLE Mark (x)");
    EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM temp.Mark")), 0);
    first.Execute("DROP TABLE temp.Mark");
    {
      UnitOfWork left(account_);
      left.Db().Execute("UPDATE Counter SET N=5");
    }  // ended uncommitted: rolled back on the scope's session
    EXPECT_EQ(CLng(Scalar("SELECT N FROM Counter")), 0);
    UnitOfWork work(account_);
    work.Db().Execute("UPDATE Counter SET N=6");
    work.Commit();
  }
  std::int32_t seen = -1;
  std::thread other([&] { seen = CLng(Scalar("SELECT N FROM Counter")); });
  other.join();
  EXPECT_EQ(seen, 6);
}

TEST_F(DatabaseTest, ReadsTogetherSeeOneStateAndGiveWayToWrites) {
  const auto commit_elsewhere = [&](const char* sql) {
    std::thread([&] {
      UnitOfWork work(account_);
      work.Db().Execute(sql);
      work.Commit();
    }).join();
  };
  {
    const ConnectionScope scope;
    {
      const ReadTogether reads;
      EXPECT_EQ(CLng(Scalar("SELECT N FROM Counter")), 0);
      commit_elsewhere("UPDATE Counter SET N=1");
      EXPECT_EQ(CLng(Scalar("SELECT N FROM Counter")), 0) << "one read: one state";
      // A unit of work, then a lone write, each end the read before writing
      // and see what was committed meanwhile.
      {
        UnitOfWork work(account_);
        work.Db().Execute("UPDATE Counter SET N=N+1");
        work.Commit();
      }
      EXPECT_EQ(CLng(Scalar("SELECT N FROM Counter")), 2);
      Connection::Open(account_).Execute("UPDATE Counter SET N=N+1");
      commit_elsewhere("UPDATE Counter SET N=N*10");
      EXPECT_EQ(CLng(Scalar("SELECT N FROM Counter")), 30);
    }
    commit_elsewhere("UPDATE Counter SET N=N+1");
    EXPECT_EQ(CLng(Scalar("SELECT N FROM Counter")), 31) << "the read ended with its scope";
  }
  // Outside a scope each read is its own.
  const ReadTogether reads;
  EXPECT_EQ(CLng(Scalar("SELECT N FROM Counter")), 31);
  commit_elsewhere("UPDATE Counter SET N=0");
  EXPECT_EQ(CLng(Scalar("SELECT N FROM Counter")), 0);
}

TEST_F(DatabaseTest, InnerUnitsJoinAndOnlyTheOutermostCommits) {
  {
    UnitOfWork outer(account_);
    {
      UnitOfWork inner(account_);
      inner.Db().Execute("UPDATE Counter SET N=3");
      inner.Commit();
    }
    EXPECT_EQ(CLng(outer.Db().Query("SELECT N FROM Counter")->Field(0)), 3);
    // Leaving without Commit rolls back what the inner unit did as well.
  }
  EXPECT_EQ(CLng(Scalar("SELECT N FROM Counter")), 0);

  {
    UnitOfWork outer(account_);
    UnitOfWork inner(account_);
    inner.Db().Execute("UPDATE Counter SET N=4");
    inner.Commit();
    outer.Commit();
  }
  EXPECT_EQ(CLng(Scalar("SELECT N FROM Counter")), 4);

  // After the unit is over, a new one can start on the same thread.
  UnitOfWork again(account_);
  again.Db().Execute("UPDATE Counter SET N=5");
  again.Commit();
  EXPECT_EQ(CLng(Scalar("SELECT N FROM Counter")), 5);
}

// --- pooled connections ---------------------------------------------------------------

TEST_F(DatabaseTest, AReplacedFileIsNeverServedFromAStaleConnection) {
  Connection::Open(account_).Execute("UPDATE Counter SET N=1");
  EXPECT_EQ(CLng(Scalar("SELECT N FROM Counter")), 1);  // leaves idle connections behind

  fs::remove(file_);
  fs::remove(file_ + "-wal");
  fs::remove(file_ + "-shm");
  EXPECT_EQ(ErrorOf([&] { Connection::Open(account_); }).Number(), errnum::kDbCannotOpen)
      << "a removed file is gone even though connections to it were idle";

  CreateDatabaseFile(file_, "CREATE TABLE Counter (N INTEGER); INSERT INTO Counter VALUES (42);");
  EXPECT_EQ(CLng(Scalar("SELECT N FROM Counter")), 42);

  // Replaced by renaming another file over it.
  Connection::Open(account_).Execute("UPDATE Counter SET N=43");
  const std::string other = dir_ + "/Other.mdb";
  CreateDatabaseFile(other, "CREATE TABLE Counter (N INTEGER); INSERT INTO Counter VALUES (77);");
  fs::rename(other, file_);
  fs::remove(file_ + "-wal");
  fs::remove(file_ + "-shm");
  EXPECT_EQ(CLng(Scalar("SELECT N FROM Counter")), 77);
}

// The file an Account names is known without looking at it on every call,
// yet each way its name can come to mean another file, or none, is seen by
// the very next call.
TEST_F(DatabaseTest, EveryChangeOfWhatTheNameMeansIsSeenByTheNextCall) {
  const auto make = [](const std::string& file, int n) {
    CreateDatabaseFile(file, "CREATE TABLE Counter (N INTEGER); INSERT INTO Counter VALUES (" +
                                 std::to_string(n) + ");");
  };
  // A database file moves with its log and the log's index.
  const auto move = [](const std::string& from, const std::string& to) {
    for (const char* suffix : {"", "-wal", "-shm"}) {
      std::error_code absent;
      fs::rename(from + suffix, to + suffix, absent);
    }
  };
  const std::string dir = dir_, file = file_, old = dir_ + "-old";
  struct Case {
    const char* change;
    std::function<void()> make_it;
    int seen;  // 0: no file
  };
  const Case cases[] = {
      {"removed", [&] { move(file, dir + "/Gone.mdb"), fs::remove(dir + "/Gone.mdb"); }, 0},
      {"renamed away", [&] { move(file, dir + "/Kept.mdb"); }, 0},
      {"renamed away, another put in its place",
       [&] { move(file, dir + "/Kept.mdb"), make(dir + "/New.mdb", 2), move(dir + "/New.mdb", file); },
       2},
      {"another renamed over it", [&] { make(dir + "/New.mdb", 3), move(dir + "/New.mdb", file); }, 3},
      {"its directory renamed away and made again",
       [&] { fs::rename(dir, old), fs::create_directory(dir), make(file, 4); }, 4},
      {"its directory renamed away", [&] { fs::rename(dir, old); }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.change);
    std::error_code absent;
    fs::remove_all(old, absent);
    fs::create_directories(dir);
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(file + suffix, absent);
    make(file, 1);
    EXPECT_EQ(CLng(Scalar("SELECT N FROM Counter")), 1);  // leaves an idle connection behind
    const auto looked = internal::FileLookups();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(CLng(Scalar("SELECT N FROM Counter")), 1);
    EXPECT_EQ(internal::FileLookups(), looked) << "an unchanged file is not looked at again";

    c.make_it();
    if (c.seen == 0) {
      EXPECT_EQ(ErrorOf([&] { Connection::Open(account_); }).Number(), errnum::kDbCannotOpen);
    } else {
      EXPECT_EQ(CLng(Scalar("SELECT N FROM Counter")), c.seen);
    }
  }
  std::error_code absent;
  fs::remove_all(old, absent);
}

// Names the watch cannot follow are looked at on every call.
TEST_F(DatabaseTest, ANameThroughALinkOrRelativeIsLookedAtEveryCall) {
  const std::string link = dir_ + "-link";
  fs::create_directory_symlink(dir_, link);
  const fs::path was = fs::current_path();
  fs::current_path(dir_);
  for (const Variant& account : {Variant(link + "/A100"), Variant("A100")}) {
    SCOPED_TRACE(CStr(account));
    const auto looked = internal::FileLookups();
    for (int i = 0; i < 3; ++i) Connection::Open(account).Execute("UPDATE Counter SET N=N+1");
    EXPECT_EQ(internal::FileLookups(), looked + 3);
  }
  fs::current_path(was);
  fs::remove(link);
  EXPECT_EQ(CLng(Scalar("SELECT N FROM Counter")), 6);
}

// Once folded into the file the log is written again from its start, never
// cut back while in use (each commit would grow the file, whose disk sync
// then writes its size too); its last connection closing cuts it to nothing.
TEST_F(DatabaseTest, TheLogKeepsItsSizeWhileInUseAndIsCutWhenTheFileIsLetGo) {
  ::setenv("BRIVOS_SYNCHRONOUS", "NORMAL", 1);  // no disk sync per commit here
  ReleaseIdleConnections();
  const std::string log = file_ + "-wal";
  std::uintmax_t largest = 0;
  int shrank = 0;
  for (int i = 0; i < 1500; ++i) {
    Connection::Open(account_).Execute(
        "INSERT INTO Item (Notes) VALUES (?)",
        {Parameter::Memo(Variant(std::string(1990, static_cast<char>('a' + i % 26))))});
    const std::uintmax_t size = fs::file_size(log);
    shrank += size < largest;
    largest = std::max(largest, size);
  }
  ::unsetenv("BRIVOS_SYNCHRONOUS");
  EXPECT_EQ(shrank, 0);
  EXPECT_GT(largest, 1000u * 4096) << "the log was folded into the file at least once";
  EXPECT_LE(largest, 8u << 20);
  ReleaseIdleConnections();
  EXPECT_EQ(fs::file_size(log), 0u);
  EXPECT_EQ(CLng(Scalar("SELECT COUNT(*) FROM Item")), 1500);
}

TEST_F(DatabaseTest, PooledConnectionsKeepEveryCallCommitted) {
  // Many short calls, alternating threads: each sees all committed data.
  for (int i = 1; i <= 20; ++i) {
    Connection::Open(account_).Execute("UPDATE Counter SET N=N+1");
    std::int32_t seen = -1;
    std::thread t([&] { seen = CLng(Scalar("SELECT N FROM Counter")); });
    t.join();
    EXPECT_EQ(seen, i);
  }
  // A connection given back inside a transaction is rolled back before reuse.
  {
    Connection db = Connection::Open(account_);
    db.Execute("BEGIN");
    db.Execute("UPDATE Counter SET N=1000");
  }
  EXPECT_EQ(CLng(Scalar("SELECT N FROM Counter")), 20);
  EXPECT_EQ(Connection::Open(account_).Execute("UPDATE Counter SET N=21"), 1)
      << "no transaction was left open";
}

TEST_F(DatabaseTest, ManyStatementTextsOnOneConnection) {
  Connection db = Connection::Open(account_);
  for (int i = 0; i < 300; ++i) {
    EXPECT_EQ(CLng(db.Query("SELECT " + std::to_string(i) + " AS V")->Field("v")), i);
  }
  EXPECT_EQ(CLng(db.Query("SELECT 5 AS V")->Field(0)), 5);
}

TEST_F(DatabaseTest, MovedConnectionHandles) {
  Connection a = Connection::Open(account_);
  Connection b = std::move(a);
  EXPECT_EQ(b.Path(), file_);
  EXPECT_EQ(a.Path(), "");  // NOLINT(bugprone-use-after-move): a moved handle is empty
  EXPECT_EQ(ErrorOf([&] { a.Execute("SELECT 1"); }).Number(), errnum::kDbFailure);
  EXPECT_EQ(b.Execute("UPDATE Counter SET N=2"), 1);
}

}  // namespace
}  // namespace brivos
