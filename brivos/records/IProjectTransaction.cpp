#include "brivos/records/IProjectTransaction.hpp"

#include "brivos/records/IProject.hpp"
#include "brivos/records/IProjectInvoice.hpp"
#include "brivos/records/IProjectStaff.hpp"
#include "brivos/records/IProjectTask.hpp"

namespace brivos {

// A staff member's slips of a day or a week; a project's slips in one status
// (the approved ones an invoicing run bills among many billed ones).
BRIVOS_RECORD_DEFINITION(IProjectTransaction, BRIVOS_IPROJECTTRANSACTION_COLUMNS,
                         BRIVOS_IPROJECTTRANSACTION_RELATIONS, {kStaffID, kTransDate},
                         {kProjectID, kStatus});

}  // namespace brivos
