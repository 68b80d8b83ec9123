#include "brivos/records/IProjectStaff.hpp"

#include "brivos/records/IProject.hpp"
#include "brivos/records/IUser.hpp"

namespace brivos {

const RecordSchema& IProjectStaff::Schema() {
  using K = RelationDef::Kind;
  static const RecordSchema schema("IProjectStaff",
                                   BRIVOS_RECORD_COLUMNS(BRIVOS_IPROJECTSTAFF_COLUMNS),
                                   {
                                       {"Project", K::Single, &IProject::Schema, kProjectID},
                                       {"User", K::Single, &IUser::Schema, kUserID},
                                   },
                                   &MakeRecord<IProjectStaff>);
  return schema;
}

std::shared_ptr<IProject> IProjectStaff::Project(const Variant& Account) {
  return RelatedOneAs<IProject>(*this, 0, Account);
}

std::shared_ptr<IUser> IProjectStaff::User(const Variant& Account) {
  return RelatedOneAs<IUser>(*this, 1, Account);
}

}  // namespace brivos
