#include "brivos/records/IProjectExpense.hpp"

#include "brivos/records/CITaxCode.hpp"
#include "brivos/records/IExpenseReport.hpp"
#include "brivos/records/IProject.hpp"
#include "brivos/records/IProjectInvoice.hpp"
#include "brivos/records/IProjectStaff.hpp"

namespace brivos {

BRIVOS_RECORD_DEFINITION(IProjectExpense, BRIVOS_IPROJECTEXPENSE_COLUMNS,
                         BRIVOS_IPROJECTEXPENSE_RELATIONS);

}  // namespace brivos
