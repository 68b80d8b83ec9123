#include "brivos/automation/TypeLibrary.hpp"
#include "brivos/records/CITaxCode.hpp"
#include "brivos/records/IExpenseReport.hpp"
#include "brivos/records/IProject.hpp"
#include "brivos/records/IProjectExpense.hpp"
#include "brivos/records/IProjectInvoice.hpp"
#include "brivos/records/IProjectStaff.hpp"
#include "brivos/records/IProjectTask.hpp"
#include "brivos/records/IProjectTransaction.hpp"
#include "brivos/records/ISubScriber.hpp"
#include "brivos/records/ISubscriberLocation.hpp"
#include "brivos/records/IUser.hpp"
#include "brivos/records/RecordSchema.hpp"
#include "brivos/records/SFAProspect.hpp"
#include "brivos/records/SysSessions.hpp"

namespace brivos {

const std::vector<const RecordSchema*>& AllRecordSchemas() {
  static const std::vector<const RecordSchema*> schemas = {
      &ISubScriber::Schema(),     &ISubscriberLocation::Schema(), &IUser::Schema(),
      &SysSessions::Schema(),     &CITaxCode::Schema(),           &SFAProspect::Schema(),
      &IProject::Schema(),        &IProjectStaff::Schema(),       &IProjectTask::Schema(),
      &IExpenseReport::Schema(),  &IProjectInvoice::Schema(),     &IProjectTransaction::Schema(),
      &IProjectExpense::Schema(),
  };
  return schemas;
}

namespace {

std::vector<EnumInfo> WidthEnums() {
  std::vector<EnumInfo> enums;
  for (const RecordSchema* schema : AllRecordSchemas()) {
    enums.push_back({schema->WidthEnumName(), schema->WidthMembers()});
  }
  return enums;
}

}  // namespace

BRIVOS_REGISTER_ENUMS(kWidths, &WidthEnums);

}  // namespace brivos
