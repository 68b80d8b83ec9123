#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "brivos/brivos.hpp"
#include "brivos/database/Database.hpp"

namespace brivos::testing {

// What one property of a loaded record must read back: the value its typed
// getter returned, and the type and text the database row implies.
struct PropertyCase {
  std::string property;
  Variant typed;
  VarType type;
  std::string text;  // CStr of the value; ignored for Null
};

// Checks every case through the typed value and through late binding, and
// that the cases name every column of the record's table.
inline void ExpectProperties(Record& record, const std::vector<PropertyCase>& cases) {
  EXPECT_EQ(cases.size(), record.Schema().columns.size()) << record.ClassName();
  for (const PropertyCase& c : cases) {
    std::vector<Variant> none;
    const Variant late = record.Invoke(c.property, none);
    for (const Variant* v : {&c.typed, &late}) {
      EXPECT_EQ(v->Type(), c.type) << record.ClassName() << "." << c.property;
      if (c.type != VarType::Null) {
        EXPECT_EQ(CStr(*v), c.text) << record.ClassName() << "." << c.property;
      }
    }
  }
}

// The late-bound member names of a class, in interface order.
inline std::vector<std::string> MemberNames(const ClassInfo& info) {
  std::vector<std::string> names;
  for (const MemberInfo& m : info.Members()) names.push_back(m.name);
  return names;
}

// The keys of the records in `list`, in order.
inline std::vector<std::int32_t> Keys(const Collection& list) {
  std::vector<std::int32_t> keys;
  for (const Variant& item : list.Items()) {
    keys.push_back(CLng(std::static_pointer_cast<Record>(item.AsObject())->Field(0)));
  }
  return keys;
}

// Runs one statement with parameters and returns the key of the row it added.
inline std::int32_t InsertRow(const Variant& account, const std::string& sql,
                              std::initializer_list<Parameter> params = {}) {
  // "INSERT INTO <table> (...": every table's key column is its name and "ID".
  const std::string table = sql.substr(12, sql.find_first_of(" (", 12) - 12);
  Connection db = Connection::Open(account);
  return db.Insert(sql, {params.begin(), params.size()}, table + "ID");
}

// The published enumeration named `name`; fails the test when there is none.
inline EnumInfo PublishedEnum(const std::string& name) {
  for (const EnumInfo& e : PublishedEnums()) {
    if (e.name == name) return e;
  }
  ADD_FAILURE() << "no enumeration " << name;
  return {};
}

}  // namespace brivos::testing
