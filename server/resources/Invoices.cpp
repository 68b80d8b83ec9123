// Invoices, the invoicing preview and invoice runs.

#include <algorithm>
#include <cstdlib>

#include "documents/Documents.hpp"
#include "documents/Pdf.hpp"
#include "documents/Ubl.hpp"
#include "server/Routes.hpp"

namespace brivos::server::resources {

Response Invoices(Context& c) {
  static const char* const kLists[] = {"GetTrialInvoices", "GetApprovedInvoices",
                                       "GetIssuedInvoices"};
  const std::string status = c.Query("status");
  if (!status.empty() && status != "0" && status != "1" && status != "2") {
    throw HttpError(400, "status is 0 (trial), 1 (approved) or 2 (issued)");
  }
  Json out = Json::array();
  for (int s = 0; s < 3; ++s) {
    if (!status.empty() && status != std::to_string(s)) continue;
    for (Json& invoice : Public(c.Call("CInvoiceMgr", kLists[s], {}))) out.push_back(invoice);
  }
  return c.Page(out);
}

namespace {

std::string Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return std::string(text);
}

// The forms an invoice is answered in.
enum class Form { kJson, kHtml, kPdf, kUbl };

// The form the Accept header asks for: its media types by their q values,
// the first one the invoice has a form for; JSON without an Accept. Refuses
// 406 when none is acceptable.
Form Negotiate(std::string_view accept) {
  struct Choice {
    std::string type;
    double q;
  };
  std::vector<Choice> choices;
  for (const std::string& item : Split(std::string(accept), ',')) {
    const std::vector<std::string> parts = Split(item, ';');
    Choice c{AsciiLowered(Trim(parts[0])), 1.0};
    for (std::size_t i = 1; i < parts.size(); ++i) {
      const std::string param = Trim(parts[i]);
      if (param.starts_with("q=") || param.starts_with("Q=")) c.q = std::atof(param.c_str() + 2);
    }
    if (!c.type.empty() && c.q > 0) choices.push_back(std::move(c));
  }
  if (accept.empty()) return Form::kJson;
  std::stable_sort(choices.begin(), choices.end(),
                   [](const Choice& a, const Choice& b) { return a.q > b.q; });
  for (const Choice& c : choices) {
    if (c.type == "application/json" || c.type == "application/*" || c.type == "*/*") {
      return Form::kJson;
    }
    if (c.type == "text/html" || c.type == "text/*") return Form::kHtml;
    if (c.type == "application/pdf") return Form::kPdf;
    if (c.type == "application/vnd.oasis.ubl+xml" || c.type == "application/xml") return Form::kUbl;
  }
  throw HttpError(406,
                  "an invoice is application/json, text/html, application/pdf, "
                  "application/vnd.oasis.ubl+xml or application/xml");
}

}  // namespace

Response Invoice(Context& c) {
  const std::int32_t id = ParseId(c.Params()[1]);
  const Form form = Negotiate(c.Req().Header("Accept"));
  Response r;
  c.Typed("CInvoiceMgr", "GetInvoiceBreakdown",
          [&](const Variant& account, const Variant& user, const Variant& token) {
            const InvoiceBreakdown invoice =
                CInvoiceMgr{}.GetInvoiceBreakdown(account, user, token, id);
            if (form == Form::kJson) {
              r = JsonResponse(200, documents::InvoiceJson(invoice));
            } else if (form == Form::kHtml) {
              r.content_type = "text/html; charset=utf-8";
              r.body = documents::InvoiceHtml(invoice);
            } else {
              const documents::Parties parties =
                  documents::ReadParties(account, user, token, invoice);
              const documents::ClientCopy copy = documents::MakeClientCopy(invoice);
              if (form == Form::kPdf) {
                r.content_type = "application/pdf";
                r.body = documents::InvoicePdf(invoice, copy, parties);
              } else {
                r.content_type = "application/vnd.oasis.ubl+xml; charset=utf-8";
                r.body = documents::InvoiceUbl(invoice, copy, parties);
              }
            }
            return 0;
          });
  return r;
}

Response Preview(Context& c) {
  const Date cutoff = ParseDate(c.Query("cutoff"), "cutoff");
  const std::string projects = c.Query("projects");
  const InvoicingPreview preview = c.Typed(
      "CInvoiceMgr", "PreviewInvoicing",
      [&](const Variant& account, const Variant& user, const Variant& token) {
        return CInvoiceMgr{}.PreviewInvoicing(
            account, user, token, projects.empty() ? Variant::Null() : Variant(projects), cutoff);
      });
  return JsonResponse(200, documents::PreviewJson(preview));
}

Response InvoiceRun(Context& c) {
  const Json body = c.Body();
  if (!body.contains("CutoffDate")) throw HttpError(400, "the body needs \"CutoffDate\"");
  Json named = Json::object();
  named["CutoffDate"] = body["CutoffDate"];
  const Json projects = body.value("Projects", Json());
  // The run's own invoices, whatever other runs make meanwhile.
  const InvoiceRunRecord record;
  if (projects.is_null()) {
    c.CallNamed("CInvoiceMgr", "InvoiceAllProjects", named);
  } else {
    std::string list;
    if (projects.is_array()) {
      for (const Json& id : projects) {
        if (!list.empty()) list += "|";
        list += id.is_string() ? id.get<std::string>() : id.dump();
      }
    } else {
      list = projects.is_string() ? projects.get<std::string>() : projects.dump();
    }
    named["Projects"] = list;
    c.CallNamed("CInvoiceMgr", "InvoiceSelectedProjects", named);
  }
  Json made = Json::array();
  for (const std::int32_t invoice : record.Made()) {
    made.push_back(Public(c.Call("CInvoiceMgr", "GetInvoice", {invoice})));
  }
  return JsonResponse(201, made);
}

}  // namespace brivos::server::resources
