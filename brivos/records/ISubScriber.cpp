#include "brivos/records/ISubScriber.hpp"

#include "brivos/records/CITaxCode.hpp"
#include "brivos/records/IProject.hpp"
#include "brivos/records/ISubscriberLocation.hpp"
#include "brivos/records/IUser.hpp"
#include "brivos/records/SFAProspect.hpp"

namespace brivos {

BRIVOS_RECORD_DEFINITION(ISubScriber, BRIVOS_ISUBSCRIBER_COLUMNS, BRIVOS_ISUBSCRIBER_RELATIONS);

}  // namespace brivos
