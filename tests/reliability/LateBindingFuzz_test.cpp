// Calls every late-bound member of every class the registry lists as
// creatable, and of every object those calls return, with random argument
// lists. Nothing may crash, raise anything but a brivos::Error, raise an
// Error without exactly one tag, or leave the database failing its integrity
// check. Members come from the registry, so classes added later join by
// themselves.

#include <cfloat>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <typeinfo>

#include "tests/reliability/Reliability.hpp"

namespace brivos {
namespace {

using namespace reliability;

constexpr std::uint64_t kSeed = 0xB21705;

std::vector<Variant> EdgeLongs() {
  return {0,
          1,
          2,
          3,
          -1,
          100,
          std::numeric_limits<std::int32_t>::max(),
          std::numeric_limits<std::int32_t>::min()};
}

std::vector<Variant> EdgeDoubles() {
  const double inf = std::numeric_limits<double>::infinity();
  return {
      0.0,      -0.0,   0.5,     1.5,    2.5, -2.5, 2147483647.5, -2147483648.5,        1e15,
      1e308,    -1e308, DBL_MIN, 5e-324, inf, -inf, std::nan(""), 922337203685477.5807, 2958466.0,
      -657435.0};
}

std::vector<Variant> EdgeCurrencies() {
  return {Currency::FromScaled(0),
          Currency::FromScaled(1),
          Currency::FromScaled(-1),
          Currency::FromScaled(std::numeric_limits<std::int64_t>::max()),
          Currency::FromScaled(std::numeric_limits<std::int64_t>::min()),
          Currency::FromScaled(2250000000000000),
          Currency::FromScaled(-2250000000000001)};
}

std::vector<Variant> EdgeDates() {
  return {Date(),
          Date::FromSerial(-657434.0),
          Date::FromSerial(2958465.99998),
          Date::FromSerial(-0.5),
          Date::FromSerial(0.5),
          Date::FromParts(2024, 2, 29, 23, 59, 59),
          Date::FromParts(1900, 2, 28)};
}

std::vector<std::string> EdgeTexts() {
  using namespace std::string_literals;
  return {"",
          "admin",
          "secret",
          "A100",
          "1",
          "0",
          "-1",
          " 42 ",
          "1e400",
          "2147483648",
          "-2147483649",
          "&H7FFFFFFF",
          "1,5",
          "2024-03-05",
          "2024-02-30",
          "9999-12-31 23:59:59",
          "0099-12-31",
          "True",
          "Null",
          "'",
          "''",
          "\"",
          "O'Brien",
          "1 OR 1=1",
          "' OR '1'='1",
          "1; DROP TABLE IUser",
          "'); DELETE FROM IUser; --",
          "a\0b"s,
          "\0"s,
          "%1 %2 %%",
          "\xff\xfe\xfd",
          "\xc3\xa9t\xc3\xa9",
          "LEFT(UserName, 2)",
          "RIGHT(",
          "/*",
          std::string(kErrorMarker),
          "x >VelmarERR@13 y",
          "\r\n >VelmarERR@-2147217900\r\nmore",
          std::string(300, 'w'),
          std::string(5000, '\''),
          std::string(100000, 'x')};
}

// Statements for the report query: the tables of the round's database read,
// changed and dropped, and statements that change a connection.
std::vector<std::string> Statements(const std::string& file, std::mt19937_64& rng) {
  std::vector<std::string> tables;
  for (int i = 0;; ++i) {
    std::string t = RawScalar(file,
                              "SELECT name FROM sqlite_master WHERE type='table' AND name "
                              "NOT LIKE 'sqlite%' ORDER BY name LIMIT 1 OFFSET " +
                                  std::to_string(i));
    if (t.empty()) break;
    tables.push_back(t);
  }
  std::vector<std::string> sql = {
      "BEGIN",
      "COMMIT",
      "SAVEPOINT s",
      "PRAGMA query_only=1",
      "PRAGMA journal_mode=DELETE",
      "ATTACH DATABASE ':memory:' AS extra",
      "VACUUM",
      "SELECT * FROM sqlite_master",
      "SELECT LEFT(name,3), RIGHT(name,2), MID(name,2,2), UCASE(name), LEN(name), NOW() FROM "
      "sqlite_master",
      "SELECT 1; SELECT 2",
      "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM c LIMIT 1000) SELECT x FROM c",
  };
  if (tables.empty()) return sql;
  for (const std::string& t : tables) {
    sql.push_back("SELECT * FROM " + t);
    sql.push_back("DELETE FROM " + t + " WHERE rowid=(SELECT max(rowid) FROM " + t + ")");
    sql.push_back("UPDATE " + t + " SET rowid=rowid");
  }
  const std::string& a = tables[rng() % tables.size()];
  const std::string& b = tables[rng() % tables.size()];
  sql.push_back("DROP TABLE " + a);
  sql.push_back("CREATE TEMP TABLE " + b + " AS SELECT * FROM main." + b);
  sql.push_back("CREATE TEMP TRIGGER t AFTER INSERT ON " + a + " BEGIN DELETE FROM " + b + "; END");
  return sql;
}

// What a whole run saw.
struct Figures {
  long calls = 0;
  long rounds = 0;
  long faults = 0;
  std::map<std::string, long> calls_per_class;
  std::map<std::int32_t, long> errors;
  std::set<std::string> seen_faults;
};

// One round: a fresh subscriber database and calls on the objects that
// reach it.
class Fuzzer {
 public:
  Fuzzer(std::uint64_t seed, const std::string& dir, Figures& figures)
      : rng_(seed), account_(NewSubscriber(dir)), figures_(figures) {
    for (const ClassInfo* info : RegisteredClasses()) {
      if (info->Creatable()) created_.push_back(info->Create());
    }
    for (std::string& t : EdgeTexts()) texts_.push_back(std::move(t));
    for (std::string& t : Statements(FileOf(account_), rng_)) texts_.push_back(std::move(t));
    hostile_accounts_ = {"",
                         dir,
                         dir + "\\missing",
                         dir + "\\A100;Dbq=" + dir + "\\B",
                         dir + "\\A100.mdb" + std::string(1, '\0') + "x",
                         "file:" + dir + "/A100",
                         dir + "\\x" + std::string(kErrorMarker) + "5",
                         dir + "\\" + std::string(300, 'a'),
                         std::string(5000, '\\'),
                         "\\\\server\\share\\A100",
                         "A100"};
    // A session and an expense report, so that lookups can find rows.
    const std::string token =
        CStr(CallByName("CSecurityMgr", "BeginUserSession",
                        {{"Account", account_}, {"UserName", "admin"}, {"Password", "secret"}}));
    texts_.push_back(token);
    CallByName("CUserManager", "AddExpenseReport",
               {{"Account", account_}, {"UserName", "admin"}, {"Name", "Trip"}});
  }

