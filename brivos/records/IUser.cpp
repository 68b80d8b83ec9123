#include "brivos/records/IUser.hpp"

#include "brivos/records/IExpenseReport.hpp"
#include "brivos/records/ISubScriber.hpp"

namespace brivos {

const RecordSchema& IUser::Schema() {
  using K = RelationDef::Kind;
  static const RecordSchema schema(
      "IUser", BRIVOS_RECORD_COLUMNS(BRIVOS_IUSER_COLUMNS),
      {
          {"Subscriber", K::Single, &ISubScriber::Schema, kSubscriberID},
          {"ReportsTo", K::Single, &IUser::Schema, kReportsToID},
          {"ExpenseReports", K::Many, &IExpenseReport::Schema},
      },
      &MakeRecord<IUser>);
  return schema;
}

std::shared_ptr<ISubScriber> IUser::Subscriber(const Variant& Account) {
  return RelatedOneAs<ISubScriber>(*this, 0, Account);
}

}  // namespace brivos
