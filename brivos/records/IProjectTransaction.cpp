#include "brivos/records/IProjectTransaction.hpp"

#include "brivos/records/IProject.hpp"
#include "brivos/records/IProjectInvoice.hpp"
#include "brivos/records/IProjectStaff.hpp"
#include "brivos/records/IProjectTask.hpp"

namespace brivos {

const RecordSchema& IProjectTransaction::Schema() {
  using K = RelationDef::Kind;
  static const RecordSchema schema("IProjectTransaction",
                                   BRIVOS_RECORD_COLUMNS(BRIVOS_IPROJECTTRANSACTION_COLUMNS),
                                   {
                                       {"Project", K::Single, &IProject::Schema, kProjectID},
                                       {"Task", K::Single, &IProjectTask::Schema, kTaskID},
                                       {"Staff", K::Single, &IProjectStaff::Schema, kStaffID},
                                       {"Invoice", K::Single, &IProjectInvoice::Schema, kInvoiceID},
                                   },
                                   &MakeRecord<IProjectTransaction>);
  return schema;
}

std::shared_ptr<IProject> IProjectTransaction::Project(const Variant& Account) {
  return RelatedOneAs<IProject>(*this, 0, Account);
}

std::shared_ptr<IProjectTask> IProjectTransaction::Task(const Variant& Account) {
  return RelatedOneAs<IProjectTask>(*this, 1, Account);
}

std::shared_ptr<IProjectStaff> IProjectTransaction::Staff(const Variant& Account) {
  return RelatedOneAs<IProjectStaff>(*this, 2, Account);
}

std::shared_ptr<IProjectInvoice> IProjectTransaction::Invoice(const Variant& Account) {
  return RelatedOneAs<IProjectInvoice>(*this, 3, Account);
}

}  // namespace brivos
