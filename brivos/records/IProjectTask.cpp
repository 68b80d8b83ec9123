#include "brivos/records/IProjectTask.hpp"

#include "brivos/records/IProject.hpp"

namespace brivos {

const RecordSchema& IProjectTask::Schema() {
  using K = RelationDef::Kind;
  static const RecordSchema schema("IProjectTask",
                                   BRIVOS_RECORD_COLUMNS(BRIVOS_IPROJECTTASK_COLUMNS),
                                   {
                                       {"Project", K::Single, &IProject::Schema, kProjectID},
                                   },
                                   &MakeRecord<IProjectTask>);
  return schema;
}

std::shared_ptr<IProject> IProjectTask::Project(const Variant& Account) {
  return RelatedOneAs<IProject>(*this, 0, Account);
}

}  // namespace brivos
