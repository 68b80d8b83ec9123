#include "brivos/records/IProjectInvoice.hpp"

#include "brivos/records/IProject.hpp"

namespace brivos {

const RecordSchema& IProjectInvoice::Schema() {
  using K = RelationDef::Kind;
  static const RecordSchema schema("IProjectInvoice",
                                   BRIVOS_RECORD_COLUMNS(BRIVOS_IPROJECTINVOICE_COLUMNS),
                                   {
                                       {"Project", K::Single, &IProject::Schema, kProjectID},
                                   },
                                   &MakeRecord<IProjectInvoice>);
  return schema;
}

std::shared_ptr<IProject> IProjectInvoice::Project(const Variant& Account) {
  return RelatedOneAs<IProject>(*this, 0, Account);
}

}  // namespace brivos
