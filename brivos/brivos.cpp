// The library's type information: every class it publishes and every
// enumeration. A new class or table is added here.

#include "brivos/brivos.hpp"

namespace brivos {
namespace {

#define BRIVOS_ERR_PAIR_(member, offset) {#member, ErrorNumber(offset)},
#define BRIVOS_VALUE_PAIR_(member, value, description) {#member, value},
#define BRIVOS_VALUE_SET_ENUM_(Enum, LIST) {#Enum, {LIST(BRIVOS_VALUE_PAIR_)}},
#define BRIVOS_VALUE_SET_INFO_(Enum, LIST) &Enum##Enm::Info(),

std::vector<EnumInfo> ErrorEnums() {
  return {
      {"errCProjectMgr", {BRIVOS_ERR_CPROJECTMGR(BRIVOS_ERR_PAIR_)}},
      {"errCSecurityMgr", {BRIVOS_ERR_CSECURITYMGR(BRIVOS_ERR_PAIR_)}},
      {"errCUserManager", {BRIVOS_ERR_CUSERMANAGER(BRIVOS_ERR_PAIR_)}},
      {"errCCIMgr", {BRIVOS_ERR_CCIMGR(BRIVOS_ERR_PAIR_)}},
      {"errCInvoiceMgr", {BRIVOS_ERR_CINVOICEMGR(BRIVOS_ERR_PAIR_)}},
  };
}

}  // namespace

const std::vector<const ClassInfo*>& RegisteredClasses() {
  static const std::vector<const ClassInfo*> classes = [] {
    std::vector<const ClassInfo*> list = {
        &CSecurityMgr::Info(),
        &CAccountMgr::Info(),
        &CUserManager::Info(),
        &CReportMgr::Info(),
    };
    for (const ClassInfo* value_set : {BRIVOS_VALUE_SETS(BRIVOS_VALUE_SET_INFO_)}) {
      list.push_back(value_set);
    }
    for (const RecordSchema* schema : AllRecordSchemas()) list.push_back(&schema->info);
    list.push_back(&Collection::Info());
    list.push_back(&Recordset::Info());
    return list;
  }();
  return classes;
}

const std::vector<EnumInfo>& PublishedEnums() {
  static const std::vector<EnumInfo> enums = [] {
    std::vector<EnumInfo> list = ErrorEnums();
    for (const RecordSchema* schema : AllRecordSchemas()) {
      list.push_back({schema->WidthEnumName(), schema->WidthMembers()});
    }
    for (EnumInfo& value_set : std::vector<EnumInfo>{BRIVOS_VALUE_SETS(BRIVOS_VALUE_SET_ENUM_)}) {
      list.push_back(std::move(value_set));
    }
    return list;
  }();
  return enums;
}

}  // namespace brivos
