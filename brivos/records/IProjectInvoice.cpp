#include "brivos/records/IProjectInvoice.hpp"

#include "brivos/records/IProject.hpp"

namespace brivos {

BRIVOS_RECORD_DEFINITION(IProjectInvoice, BRIVOS_IPROJECTINVOICE_COLUMNS,
                         BRIVOS_IPROJECTINVOICE_RELATIONS);

}  // namespace brivos
