#include "brivos/records/IProject.hpp"

#include "brivos/records/IProjectExpense.hpp"
#include "brivos/records/IProjectInvoice.hpp"
#include "brivos/records/IProjectStaff.hpp"
#include "brivos/records/IProjectTask.hpp"
#include "brivos/records/IProjectTransaction.hpp"
#include "brivos/records/ISubScriber.hpp"
#include "brivos/records/IUser.hpp"
#include "brivos/records/SFAProspect.hpp"

namespace brivos {

const RecordSchema& IProject::Schema() {
  using K = RelationDef::Kind;
  static const RecordSchema schema(
      "IProject", BRIVOS_RECORD_COLUMNS(BRIVOS_IPROJECT_COLUMNS),
      {
          {"Subscriber", K::Single, &ISubScriber::Schema, kSubscriberID},
          {"Creator", K::Single, &IUser::Schema, kCreatorID},
          {"Manager", K::Single, &IUser::Schema, kManagerID},
          {"Client", K::Single, &SFAProspect::Schema, kClientID},
          {"Staff", K::Many, &IProjectStaff::Schema},
          {"Transactions", K::Many, &IProjectTransaction::Schema, 0,
           "TransDate ASC, StartTime ASC, StaffID ASC"},
          // No space after the comma: callers have always received this text.
          {"Tasks", K::Many, &IProjectTask::Schema, 0, "PlannedStart ASC,PlannedDuration ASC"},
          {"Invoices", K::Many, &IProjectInvoice::Schema},
          {"Expenses", K::Many, &IProjectExpense::Schema},
      },
      &MakeRecord<IProject>);
  return schema;
}

std::shared_ptr<ISubScriber> IProject::Subscriber(const Variant& Account) {
  return RelatedOneAs<ISubScriber>(*this, 0, Account);
}

std::shared_ptr<IUser> IProject::Creator(const Variant& Account) {
  return RelatedOneAs<IUser>(*this, 1, Account);
}

std::shared_ptr<IUser> IProject::Manager(const Variant& Account) {
  return RelatedOneAs<IUser>(*this, 2, Account);
}

std::shared_ptr<SFAProspect> IProject::Client(const Variant& Account) {
  return RelatedOneAs<SFAProspect>(*this, 3, Account);
}

}  // namespace brivos
