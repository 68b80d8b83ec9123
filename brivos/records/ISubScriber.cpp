#include "brivos/records/ISubScriber.hpp"

#include "brivos/records/CITaxCode.hpp"
#include "brivos/records/IProject.hpp"
#include "brivos/records/ISubscriberLocation.hpp"
#include "brivos/records/IUser.hpp"
#include "brivos/records/SFAProspect.hpp"

namespace brivos {

const RecordSchema& ISubScriber::Schema() {
  using K = RelationDef::Kind;
  static const RecordSchema schema(
      "ISubScriber", BRIVOS_RECORD_COLUMNS(BRIVOS_ISUBSCRIBER_COLUMNS),
      {
          {"Users", K::Many, &IUser::Schema, 0, "LastName ASC, FirstName ASC"},
          {"Projects", K::Many, &IProject::Schema},
          {"Locations", K::Many, &ISubscriberLocation::Schema},
          {"TaxCodes", K::Many, &CITaxCode::Schema},
          {"Prospects", K::Many, &SFAProspect::Schema, 0, "CompanyName ASC"},
      },
      &MakeRecord<ISubScriber>);
  return schema;
}

}  // namespace brivos
