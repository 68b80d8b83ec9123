#include "brivos/records/IProjectTransaction.hpp"

#include "brivos/records/IProject.hpp"
#include "brivos/records/IProjectInvoice.hpp"
#include "brivos/records/IProjectStaff.hpp"
#include "brivos/records/IProjectTask.hpp"

namespace brivos {

// A staff member's slips of a day or a week.
BRIVOS_RECORD_DEFINITION(IProjectTransaction, BRIVOS_IPROJECTTRANSACTION_COLUMNS,
                         BRIVOS_IPROJECTTRANSACTION_RELATIONS, {kStaffID, kTransDate});

}  // namespace brivos
