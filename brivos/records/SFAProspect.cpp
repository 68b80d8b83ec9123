#include "brivos/records/SFAProspect.hpp"

#include "brivos/records/CITaxCode.hpp"
#include "brivos/records/ISubScriber.hpp"

namespace brivos {

const RecordSchema& SFAProspect::Schema() {
  using K = RelationDef::Kind;
  static const RecordSchema schema(
      "SFAProspect", BRIVOS_RECORD_COLUMNS(BRIVOS_SFAPROSPECT_COLUMNS),
      {
          {"Subscriber", K::Single, &ISubScriber::Schema, kSubscriberID},
          {"TaxCode", K::Single, &CITaxCode::Schema, kTaxCodeID},
      },
      &MakeRecord<SFAProspect>);
  return schema;
}

std::shared_ptr<ISubScriber> SFAProspect::Subscriber(const Variant& Account) {
  return RelatedOneAs<ISubScriber>(*this, 0, Account);
}

std::shared_ptr<CITaxCode> SFAProspect::TaxCode(const Variant& Account) {
  return RelatedOneAs<CITaxCode>(*this, 1, Account);
}

}  // namespace brivos