  // Every member of every creatable object once, with as many arguments as
  // it takes.
  void Sweep() {
    for (const auto& object : created_) {
      for (const MemberInfo& m : FindClass(object->ClassName())->Members()) {
        Call(object, m.name, Args(&m, m.arg_names.size()), 0);
      }
    }
  }

  // Up to `count` random calls, as far as the budget lasts.
  void Random(Budget& budget, long count) {
    for (long i = 0; i < count && budget.Next(); ++i) {
      std::shared_ptr<Object> object = PickObject();
      const ClassInfo* info = FindClass(object->ClassName());
      if (info == nullptr) {
        Fault("the registry does not list class " + object->ClassName(), "");
        continue;
      }
      const MemberInfo* m = info->Members().empty() || Chance(0.03)
                                ? nullptr
                                : &info->Members()[rng_() % info->Members().size()];
      const std::string name = m != nullptr ? m->name : HostileMemberName(*info);
      const std::size_t right = m != nullptr ? m->arg_names.size() : 0;
      const std::size_t count_given = Chance(0.85) ? right : rng_() % (right + 3);
      std::int32_t expected = 0;
      if (m == nullptr) {
        expected = errnum::kUnknownMember;
      } else if (count_given != right) {
        expected = errnum::kWrongArgumentCount;
      }
      Call(object, name, Args(m, count_given), expected);
    }
  }

