#include "brivos/records/SFAProspect.hpp"

#include "brivos/records/CITaxCode.hpp"
#include "brivos/records/ISubScriber.hpp"

namespace brivos {

BRIVOS_RECORD_DEFINITION(SFAProspect, BRIVOS_SFAPROSPECT_COLUMNS, BRIVOS_SFAPROSPECT_RELATIONS);

}  // namespace brivos
