#include "brivos/invoicing/errCInvoiceMgr.hpp"

namespace brivos {

BRIVOS_REGISTER_ENUMS(kErrors, &errCInvoiceMgr::Published);

}  // namespace brivos
