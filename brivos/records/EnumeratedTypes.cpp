#include "brivos/records/EnumeratedTypes.hpp"

#include <span>
#include <string>

#include "brivos/automation/TypeLibrary.hpp"

namespace brivos {
namespace {

struct ValueRow {
  std::int32_t value;
  const char* description;
};

template <class Set>
struct ValueSetTable;

#define BRIVOS_VALUE_ROW_(name, value, description) ValueRow{value, description},
#define BRIVOS_VALUE_SET_TABLE_(Enum, LIST)                        \
  template <>                                                      \
  struct ValueSetTable<Enum> {                                     \
    static constexpr const char* kClassName = #Enum "Enm";         \
    static constexpr ValueRow kRows[] = {LIST(BRIVOS_VALUE_ROW_)}; \
  };
BRIVOS_VALUE_SETS(BRIVOS_VALUE_SET_TABLE_)

std::shared_ptr<Recordset> BuildValueSet(std::span<const ValueRow> rows) {
  auto set = std::make_shared<Recordset>();
  set->AppendField("Code");
  set->AppendField("Description");
  for (const ValueRow& row : rows) {
    set->AddRow({Variant(std::to_string(row.value)), Variant(row.description)});
  }
  return set;
}

}  // namespace

template <class Set>
const ClassInfo& EnumeratedType<Set>::Info() {
  static const ClassInfo info(
      ValueSetTable<Set>::kClassName, true, [] { return std::make_shared<EnumeratedType<Set>>(); },
      {
          BindMethod("GetAllValues", {}, &EnumeratedType::GetAllValues),
          BindMethod("IsValidValue", {"vntValue"}, &EnumeratedType::IsValidValue),
      });
  return info;
}

template <class Set>
std::shared_ptr<Recordset> EnumeratedType<Set>::GetAllValues() {
  return this->Guard([&] {
    if (!values_) values_ = BuildValueSet(ValueSetTable<Set>::kRows);
    return values_;
  });
}

template <class Set>
bool EnumeratedType<Set>::IsValidValue(Variant& vntValue) {
  return this->Guard([&] {
    Recordset& set = *GetAllValues();
    bool found = false;
    set.MoveFirst();
    while (!set.Eof() && !found) {
      if (CStr(set.Field("Code")) == CStr(vntValue)) found = true;
      set.MoveNext();
    }
    return found;
  });
}

#define BRIVOS_VALUE_SET_INSTANCE_(Enum, LIST) template class EnumeratedType<Enum>;
BRIVOS_VALUE_SETS(BRIVOS_VALUE_SET_INSTANCE_)

namespace {

#define BRIVOS_VALUE_PAIR_(member, value, description) {#member, value},
#define BRIVOS_VALUE_SET_ENUM_(Enum, LIST) EnumInfo{#Enum, {LIST(BRIVOS_VALUE_PAIR_)}},
std::vector<EnumInfo> ValueSetEnums() { return {BRIVOS_VALUE_SETS(BRIVOS_VALUE_SET_ENUM_)}; }

}  // namespace

BRIVOS_REGISTER_ENUMS(kValueSets, &ValueSetEnums);
#define BRIVOS_VALUE_SET_REGISTER_(Enum, LIST) BRIVOS_REGISTER_CLASS(kValueSet, Enum##Enm);
BRIVOS_VALUE_SETS(BRIVOS_VALUE_SET_REGISTER_)

}  // namespace brivos
