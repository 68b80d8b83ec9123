#include "brivos/records/ISubscriberLocation.hpp"

#include "brivos/records/ISubScriber.hpp"

namespace brivos {

BRIVOS_RECORD_DEFINITION(ISubscriberLocation, BRIVOS_ISUBSCRIBERLOCATION_COLUMNS,
                         BRIVOS_ISUBSCRIBERLOCATION_RELATIONS);

}  // namespace brivos
