#include "brivos/records/ISubscriberLocation.hpp"

#include "brivos/records/ISubScriber.hpp"

namespace brivos {

const RecordSchema& ISubscriberLocation::Schema() {
  using K = RelationDef::Kind;
  static const RecordSchema schema(
      "ISubscriberLocation", BRIVOS_RECORD_COLUMNS(BRIVOS_ISUBSCRIBERLOCATION_COLUMNS),
      {
          {"Subscriber", K::Single, &ISubScriber::Schema, kSubscriberID},
      },
      &MakeRecord<ISubscriberLocation>);
  return schema;
}

std::shared_ptr<ISubScriber> ISubscriberLocation::Subscriber(const Variant& Account) {
  return RelatedOneAs<ISubScriber>(*this, 0, Account);
}

}  // namespace brivos
