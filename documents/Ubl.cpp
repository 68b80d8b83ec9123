#include "documents/Ubl.hpp"

#include <cmath>
#include <cstdio>

#include "documents/Markup.hpp"

namespace brivos::documents {
namespace {

// "12.5", "0.3333": up to four decimals, as short as exact to them.
std::string Decimal(double value) {
  char text[48];
  std::snprintf(text, sizeof text, "%.4f", value);
  std::string out = text;
  while (out.back() == '0') out.pop_back();
  if (out.back() == '.') out.pop_back();
  if (out == "-0") out = "0";
  return out;
}

// At most `bytes` bytes of UTF-8 text, cut between characters.
std::string Clipped(const std::string& text, std::size_t bytes) {
  if (text.size() <= bytes) return text;
  while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80) --bytes;
  return text.substr(0, bytes);
}

std::string PlainCurrency(Currency value) { return value.ToString(); }

class Writer {
 public:
  explicit Writer(std::string currency) : currency_(std::move(currency)) {}

  void Open(const char* tag) {
    Indent();
    out_ += "<" + std::string(tag) + ">\n";
    ++depth_;
  }
  void Close(const char* tag) {
    --depth_;
    Indent();
    out_ += "</" + std::string(tag) + ">\n";
  }
  void Leaf(const char* tag, std::string_view text, const std::string& attributes = "") {
    Indent();
    out_ += "<" + std::string(tag) + attributes + ">" + MarkupText(text) + "</" + tag + ">\n";
  }
  // A leaf only when `text` is not empty.
  void Optional(const char* tag, std::string_view text) {
    if (!text.empty()) Leaf(tag, text);
  }
  void Amount(const char* tag, Currency value) {
    Leaf(tag, CentsText(value), " currencyID=\"" + currency_ + "\"");
  }
  void Raw(const std::string& text) { out_ += text; }
  std::string Take() { return std::move(out_); }

 private:
  void Indent() { out_.append(static_cast<std::size_t>(depth_) * 2, ' '); }
  std::string currency_;
  std::string out_;
  int depth_ = 0;
};

void WriteParty(Writer& w, const Party& p, bool seller) {
  w.Open("cac:Party");
  if (!seller && !p.identifier.empty()) {
    w.Open("cac:PartyIdentification");
    w.Leaf("cbc:ID", p.identifier);
    w.Close("cac:PartyIdentification");
  }
  w.Open("cac:PostalAddress");
  w.Optional("cbc:StreetName", p.address1);
  w.Optional("cbc:AdditionalStreetName", p.address2);
  w.Optional("cbc:CityName", p.city);
  w.Optional("cbc:PostalZone", p.postal_code);
  w.Optional("cbc:CountrySubentity", p.province);
  w.Open("cac:Country");
  w.Leaf("cbc:IdentificationCode", p.country_code);
  w.Close("cac:Country");
  w.Close("cac:PostalAddress");
  if (seller && !p.vat_id.empty()) {
    w.Open("cac:PartyTaxScheme");
    w.Leaf("cbc:CompanyID", p.vat_id);
    w.Open("cac:TaxScheme");
    w.Leaf("cbc:ID", "VAT");
    w.Close("cac:TaxScheme");
    w.Close("cac:PartyTaxScheme");
  }
  w.Open("cac:PartyLegalEntity");
  w.Leaf("cbc:RegistrationName", p.name);
  if (seller) w.Optional("cbc:CompanyID", p.registration_id);
  w.Close("cac:PartyLegalEntity");
  w.Close("cac:Party");
}

// A tax category: S at the tax's rate, or E (exempt) with its reason.
struct Category {
  const char* id;
  double percent;
  const char* reason;  // E only
  std::string scheme;  // "VAT", or the tax's own name beside another
};

constexpr const char* kExpenseReason = "Expenses re-billed to the client at cost";
constexpr const char* kNoTaxReason = "No sales tax charged under the client's tax code";

// A line's category (cac:ClassifiedTaxCategory) or a subtotal's; only the
// subtotal's gives the reason for an exemption.
void WriteCategory(Writer& w, const char* tag, const Category& c) {
  w.Open(tag);
  w.Leaf("cbc:ID", c.id);
  w.Leaf("cbc:Percent", Decimal(c.percent));
  if (c.reason != nullptr && std::string_view(tag) == "cac:TaxCategory") {
    w.Leaf("cbc:TaxExemptionReason", c.reason);
  }
  w.Open("cac:TaxScheme");
  w.Leaf("cbc:ID", c.scheme);
  w.Close("cac:TaxScheme");
  w.Close(tag);
}

}  // namespace