  const std::string& Account() const { return account_; }

  // Every invoice the round left can be totalled: nothing the calls stored
  // makes an invoice unreadable. (A round whose report statement dropped a
  // table lists none.)
  void CheckInvoicesTotal() {
    std::shared_ptr<Recordset> invoices;
    try {
      invoices = Connection::Open(Variant(account_))
                     .Query("SELECT IProjectInvoiceID FROM IProjectInvoice");
    } catch (const Error&) {
      return;
    }
    for (const auto& row : invoices->Rows()) {
      std::vector<Variant> args{Variant(account_), Variant("admin"), Variant("T"), row[0]};
      const std::string shown = ShowCall("CInvoiceMgr", "GetInvoiceTotal", args);
      try {
        CreateObject("BRIVOS.CInvoiceMgr")->Invoke("GetInvoiceTotal", args);
      } catch (const Error& e) {
        if (e.Number() != errnum::kDbStatementRejected)
          Fault("an invoice cannot be totalled", shown + ": " + e.Description());
      }
    }
  }

 private:
  bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng_) < p; }
  template <class T>
  const T& Pick(const std::vector<T>& from) {
    return from[rng_() % from.size()];
  }

  std::string HostileMemberName(const ClassInfo& info) {
    std::string name = info.Members().empty() ? "Item" : Pick(info.Members()).name;
    switch (rng_() % 4) {
      case 0:
        return AsciiLowered(name) + " ";
      case 1:
        return name + std::string(1, '\0');
      case 2:
        return "";
      default:
        return "NoSuchMember";
    }
  }

  Variant AccountArg() {
    if (Chance(0.85)) return Variant(account_);
    if (Chance(0.7)) return Variant(Pick(hostile_accounts_));
    return Value(0);
  }

  Variant Value(int depth) {
    if (!seen_.empty() && Chance(0.25)) return Pick(seen_);
    switch (static_cast<VarType>(rng_() % 10)) {
      case VarType::Empty:
        return Variant();
      case VarType::Null:
        return Variant::Null();
      case VarType::Boolean:
        return Variant(Chance(0.5));
      case VarType::Long:
        return Chance(0.8) ? Pick(longs_) : Variant(static_cast<std::int32_t>(rng_()));
      case VarType::Double:
        return Pick(doubles_);
      case VarType::Currency:
        return Pick(currencies_);
      case VarType::Date:
        return Pick(dates_);
      case VarType::String:
        return Variant(Pick(texts_));
      case VarType::Object:
        if (Chance(0.3)) return Variant(std::shared_ptr<Object>());
        return Variant(PickObject());
      case VarType::Array: {
        std::vector<Variant> items;
        const std::size_t n = depth >= 2 ? 0 : rng_() % 4;
        for (std::size_t i = 0; i < n; ++i) items.push_back(Value(depth + 1));
        return Variant(std::move(items));
      }
    }
    return Variant();
  }

  // Arguments read their names from the registry: an Account is mostly the
  // round's database, a user mostly the main user, a key mostly one a call
  // returned; so calls reach rows. One call in five gives every other
  // argument 1, which every coercion accepts, so calls get past their checks
  // to their writes.
  std::vector<Variant> Args(const MemberInfo* m, std::size_t count) {
    const bool tame = Chance(0.2);
    std::vector<Variant> args;
    for (std::size_t i = 0; i < count; ++i) {
      const std::string name = m != nullptr && i < m->arg_names.size() ? m->arg_names[i] : "";
      if (EqualsIgnoreCase(name, "Account")) {
        args.push_back(AccountArg());
      } else if (name == "UserName" && Chance(0.6)) {
        args.push_back(Variant("admin"));
      } else if (name == "Password" && Chance(0.5)) {
        args.push_back(Variant("secret"));
      } else if (name.ends_with("ID") && Chance(0.6)) {
        args.push_back(keys_.empty() || Chance(0.3)
                           ? Variant(static_cast<std::int32_t>(rng_() % 3 + 1))
                           : Pick(keys_));
      } else {
        args.push_back(tame ? Variant(1) : Value(0));
      }
    }
    return args;
  }

