#include <cmath>
#include <limits>
#include <map>
#include <set>

#include "brivos/records/RecordSchema.hpp"
#include "tests/projects/ProjectFixture.hpp"

namespace brivos::testing {
namespace {

// Every argument a manager stores in a Double or Currency column refuses a
// NaN, an infinity or a number beyond Currency's range with 6, and nothing
// is written. The arguments are found through the type information: those
// named as such a column of some table.
class HostileNumbersTest : public ProjectTest {
 protected:
  HostileNumbersTest() {
    slip_ = AddSlip(9, 0);
    tax_code_ = CLng(Call("CCIMgr", "AddTaxCode"));
    report_ = CLng(Call("CUserManager", "AddExpenseReport"));
    expense_ = CLng(Call("CProjectMgr", "AddExpense"));
  }

  // A value each argument accepts, by its name.
  Variant Valid(const std::string& name) {
    // Names a call adds must be new; a user is put on a project once.
    const std::string fresh = "u" + std::to_string(++calls_);
    if (name == "ProfileUserName") return fresh;
    if (name == "UserID") return AddUser(fresh, "pw");
    const std::map<std::string, Variant> known = {
        {"Account", account},  {"UserName", user},       {"theUserName", user},
        {"Token", token},      {"ProjectID", project_},  {"TaskID", task_},
        {"StaffID", staff_},   {"TransID", slip_},       {"ExpenseID", expense_},
        {"ReportID", report_}, {"TaxCodeID", tax_code_}, {"Status", 2},
        {"StartHour", 9},      {"EndHour", 17}};
    if (auto it = known.find(name); it != known.end()) return it->second;
    if (name.find("Date") != std::string::npos) return Date::FromParts(2024, 3, 5);
    return 1;
  }
  std::vector<Variant> ValidArgs(const MemberInfo& m) {
    std::vector<Variant> args;
    for (const std::string& name : m.arg_names) args.push_back(Valid(name));
    return args;
  }
  Variant Call(const std::string& cls, const std::string& method) {
    auto object = CreateObject("BRIVOS." + cls);
    for (const MemberInfo& m : FindClass(cls)->Members()) {
      if (m.name == method) {
        std::vector<Variant> args = ValidArgs(m);
        return object->Invoke(method, args);
      }
    }
    return Variant();
  }
  // Every row of every table, as text.
  std::string Dump() {
    std::string all;
    for (const RecordSchema* schema : AllRecordSchemas()) {
      auto rows = Connection::Open(account).Query("SELECT * FROM " + std::string(schema->table));
      for (const auto& row : rows->Rows()) {
        for (const Variant& v : row) all += (v.IsNull() ? "~" : CStr(v)) + "|";
      }
    }
    return all;
  }

  std::int32_t slip_ = 0, tax_code_ = 0, report_ = 0, expense_ = 0, calls_ = 0;
};

TEST_F(HostileNumbersTest, EveryStoredNumberArgumentRefusesThemAndWritesNothing) {
  std::set<std::string> stored;
  for (const RecordSchema* schema : AllRecordSchemas()) {
    for (const ColumnDef& c : schema->columns) {
      if (c.type == ColumnType::Double || c.type == ColumnType::Currency) {
        stored.insert(std::string(c.property));
      }
    }
  }
  const double inf = std::numeric_limits<double>::infinity();
  const Variant hostile[] = {std::nan(""), inf, -inf, 1e308, -1e308};
  int checked = 0;
  for (const ClassInfo* info : RegisteredClasses()) {
    if (!info->Creatable()) continue;
    for (const MemberInfo& m : info->Members()) {
      for (std::size_t i = 0; i < m.arg_names.size(); ++i) {
        if (!stored.count(m.arg_names[i])) continue;
        const std::string what = info->Name() + "." + m.name + " " + m.arg_names[i];
        ASSERT_EQ(RaisedNumber([&] { Call(info->Name(), m.name); }), 0) << what;
        const std::vector<Variant> valid = ValidArgs(m);
        const std::string before = Dump();
        for (const Variant& value : hostile) {
          std::vector<Variant> args = valid;
          args[i] = value;
          EXPECT_EQ(RaisedNumber([&] { CreateObject(info->ProgId())->Invoke(m.name, args); }), 6)
              << what << " = " << CDbl(value);
        }
        EXPECT_EQ(Dump(), before) << what;
        ++checked;
      }
    }
  }
  EXPECT_GE(checked, 40);
}

}  // namespace
}  // namespace brivos::testing
