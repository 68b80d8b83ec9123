#include "brivos/records/IProjectInvoice.hpp"

#include "brivos/records/IProject.hpp"

namespace brivos {

// The lists by status, oldest first: few invoices wait in trial or approval
// while the issued ones grow.
BRIVOS_RECORD_DEFINITION(IProjectInvoice, BRIVOS_IPROJECTINVOICE_COLUMNS,
                         BRIVOS_IPROJECTINVOICE_RELATIONS, {kStatus, kInvoiceDate});

}  // namespace brivos
