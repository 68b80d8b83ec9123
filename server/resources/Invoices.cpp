// Invoices, the invoicing preview and invoice runs.


#include "documents/Documents.hpp"
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

Response Invoice(Context& c) {
  const std::int32_t id = ParseId(c.Params()[1]);
  const InvoiceBreakdown invoice = c.Typed(
      "CInvoiceMgr", "GetInvoiceBreakdown",
      [id](const Variant& account, const Variant& user, const Variant& token) {
        return CInvoiceMgr{}.GetInvoiceBreakdown(account, user, token, id);
      });
  if (c.Req().Header("Accept").find("text/html") != std::string_view::npos) {
    Response r;
    r.content_type = "text/html; charset=utf-8";
    r.body = documents::InvoiceHtml(invoice);
    return r;
  }
  return JsonResponse(200, documents::InvoiceJson(invoice));
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