  // Makes one call; `expected` is the error it must raise, or 0 for any.
  void Call(const std::shared_ptr<Object>& object, const std::string& member,
            std::vector<Variant> args, std::int32_t expected) {
    const std::string shown = ShowCall(object->ClassName(), member, args);
    NoteForCrash(shown);
    ++figures_.calls;
    ++figures_.calls_per_class[object->ClassName()];
    try {
      Keep(object->Invoke(member, args), 0);
      if (expected != 0) Fault("error " + std::to_string(expected) + " not raised", shown);
    } catch (const Error& e) {
      ++figures_.errors[e.Number()];
      const std::string raised =
          shown + "\n  raised " + std::to_string(e.Number()) + ": " + Show(e.Description(), 300);
      const std::string fault = TagFault(e);
      if (!fault.empty()) Fault(fault + " (error " + std::to_string(e.Number()) + ")", raised);
      // One caller alone never waits for a lock: the library locked itself out.
      if (IsBusyError(e)) Fault("a lock error", raised);
      if (expected != 0 && e.Number() != expected) {
        Fault("error " + std::to_string(expected) + " expected", raised);
      }
    } catch (const std::exception& e) {
      Fault(object->ClassName() + "." + member +
                " raised a C++ exception that is not a brivos::Error (" + typeid(e).name() + ")",
            shown + ": " + e.what());
    } catch (...) {
      Fault(object->ClassName() + "." + member + " raised something that is not an exception",
            shown);
    }
  }

  // A created object, or one a call returned: first its class, then the object.
  std::shared_ptr<Object> PickObject() {
    if (returned_.empty() || Chance(0.4)) return Pick(created_);
    auto it = returned_.begin();
    std::advance(it, static_cast<long>(rng_() % returned_.size()));
    return Pick(it->second);
  }

  // What calls return is given to later calls: objects join the pool they
  // pick from (up to eight of each class), other values the values they
  // pass (keys, tokens, names), so that calls find rows.
  void Keep(const Variant& result, int depth) {
    if (result.Type() == VarType::Array && depth < 2) {
      for (const Variant& item : result.AsArray()) Keep(item, depth + 1);
    }
    std::shared_ptr<Object> object = result.AsObject();
    if (!object) {
      if (result.IsEmpty() || result.Type() == VarType::Array) return;
      if (result.Type() == VarType::Long && result.AsLong() > 0 && result.AsLong() < 100000) {
        if (keys_.size() < 64) {
          keys_.push_back(result);
        } else {
          keys_[rng_() % keys_.size()] = result;
        }
      }
      if (seen_.size() < 64) {
        seen_.push_back(result);
      } else {
        seen_[rng_() % seen_.size()] = result;
      }
      return;
    }
    auto& same = returned_[object->ClassName()];
    if (same.size() < 8) {
      same.push_back(std::move(object));
    } else {
      same[rng_() % same.size()] = std::move(object);
    }
  }

  // Reports each kind of fault once, with the first call that showed it.
  void Fault(const std::string& fault, const std::string& call) {
    ++figures_.faults;
    if (figures_.seen_faults.insert(fault).second) ADD_FAILURE() << fault << "\n  call: " << call;
  }

  std::mt19937_64 rng_;
  std::string account_;
  Figures& figures_;
  std::vector<std::shared_ptr<Object>> created_;
  std::map<std::string, std::vector<std::shared_ptr<Object>>> returned_;
  std::vector<std::string> texts_;
  std::vector<Variant> seen_;
  std::vector<Variant> keys_;
  std::vector<std::string> hostile_accounts_;
  const std::vector<Variant> longs_ = EdgeLongs();
  const std::vector<Variant> doubles_ = EdgeDoubles();
  const std::vector<Variant> currencies_ = EdgeCurrencies();
  const std::vector<Variant> dates_ = EdgeDates();
};

