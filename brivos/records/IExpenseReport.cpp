#include "brivos/records/IExpenseReport.hpp"

#include "brivos/records/IUser.hpp"

namespace brivos {

const RecordSchema& IExpenseReport::Schema() {
  using K = RelationDef::Kind;
  static const RecordSchema schema("IExpenseReport",
                                   BRIVOS_RECORD_COLUMNS(BRIVOS_IEXPENSEREPORT_COLUMNS),
                                   {
                                       {"User", K::Single, &IUser::Schema, kUserID},
                                   },
                                   &MakeRecord<IExpenseReport>);
  return schema;
}

std::shared_ptr<IUser> IExpenseReport::User(const Variant& Account) {
  return RelatedOneAs<IUser>(*this, 0, Account);
}

}  // namespace brivos
