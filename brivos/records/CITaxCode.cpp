#include "brivos/records/CITaxCode.hpp"

#include "brivos/records/ISubScriber.hpp"

namespace brivos {

const RecordSchema& CITaxCode::Schema() {
  using K = RelationDef::Kind;
  static const RecordSchema schema(
      "CITaxCode", BRIVOS_RECORD_COLUMNS(BRIVOS_CITAXCODE_COLUMNS),
      {
          {"Subscriber", K::Single, &ISubScriber::Schema, kSubscriberID},
      },
      &MakeRecord<CITaxCode>);
  return schema;
}

std::shared_ptr<ISubScriber> CITaxCode::Subscriber(const Variant& Account) {
  return RelatedOneAs<ISubScriber>(*this, 0, Account);
}

}  // namespace brivos
