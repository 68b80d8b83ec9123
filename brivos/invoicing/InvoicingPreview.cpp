#include "brivos/invoicing/InvoicingPreview.hpp"

#include "brivos/invoicing/internal/InvoicePricing.hpp"

namespace brivos {

InvoicingPreview::operator Variant() const { return invoicing::SectionsOf(*this); }

}  // namespace brivos
