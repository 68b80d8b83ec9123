#include "brivos/invoicing/InvoiceBreakdown.hpp"

#include "brivos/invoicing/internal/InvoicePricing.hpp"

namespace brivos {

InvoiceBreakdown::operator Variant() const { return invoicing::SectionsOf(*this); }

}  // namespace brivos
