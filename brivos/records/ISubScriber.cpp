#include "brivos/records/ISubScriber.hpp"

#include "brivos/records/ISubscriberLocation.hpp"
#include "brivos/records/IUser.hpp"

namespace brivos {

const RecordSchema& ISubScriber::Schema() {
  using K = RelationDef::Kind;
  static const RecordSchema schema(
      "ISubScriber", BRIVOS_RECORD_COLUMNS(BRIVOS_ISUBSCRIBER_COLUMNS),
      {
          {"Users", K::Many, &IUser::Schema, 0, "LastName ASC, FirstName ASC"},
          {"Locations", K::Many, &ISubscriberLocation::Schema},
      },
      &MakeRecord<ISubScriber>);
  return schema;
}

}  // namespace brivos
