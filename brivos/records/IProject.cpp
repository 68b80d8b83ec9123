#include "brivos/records/IProject.hpp"

#include "brivos/records/IProjectExpense.hpp"
#include "brivos/records/IProjectInvoice.hpp"
#include "brivos/records/IProjectStaff.hpp"
#include "brivos/records/IProjectTask.hpp"
#include "brivos/records/IProjectTransaction.hpp"
#include "brivos/records/ISubScriber.hpp"
#include "brivos/records/IUser.hpp"
#include "brivos/records/SFAProspect.hpp"

namespace brivos {

BRIVOS_RECORD_DEFINITION(IProject, BRIVOS_IPROJECT_COLUMNS, BRIVOS_IPROJECT_RELATIONS);

}  // namespace brivos
