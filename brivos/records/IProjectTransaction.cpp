#include "brivos/records/IProjectTransaction.hpp"

#include "brivos/records/IProject.hpp"
#include "brivos/records/IProjectInvoice.hpp"
#include "brivos/records/IProjectStaff.hpp"
#include "brivos/records/IProjectTask.hpp"

namespace brivos {

BRIVOS_RECORD_DEFINITION(IProjectTransaction, BRIVOS_IPROJECTTRANSACTION_COLUMNS,
                         BRIVOS_IPROJECTTRANSACTION_RELATIONS);

}  // namespace brivos