TEST(LateBindingFuzz, EveryMemberTakesAnyArgumentsAndRaisesOnlyTaggedErrors) {
  const std::uint64_t seed = Seed(kSeed);
  SCOPED_TRACE("seed " + std::to_string(seed) + " (set BRIVOS_RELIABILITY_SEED to replay)");
  Watchdog watchdog("the late-binding fuzz", 150 * Scale());
  Figures figures;
  Budget budget(80000, 40);
  while (!budget.Done()) {
    testing::TempDir dir;
    std::string file;
    {
      InDirectory here(dir.Path());  // relative Account paths stay inside it
      Fuzzer fuzzer(seed + static_cast<std::uint64_t>(figures.rounds), dir.Path(), figures);
      file = FileOf(fuzzer.Account());
      fuzzer.Sweep();
      fuzzer.Sweep();
      fuzzer.Random(budget, 1500);
      fuzzer.CheckInvoicesTotal();
    }
    ++figures.rounds;
    ReleaseIdleConnections();
    EXPECT_EQ(IntegrityCheck(file), "ok") << "after round " << figures.rounds;
  }
  std::string per_class;
  for (const auto& [name, n] : figures.calls_per_class) {
    per_class += " " + name + "=" + std::to_string(n);
  }
  std::string unreached;
  for (const ClassInfo* info : RegisteredClasses()) {
    if (!figures.calls_per_class.count(info->Name())) unreached += " " + info->Name();
  }
  std::string errors;
  for (const auto& [number, n] : figures.errors) {
    errors += " " + std::to_string(number) + "x" + std::to_string(n);
  }
  Report("seed=" + std::to_string(seed) + " calls=" + std::to_string(figures.calls) +
         " rounds=" + std::to_string(figures.rounds) + " faults=" + std::to_string(figures.faults) +
         " seconds=" + std::to_string(budget.Seconds()) +
         " stopped_by_time=" + (budget.TimedOut() ? "yes" : "no") + " classes:" + per_class +
         " unreached:" + unreached + " errors:" + errors);
}

// A report statement may change the database, but never the connection that
// later calls are served from: they still write to the file's own tables,
// and what the statement attached or created for the connection alone is
// gone (its probe fails).
TEST(LateBindingFuzz, ReportStatementsLeaveNoTraceOnLaterCalls) {
  struct Case {
    const char* statement;
    const char* probe;  // a query that must fail afterwards, or nullptr
  };
  const Case kCases[] = {
      {"ATTACH DATABASE ':memory:' AS extra", "SELECT * FROM extra.sqlite_master"},
      {"PRAGMA query_only=1", nullptr},
      {"CREATE TEMP TRIGGER bump AFTER UPDATE ON ISubScriber BEGIN UPDATE ISubScriber SET "
       "NextInvoiceNumber=NextInvoiceNumber+100; END",
       nullptr},
      {"CREATE TEMP TABLE ISubScriber AS SELECT * FROM main.ISubScriber",
       "SELECT * FROM temp.ISubScriber"},
      {"CREATE TEMP VIEW v AS SELECT 1", "SELECT * FROM v"},
      {"BEGIN", nullptr},
      {"SAVEPOINT s", nullptr},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.statement);
    testing::TempDir dir;
    const std::string account = NewSubscriber(dir.Path());
    auto report = [&](const char* sql) {
      return CallByName("CReportMgr", "ExecReportQuery", {{"Account", account}, {"sSQL", sql}});
    };
    auto draw = [&] {
      return CLng(CallByName("CAccountMgr", "GetNextInvoiceNumber", {{"Account", account}}));
    };
    if (auto e = testing::ErrorOf([&] { report(c.statement); })) {
      EXPECT_EQ(TagFault(*e), "");  // refusing the statement is allowed
    }
    std::int32_t first = 0, second = 0;
    if (auto e = testing::ErrorOf([&] { first = draw(), second = draw(); })) {
      ADD_FAILURE() << "a later draw failed: " << e->Description();
      continue;
    }
    EXPECT_EQ(second, first + 1);
    EXPECT_EQ(RawScalar(FileOf(account), "SELECT NextInvoiceNumber FROM ISubScriber"),
              std::to_string(second + 1));
    if (c.probe != nullptr) {
      EXPECT_TRUE(testing::ErrorOf([&] { report(c.probe); })) << c.probe << " still works";
    }
  }
}

}  // namespace
}  // namespace brivos
