#include "brivos/records/CITaxCode.hpp"

#include "brivos/records/ISubScriber.hpp"

namespace brivos {

BRIVOS_RECORD_DEFINITION(CITaxCode, BRIVOS_CITAXCODE_COLUMNS, BRIVOS_CITAXCODE_RELATIONS);

}  // namespace brivos
