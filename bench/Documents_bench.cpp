// The client's copy of an invoice of 1,000 slips (a third of an hour each,
// one tax): GetInvoiceBreakdown alone, then the breakdown rendered as a PDF
// (Cairo and Pango) and as a UBL e-invoice, each with the parties read from
// the database. The target is 50 ms for each rendering.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "brivos/brivos.hpp"
#include "documents/ClientCopy.hpp"
#include "documents/Parties.hpp"
#include "documents/Pdf.hpp"
#include "documents/Ubl.hpp"

namespace brivos::bench {
namespace {

constexpr int kSlips = 1000;

struct Firm {
  std::string dir;
  Variant account, user{"admin"}, token{"T"}, invoice;

  Firm() {
    char path[] = "/tmp/brivos-documents-bench-XXXXXX";
    dir = mkdtemp(path);
    account = Variant(dir + "\\A100");
    CreateSubscriberDatabase(CStr(account), "Acme Consulting", "admin", "secret");
    CSettingsMgr{}.SetSetting(account, user, token, "currency", "EUR");
    CSettingsMgr{}.SetSetting(account, user, token, "seller.vat_id", "DE123456789");
    const Variant none(""), no(false), yes(true), zero(0.0);
    const std::int32_t tax = CCIMgr{}.AddTaxCode(account, user, token, "V", "VAT", 19.0, "VAT", no,
                                                 zero, none, yes, no, no);
    const std::int32_t client = CCIMgr{}.AddClient(account, user, token, "Northwind", "1 Main St",
                                                   none, "Berlin", none, "10115", "Germany", none,
                                                   none, none, "DE987654321", tax, none, "Net 30");
    CProjectMgr projects;
    Variant chunk(15);
    const std::int32_t project = projects.AddProject(account, user, token, "Web", none, 2, none,
                                                     none, yes, zero, zero, no, chunk, client, 1);
    const std::int32_t task =
        projects.AddTask(account, user, token, project, "Design", none, Date::FromParts(2024, 1, 1),
                         no, Variant::Null(), zero, Variant::Null());
    const std::int32_t staff =
        projects.AddStaff(account, user, token, project, 1, 80.0, 50.0, 120.0, 70.0);
    for (int i = 0; i < kSlips; ++i) {
      projects.AddTransaction(account, user, token, project, Date::FromParts(2024, 3, 1 + i % 28),
                              9, 0, 9, 20, "Slip " + std::to_string(i), 2, 80.01, 50.0, 70.0, 120.0,
                              none, task, staff, no);
    }
    CInvoiceMgr{}.InvoiceAllProjects(account, user, token, Date::FromParts(2024, 3, 31));
    invoice = Variant(1);
  }
  ~Firm() { std::filesystem::remove_all(dir); }
};

Firm& TheFirm() {
  static Firm firm;
  return firm;
}

void BM_Breakdown(benchmark::State& state) {
  Firm& f = TheFirm();
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        CInvoiceMgr{}.GetInvoiceBreakdown(f.account, f.user, f.token, f.invoice));
  }
}

template <class Render>
void Rendered(benchmark::State& state, Render render) {
  Firm& f = TheFirm();
  std::size_t bytes = 0;
  for (auto _ : state) {
    const InvoiceBreakdown invoice =
        CInvoiceMgr{}.GetInvoiceBreakdown(f.account, f.user, f.token, f.invoice);
    const documents::ClientCopy copy = documents::MakeClientCopy(invoice);
    const documents::Parties parties = documents::ReadParties(f.account, f.user, f.token, invoice);
    bytes = render(invoice, copy, parties).size();
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}

void BM_Pdf(benchmark::State& state) { Rendered(state, documents::InvoicePdf); }
void BM_Ubl(benchmark::State& state) { Rendered(state, documents::InvoiceUbl); }

BENCHMARK(BM_Breakdown)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pdf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ubl)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace brivos::bench

BENCHMARK_MAIN();