std::string InvoiceUbl(const InvoiceBreakdown& invoice, const ClientCopy& copy,
                       const Parties& parties) {
  if (copy.lines.empty()) {
    Raise(errnum::kInvalidArgument, "invoice " + CStr(invoice.header.invoice_number) +
                                        " has no lines; an e-invoice has at least one");
  }
  if (parties.currency.empty()) {
    Raise(errnum::kInvalidArgument,
          "the firm has no currency code; set it with the setting currency (ISO 4217)");
  }
  const auto& h = invoice.header;
  const bool taxed = !copy.taxes.empty();
  const bool one_tax = copy.taxes.size() == 1;
  // The categories of the time lines and of the expense lines.
  std::vector<Category> time_categories;
  if (!taxed) time_categories.push_back({"E", 0, kNoTaxReason, "VAT"});
  for (const auto& tax : copy.taxes) {
    time_categories.push_back({"S", tax.rate, nullptr, one_tax ? "VAT" : tax.name});
  }
  const Category expense_category{"E", 0, kExpenseReason, "VAT"};
  const Category untaxed_category = taxed ? expense_category : time_categories.front();

  Writer w(parties.currency);
  // The document's namespace and its two component libraries', under the
  // one prefix OASIS registered for the UBL schemas (a fixed name the
  // schemas require, spelled as registered).
  const std::string ubl = "urn:oasis:names:specification:ubl:schema:xsd:";
  w.Raw("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Invoice xmlns=\"" + ubl +
        "Invoice-2\" xmlns:cac=\"" + ubl + "CommonAggregateComponents-2\" xmlns:cbc=\"" + ubl +
        "CommonBasicComponents-2\">\n");
  w.Leaf("cbc:UBLVersionID", "2.1");
  w.Leaf("cbc:CustomizationID", "urn:cen.eu:en16931:2017");
  w.Leaf("cbc:ID", CStr(h.invoice_number).empty() ? CStr(h.invoice_id) : CStr(h.invoice_number));
  const std::string issued = h.invoice_date.IsNull() || h.invoice_date.IsEmpty()
                                 ? CDate(h.create_date).ToString()
                                 : CDate(h.invoice_date).ToString();
  w.Leaf("cbc:IssueDate", issued.substr(0, 10));
  w.Leaf("cbc:InvoiceTypeCode", "380");
  if (!h.notes.IsNull() && !h.notes.IsEmpty() && !CStr(h.notes).empty()) {
    w.Leaf("cbc:Note", CStr(h.notes));
  }
  if (copy.rounding != Currency()) {
    w.Leaf("cbc:Note", "Amounts rounded to cents; the exact total " + copy.exact_total.ToString() +
                           " differs by " + copy.rounding.ToString() + ".");
  }
  w.Leaf("cbc:DocumentCurrencyCode", parties.currency);
  if (!h.project.IsNull() && !h.project.IsEmpty()) {
    w.Open("cac:ProjectReference");
    w.Leaf("cbc:ID", CStr(h.project));
    w.Close("cac:ProjectReference");
  }
  w.Open("cac:AccountingSupplierParty");
  WriteParty(w, parties.seller, true);
  w.Close("cac:AccountingSupplierParty");
  w.Open("cac:AccountingCustomerParty");
  WriteParty(w, parties.buyer, false);
  w.Close("cac:AccountingCustomerParty");
  if (!parties.iban.empty()) {
    w.Open("cac:PaymentMeans");
    w.Leaf("cbc:PaymentMeansCode", "30");  // credit transfer
    w.Leaf("cbc:PaymentID", CStr(h.invoice_number));
    w.Open("cac:PayeeFinancialAccount");
    w.Leaf("cbc:ID", parties.iban);
    if (!parties.bic.empty()) {
      w.Open("cac:FinancialInstitutionBranch");
      w.Leaf("cbc:ID", parties.bic);
      w.Close("cac:FinancialInstitutionBranch");
    }
    w.Close("cac:PayeeFinancialAccount");
    w.Close("cac:PaymentMeans");
  }
  w.Open("cac:PaymentTerms");
  const std::string terms = h.terms.IsNull() || h.terms.IsEmpty() ? "" : CStr(h.terms);
  w.Leaf("cbc:Note", terms.empty() ? "Due on receipt" : terms);
  w.Close("cac:PaymentTerms");

  // The tax breakdown: a subtotal per tax on the time, and one for what is
  // not taxed.
  Currency untaxed;
  bool any_untaxed = false;
  for (const auto& line : copy.lines) {
    if (!line.time || !taxed) {
      untaxed = untaxed + line.net;
      any_untaxed = true;
    }
  }
  w.Open("cac:TaxTotal");
  w.Amount("cbc:TaxAmount", copy.tax);
  for (std::size_t i = 0; i < copy.taxes.size(); ++i) {
    w.Open("cac:TaxSubtotal");
    w.Amount("cbc:TaxableAmount", copy.taxes[i].taxable);
    w.Amount("cbc:TaxAmount", copy.taxes[i].amount);
    if (!one_tax) w.Leaf("cbc:CalculationSequenceNumeric", std::to_string(i + 1));
    WriteCategory(w, "cac:TaxCategory", time_categories[i]);
    w.Close("cac:TaxSubtotal");
  }
  if (any_untaxed) {
    w.Open("cac:TaxSubtotal");
    w.Amount("cbc:TaxableAmount", untaxed);
    w.Amount("cbc:TaxAmount", Currency());
    WriteCategory(w, "cac:TaxCategory", untaxed_category);
    w.Close("cac:TaxSubtotal");
  }
  w.Close("cac:TaxTotal");

  w.Open("cac:LegalMonetaryTotal");
  w.Amount("cbc:LineExtensionAmount", copy.net);
  w.Amount("cbc:TaxExclusiveAmount", copy.net);
  w.Amount("cbc:TaxInclusiveAmount", copy.payable);
  w.Amount("cbc:PayableAmount", copy.payable);
  w.Close("cac:LegalMonetaryTotal");

  std::size_t id = 0;
  for (const auto& line : copy.lines) {
    w.Open("cac:InvoiceLine");
    w.Leaf("cbc:ID", std::to_string(++id));
    // A price is never negative: a negative line has a negative quantity.
    const bool negative = line.price < Currency();
    const double quantity = negative ? -line.quantity : line.quantity;
    w.Leaf("cbc:InvoicedQuantity", Decimal(quantity),
           std::string(" unitCode=\"") + line.unit + "\"");
    w.Amount("cbc:LineExtensionAmount", line.net);
    if (!line.date.empty()) {
      w.Open("cac:InvoicePeriod");
      w.Leaf("cbc:StartDate", line.date);
      w.Leaf("cbc:EndDate", line.date);
      w.Close("cac:InvoicePeriod");
    }
    w.Open("cac:Item");
    w.Leaf("cbc:Name", line.description.empty() ? (line.time ? "Time" : "Expense")
                                                : Clipped(line.description, 200));
    if (line.time && taxed) {
      for (const auto& c : time_categories) WriteCategory(w, "cac:ClassifiedTaxCategory", c);
    } else {
      WriteCategory(w, "cac:ClassifiedTaxCategory", untaxed_category);
    }
    w.Close("cac:Item");
    w.Open("cac:Price");
    const Currency price = negative ? Currency() - line.price : line.price;
    w.Leaf("cbc:PriceAmount", line.time ? PlainCurrency(price) : CentsText(price),
           " currencyID=\"" + parties.currency + "\"");
    w.Close("cac:Price");
    w.Close("cac:InvoiceLine");
  }
  w.Raw("</Invoice>\n");
  return w.Take();
}

}  // namespace brivos::documents
