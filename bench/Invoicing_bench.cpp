// Invoicing through CInvoiceMgr, late-bound as a presentation layer calls it,
// on a subscriber holding 1,000,000 slips:
// - InvoiceAllProjects over its 100 active, billable projects, which hold
//   100,000 approved slips and 10,000 approved, unbilled expenses: one trial
//   invoice per project. Against the floor of plain sqlite3 making the same
//   changes (the same reads, inserts and updates) in one transaction on a
//   kept connection, and against plain sqlite3 making them in one
//   transaction per project, as the library's units of work do. Every run
//   starts from the same file: the invoices of the previous run are taken
//   back before it, untimed. Each run reports the peak resident memory of
//   the process while it ran.
// - The same run with another thread drawing invoice numbers through
//   CAccountMgr.GetNextInvoiceNumber in a loop meanwhile: the longest wait
//   of one draw, with a draw every 10 ms and with draws back to back.
// - GetInvoiceTotal of an invoice of 10,000 slips, against plain sqlite3
//   reading the columns the total needs and doing the same arithmetic; and
//   against plain sqlite3 reading every column, as the library's lists do.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "bench/BenchSupport.hpp"
#include "bench/PlainSqlite.hpp"

namespace brivos::bench {
namespace {

constexpr int kInvoicedProjects = kSlipProjects;
// Runs of a few seconds each, with the invoices of the last run taken back
// before each.
constexpr int kInvoiceRuns = 5;
constexpr int kTightDrawerRuns = 2;
constexpr int kTightDrawingMs = 4000;

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

// --- resident memory -------------------------------------------------------

// A field of /proc/self/status in megabytes ("VmRSS", "VmHWM").
double StatusMegabytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::stod(line.substr(field.size() + 1)) / 1024;
  }
  return 0;
}

// The peak of the whole run, across the resets below.
double g_run_peak_mb = 0;

// Starts a new peak at the present resident size; returns that size.
double ResetPeak() {
  g_run_peak_mb = std::max(g_run_peak_mb, StatusMegabytes("VmHWM"));
  std::ofstream("/proc/self/clear_refs") << "5";
  return StatusMegabytes("VmRSS");
}

void ReportPeak(benchmark::State& state, double rss_before) {
  const double peak = StatusMegabytes("VmHWM");
  g_run_peak_mb = std::max(g_run_peak_mb, peak);
  state.counters["peak_rss_MB"] = peak;
  state.counters["rss_added_MB"] = peak - rss_before;
}

// --- the file before and after invoicing ------------------------------------

struct Invoicing {
  const Subscriber* db = nullptr;
  std::int64_t last_invoice = 0;  // the newest invoice before any run
  std::int64_t next_number = 0;   // the invoice counter before any run
  Date cutoff;                    // the data's last day: every approved line qualifies
  std::int32_t total_invoice = 0;
  int total_slips = 0;
  Currency library_total;
};
Invoicing g;

void ReadStartingPoint(const Subscriber& db) {
  g.db = &db;
  PlainDb conn(db.file());
  g.last_invoice = IntOf(conn, "SELECT MAX(IProjectInvoiceID) FROM IProjectInvoice;");
  g.next_number = IntOf(conn, "SELECT NextInvoiceNumber FROM ISubScriber;");
  g.cutoff = Date::FromSerial(WorkDaySerial(kWorkDays - 1));
  // The big project's first invoice: 10,000 slips.
  g.total_invoice = static_cast<std::int32_t>(
      IntOf(conn, "SELECT MIN(IProjectInvoiceID) FROM IProjectInvoice WHERE Parent=?;",
            db.SlipProject(kBigProjectSlips)));
  g.total_slips =
      static_cast<int>(IntOf(conn, "SELECT COUNT(*) FROM IProjectTransaction WHERE InvoiceID=?;",
                             std::int64_t{g.total_invoice}));
}

// Takes back what earlier runs invoiced: their slips approved again, their
// expenses unbilled, their invoices gone and the counter where it was; then
// an empty write-ahead log, so every run starts alike.
void Restore() {
  PlainDb conn(g.db->file());
  conn.Exec("BEGIN IMMEDIATE;");
  PlainStatement(conn, "UPDATE IProjectTransaction SET Status=2, InvoiceID=NULL WHERE InvoiceID>?;")
      .Bind(1, g.last_invoice)
      .Run();
  PlainStatement(conn, "UPDATE IProjectExpense SET Billed=0, InvoiceID=NULL WHERE InvoiceID>?;")
      .Bind(1, g.last_invoice)
      .Run();
  PlainStatement(conn, "DELETE FROM IProjectInvoice WHERE IProjectInvoiceID>?;")
      .Bind(1, g.last_invoice)
      .Run();
  SetEveryRow<ISubScriber>(conn, ISubScriber::kNextInvoiceNumber, g.next_number);
  conn.Exec("COMMIT;");
  ReleaseIdleConnections();
  conn.Exec("PRAGMA wal_checkpoint(TRUNCATE);");
}

// What the run invoiced, or why it is wrong.
std::string CheckInvoiced() {
  PlainDb conn(g.db->file());
  const auto count = [&](const char* sql) { return IntOf(conn, sql, g.last_invoice); };
  const std::int64_t invoices =
      count("SELECT COUNT(*) FROM IProjectInvoice WHERE IProjectInvoiceID>?;");
  const std::int64_t slips =
      count("SELECT COUNT(*) FROM IProjectTransaction WHERE InvoiceID>? AND Status=3;");
  const std::int64_t expenses =
      count("SELECT COUNT(*) FROM IProjectExpense WHERE InvoiceID>? AND Billed=1;");
  if (invoices == kInvoicedProjects && slips == kApprovedSlips && expenses == kApprovedExpenses) {
    return "";
  }
  return "invoiced " + std::to_string(invoices) + " projects, " + std::to_string(slips) +
         " slips, " + std::to_string(expenses) + " expenses";
}

void Finish(benchmark::State& state, double rss_before) {
  ReportPeak(state, rss_before);
  if (const std::string wrong = CheckInvoiced(); !wrong.empty()) state.SkipWithError(wrong.c_str());
}

// --- InvoiceAllProjects ----------------------------------------------------

void InvoiceAllThroughLibrary() {
  static const auto mgr = CreateObject("BRIVOS.CInvoiceMgr");
  std::vector<Variant> args{g.db->account(), Variant("admin"), Variant(kAnyToken),
                            Variant(g.cutoff)};
  mgr->Invoke("InvoiceAllProjects", args);
}

void LibraryInvoiceAll(benchmark::State& state) {
  Restore();
  const double rss_before = ResetPeak();
  LibraryLoop(state, InvoiceAllThroughLibrary);
  Finish(state, rss_before);
}

// The same changes by plain sqlite3, all in one transaction (the floor), or
// in one transaction per project as the library's units of work make them.
void PlainInvoiceAll(benchmark::State& state, bool per_project) {
  Restore();
  const std::string account_number = AccountNumberOf(g.db->account());
  PlainDb conn(g.db->file());
  PlainStatement begin(conn, "BEGIN IMMEDIATE;");
  PlainStatement commit(conn, "COMMIT;");
  PlainStatement subscriber(conn,
                            "SELECT NextInvoiceNumber, DefaultInvoiceNotes, DefaultInvoiceFormat "
                            "FROM ISubScriber WHERE AccountNo=?;");
  PlainStatement projects(conn,
                          "SELECT p.IProjectID, p.Billable, c.DefaultTerms FROM IProject p JOIN "
                          "SFAProspect c ON c.SFAProspectID=p.ClientID WHERE p.Status=2 ORDER BY "
                          "p.Parent ASC;");
  PlainStatement slips_exist(conn,
                             "SELECT 1 FROM IProjectTransaction WHERE Parent=? AND Status=2 AND "
                             "TransDate<=? LIMIT 1;");
  PlainStatement expenses_exist(conn,
                                "SELECT 1 FROM IProjectExpense WHERE Parent=? AND Billed=0 AND "
                                "Approved=1 AND ExpenseDate<=? LIMIT 1;");
  using I = IProjectInvoice;
  PlainInsert<I> insert(conn);
  PlainStatement bill_slips(conn,
                            "UPDATE IProjectTransaction SET Status=3,InvoiceID=? WHERE Parent=? "
                            "AND Status=2 AND TransDate<=?;");
  PlainStatement bill_expenses(conn,
                               "UPDATE IProjectExpense SET Billed=1,InvoiceID=? WHERE Parent=? AND "
                               "Billed=0 AND Approved=1 AND ExpenseDate<=?;");
  PlainStatement count_up(conn, "UPDATE ISubScriber SET NextInvoiceNumber=? WHERE AccountNo=?;");
  const double cutoff = g.cutoff.Serial();
  std::int64_t number = 0;
  std::string notes;
  std::int64_t format = 0;
  // Opens a transaction and reads the counter and the invoice defaults in it.
  const auto begin_unit = [&] {
    begin.Run();
    subscriber.Bind(1, account_number);
    if (!subscriber.Step()) std::abort();
    number = subscriber.Int(0);
    notes = subscriber.Text(1);
    format = subscriber.Int(2);
    subscriber.Reset();
  };
  const auto commit_unit = [&] {
    count_up.Bind(1, number).Bind(2, account_number).Run();
    commit.Run();
  };
  struct Project {
    std::int64_t key;
    bool billable;
    std::string terms;
  };
  // The longest time the write lock was held: what a concurrent writer
  // waits at least when it comes just after a transaction began.
  double longest_unit_ms = 0;
  std::chrono::steady_clock::time_point unit_started;
  const auto timed_begin = [&] {
    unit_started = std::chrono::steady_clock::now();
    begin_unit();
  };
  const auto timed_commit = [&] {
    commit_unit();
    longest_unit_ms = std::max(longest_unit_ms, MillisecondsSince(unit_started));
  };
  const double rss_before = ResetPeak();
  for (auto _ : state) {
    const double now = LocalNowSerial();
    if (!per_project) timed_begin();
    std::vector<Project> list;
    while (projects.Step()) {
      list.push_back(
          {projects.Int(0), !projects.IsNull(1) && projects.Int(1) != 0, projects.Text(2)});
    }
    projects.Reset();
    for (const Project& p : list) {
      if (!p.billable) continue;
      if (per_project) timed_begin();
      slips_exist.Bind(1, p.key).Bind(2, cutoff);
      expenses_exist.Bind(1, p.key).Bind(2, cutoff);
      const bool lines = slips_exist.Step() || expenses_exist.Step();
      slips_exist.Reset();
      expenses_exist.Reset();
      if (lines) {
        const std::int64_t invoice = insert.Row({{I::kProjectID, p.key},
                                                 {I::kInvoiceNumber, std::to_string(number++)},
                                                 {I::kStatus, eInvoiceStatus::isTrial},
                                                 {I::kTerms, p.terms},
                                                 {I::kNotes, notes},
                                                 {I::kFormat, format},
                                                 {I::kInvoiceDate, now},
                                                 {I::kCreateDate, now},
                                                 {I::kLastModified, now},
                                                 {I::kCreatedBy, "admin"},
                                                 {I::kLastModifiedBy, "admin"}});
        bill_slips.Bind(1, invoice).Bind(2, p.key).Bind(3, cutoff).Run();
        bill_expenses.Bind(1, invoice).Bind(2, p.key).Bind(3, cutoff).Run();
      }
      if (per_project) timed_commit();
    }
    if (!per_project) timed_commit();
  }
  state.counters["longest_unit_ms"] = longest_unit_ms;
  Finish(state, rss_before);
}

// GetNextInvoiceNumber with nothing else running: the floor of every wait
// below, one commit's disk sync.
void LibraryDrawAlone(benchmark::State& state) {
  auto accounts = CreateObject("BRIVOS.CAccountMgr");
  for (auto _ : state) {
    std::vector<Variant> args{g.db->account(), Variant("admin"), Variant(kAnyToken)};
    accounts->Invoke("GetNextInvoiceNumber", args);
  }
}

// InvoiceAllProjects while another thread draws invoice numbers in a loop,
// pausing `pause_ms` between draws, for at most `drawing_ms` (0: the whole
// run). The invoices made while the drawer ran show whether invoicing got
// its turns. A failure (of the invoicing or of a draw) is counted and
// printed, not made the run's error, so that the waits are still reported.
void LibraryInvoiceAllWithDrawer(benchmark::State& state, int pause_ms, int drawing_ms) {
  Restore();
  std::atomic<bool> stop{false};
  double longest_ms = 0;
  int draws = 0;
  int over_50ms = 0;
  std::int64_t invoiced_meanwhile = 0;
  std::string drawer_failure, invoicing_failure;
  std::thread drawer([&] {
    try {
      auto accounts = CreateObject("BRIVOS.CAccountMgr");
      const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(drawing_ms);
      while (!stop.load() && (drawing_ms == 0 || std::chrono::steady_clock::now() < until)) {
        std::vector<Variant> args{g.db->account(), Variant("admin"), Variant(kAnyToken)};
        const auto started = std::chrono::steady_clock::now();
        accounts->Invoke("GetNextInvoiceNumber", args);
        const double ms = MillisecondsSince(started);
        longest_ms = std::max(longest_ms, ms);
        over_50ms += ms > 50 ? 1 : 0;
        ++draws;
        if (pause_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
      }
      PlainDb conn(g.db->file());
      invoiced_meanwhile = IntOf(
          conn, "SELECT COUNT(*) FROM IProjectInvoice WHERE IProjectInvoiceID>?;", g.last_invoice);
    } catch (const std::exception& e) {
      drawer_failure = e.what();
    }
  });
  const double rss_before = ResetPeak();
  for (auto _ : state) {
    try {
      InvoiceAllThroughLibrary();
    } catch (const std::exception& e) {
      invoicing_failure = e.what();
    }
  }
  stop = true;
  drawer.join();
  state.counters["longest_wait_ms"] = longest_ms;
  state.counters["draws"] = draws;
  state.counters["waits_over_50ms"] = over_50ms;
  state.counters["invoiced_meanwhile"] = static_cast<double>(invoiced_meanwhile);
  state.counters["failed"] = invoicing_failure.empty() && drawer_failure.empty() ? 0 : 1;
  if (!invoicing_failure.empty()) {
    std::fprintf(stderr, "InvoiceAllProjects failed: %s\n", invoicing_failure.c_str());
  }
  if (!drawer_failure.empty()) std::fprintf(stderr, "drawer failed: %s\n", drawer_failure.c_str());
  ReportPeak(state, rss_before);
  if (!invoicing_failure.empty()) return;
  if (const std::string wrong = CheckInvoiced(); !wrong.empty()) state.SkipWithError(wrong.c_str());
}

// --- GetInvoiceTotal -------------------------------------------------------

Currency LibraryTotal() {
  static const auto mgr = CreateObject("BRIVOS.CInvoiceMgr");
  std::vector<Variant> args{g.db->account(), Variant("admin"), Variant(kAnyToken),
                            Variant(g.total_invoice)};
  return CCur(mgr->Invoke("GetInvoiceTotal", args));
}

void LibraryGetInvoiceTotal(benchmark::State& state) {
  LibraryLoop(state, [&] { benchmark::DoNotOptimize(LibraryTotal()); });
  state.counters["slips"] = g.total_slips;
}

std::int64_t MinuteOf(double serial) {
  return static_cast<std::int64_t>(std::floor(std::round(serial * 86400.0) / 60.0));
}

// The client's tax code as the total applies it.
struct TaxRule {
  bool tax1_due = false;
  bool tax2_due = false;
  bool piggyback = false;
  double rate1 = 0;
  double rate2 = 0;
};

// The total's arithmetic, one slip at a time.
void AddSlip(Currency& total, const TaxRule& tax, double start, double stop, bool overtime,
             double ot_rate, double staff_rate) {
  const double hours = static_cast<double>(MinuteOf(stop) - MinuteOf(start)) / 60;
  const double rate = Currency::FromDouble(overtime ? ot_rate : staff_rate).ToDouble();
  const double time = rate * hours;
  total = Currency::FromDouble(total.ToDouble() + time);
  Currency tax1, tax2;
  if (tax.tax1_due) tax1 = Currency::FromDouble(time * (tax.rate1 / 100));
  if (tax.tax2_due) {
    const double base = tax.piggyback ? tax1.ToDouble() : 0;
    tax2 = Currency::FromDouble((time + base) * (tax.rate2 / 100));
  }
  total = total + tax1 + tax2;
}

void AddExpense(Currency& total, double amount_given, double exchange_rate, double markup_given) {
  const Currency amount =
      Currency::FromDouble(Currency::FromDouble(amount_given).ToDouble() * exchange_rate);
  const Currency markup =
      Currency::FromDouble((amount * Currency::FromDouble(markup_given)).ToDouble() / 100);
  total = total + amount + markup;
}

// A number kept from a row: integer or real as SQLite stored it.
double Number(const RawValue& v) {
  if (const auto* i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
  if (const auto* d = std::get_if<double>(&v)) return *d;
  std::abort();
}
bool IsSet(const RawValue& v) {
  return !std::holds_alternative<std::monostate>(v) && Number(v) != 0;
}

// A flag that is definitely false: Null is neither.
bool IsFalse(const PlainStatement& row, int c) { return !row.IsNull(c) && row.Int(c) == 0; }

// Plain sqlite3 reading the columns the total needs, or, with
// `every_column`, reading every column of the invoice's slips and expenses
// into rows kept for the call as the library's lists are (the same
// statements as the library's, ORDER BY included).
void PlainGetInvoiceTotal(benchmark::State& state, bool every_column) {
  using X = IProjectTransaction;
  using E = IProjectExpense;
  PlainDb conn(g.db->file());
  PlainStatement tax_code(
      conn,
      "SELECT t.Tax1Rate, t.Tax1Exempt, t.Tax2Rate, t.Tax2Exempt, t.Tax2PiggyBack, t.Inactive "
      "FROM IProjectInvoice i JOIN IProject p ON p.IProjectID=i.Parent JOIN SFAProspect c ON "
      "c.SFAProspectID=p.ClientID JOIN CITaxCode t ON t.CITaxCodeID=c.TaxCodeID WHERE "
      "i.IProjectInvoiceID=?;");
  const std::string slip_order =
      " WHERE InvoiceID=? ORDER BY TaskID ASC, StaffID ASC, TransDate ASC;";
  PlainStatement slips(conn, every_column ? X::Schema().select + slip_order
                                          : "SELECT StartTime, StopTime, OverTime, OTRate, "
                                            "StaffRate FROM IProjectTransaction" +
                                                slip_order);
  PlainStatement expenses(conn, (every_column ? E::Schema().select
                                              : std::string("SELECT Amount, ExchangeRate, Markup "
                                                            "FROM IProjectExpense")) +
                                    " WHERE InvoiceID=?;");
  const std::int64_t invoice = g.total_invoice;
  Currency total;
  for (auto _ : state) {
    TaxRule tax;
    tax_code.Bind(1, invoice);
    if (tax_code.Step() && IsFalse(tax_code, 5)) {
      tax.tax1_due = IsFalse(tax_code, 1);
      tax.tax2_due = IsFalse(tax_code, 3);
      tax.piggyback = !tax_code.IsNull(4) && tax_code.Int(4) != 0;
      tax.rate1 = tax_code.Real(0);
      tax.rate2 = tax_code.Real(2);
    }
    tax_code.Reset();
    total = Currency();
    slips.Bind(1, invoice);
    expenses.Bind(1, invoice);
    if (every_column) {
      const std::vector<RawRow> slip_rows = slips.ReadAll();
      const std::vector<RawRow> expense_rows = expenses.ReadAll();
      for (const auto& r : slip_rows) {
        AddSlip(total, tax, Number(r[X::kStartTime]), Number(r[X::kStopTime]),
                IsSet(r[X::kOverTime]), Number(r[X::kOTRate]), Number(r[X::kStaffRate]));
      }
      for (const auto& r : expense_rows) {
        AddExpense(total, Number(r[E::kAmount]), Number(r[E::kExchangeRate]),
                   Number(r[E::kMarkup]));
      }
    } else {
      while (slips.Step()) {
        AddSlip(total, tax, slips.Real(0), slips.Real(1), !slips.IsNull(2) && slips.Int(2) != 0,
                slips.Real(3), slips.Real(4));
      }
      slips.Reset();
      while (expenses.Step())
        AddExpense(total, expenses.Real(0), expenses.Real(1), expenses.Real(2));
      expenses.Reset();
    }
    benchmark::DoNotOptimize(total);
  }
  state.counters["slips"] = g.total_slips;
  if (total != g.library_total) {
    const std::string wrong =
        "plain total " + total.ToString() + " differs from " + g.library_total.ToString();
    state.SkipWithError(wrong.c_str());
  }
}

}  // namespace

Program ThisProgram() {
  const std::string all = "InvoiceAllProjects/", drawer = all + "library+drawer",
                    paced = all + "library+drawer-every-10ms";
  Program program{
      {kLarge},
      [=](const Subscriber& db) {
        ReadStartingPoint(db);
        g.library_total = LibraryTotal();
        std::fprintf(stderr, "invoice %d: %d slips, total %s\n", g.total_invoice, g.total_slips,
                     g.library_total.ToString().c_str());
        const Settings ms{.unit = benchmark::kMillisecond};
        Settings run = ms;
        run.iterations = 1;
        run.repetitions = kInvoiceRuns;
        run.real_time = true;
        Register(all + "library", run, LibraryInvoiceAll);
        Register(all + "plain", run, PlainInvoiceAll, false);
        Register(all + "plain-per-project", run, PlainInvoiceAll, true);
        // Without a pause the drawer holds the write lock nearly all the time;
        // it stops after kTightDrawingMs so that a starved run still ends.
        Settings tight = run;
        tight.repetitions = kTightDrawerRuns;
        Register(drawer, tight, LibraryInvoiceAllWithDrawer, 0, kTightDrawingMs);
        Register(paced, run, LibraryInvoiceAllWithDrawer, 10, 0);
        Settings draws = ms;
        draws.iterations = 50;
        Register("GetNextInvoiceNumber/alone", draws, LibraryDrawAlone);
        Register("GetInvoiceTotal/library", ms, LibraryGetInvoiceTotal);
        Register("GetInvoiceTotal/plain", ms, PlainGetInvoiceTotal, false);
        Register("GetInvoiceTotal/plain-every-column", ms, PlainGetInvoiceTotal, true);
      },
      {
          Comparison::Time("InvoiceAllProjects, 100 projects: library/plain floor", all + "library",
                           all + "plain", 2),
          Comparison::Absolute("InvoiceAllProjects, library: time per run", all + "library", 0,
                               "s"),
          Comparison::Absolute("InvoiceAllProjects, plain floor: time per run", all + "plain", 0,
                               "s"),
          Comparison::Time("InvoiceAllProjects: library/plain with a transaction per project",
                           all + "library", all + "plain-per-project"),
          Comparison::Time("InvoiceAllProjects, plain: a transaction per project / one",
                           all + "plain-per-project", all + "plain"),
          Comparison::Worst("InvoiceAllProjects, library: peak resident memory", all + "library",
                            "peak_rss_MB", 0, "MB"),
          Comparison::Worst("InvoiceAllProjects, plain: peak resident memory", all + "plain",
                            "peak_rss_MB", 0, "MB"),
          Comparison::Worst("InvoiceAllProjects, plain, per project: longest transaction",
                            all + "plain-per-project", "longest_unit_ms", 0, "ms"),
          Comparison::Absolute("GetNextInvoiceNumber alone: time per draw (a disk sync)",
                               "GetNextInvoiceNumber/alone", 0, "ms"),
          Comparison::Worst("GetNextInvoiceNumber every 10 ms, while invoicing: longest wait",
                            paced, "longest_wait_ms", 50, "ms"),
          Comparison::Value("GetNextInvoiceNumber every 10 ms: draws per run", paced, "draws", 0,
                            ""),
          Comparison::Value("GetNextInvoiceNumber every 10 ms: draws waiting over 50 ms", paced,
                            "waits_over_50ms", 0, ""),
          Comparison::Worst("GetNextInvoiceNumber every 10 ms: runs with a failure (1 = some)",
                            paced, "failed", 0.5, ""),
          Comparison::Time("InvoiceAllProjects with GetNextInvoiceNumber every 10 ms / alone",
                           paced, all + "library"),
          Comparison::Worst("GetNextInvoiceNumber without pause, 4 s: longest wait", drawer,
                            "longest_wait_ms", 50, "ms"),
          Comparison::Value("GetNextInvoiceNumber without pause, 4 s: draws", drawer, "draws", 0,
                            ""),
          Comparison::Value("GetNextInvoiceNumber without pause, 4 s: projects invoiced meanwhile",
                            drawer, "invoiced_meanwhile", 0, ""),
          Comparison::Worst("GetNextInvoiceNumber without pause: runs with a failure (1 = some)",
                            drawer, "failed", 0.5, ""),
          Comparison::Time("GetInvoiceTotal, 10,000 slips: library/plain",
                           "GetInvoiceTotal/library", "GetInvoiceTotal/plain", 1.5),
          Comparison::Absolute("GetInvoiceTotal, library: time per call", "GetInvoiceTotal/library",
                               0, "ms"),
          Comparison::Time("GetInvoiceTotal: library/plain reading every column",
                           "GetInvoiceTotal/library", "GetInvoiceTotal/plain-every-column"),
          Comparison::Time("GetInvoiceTotal, plain: every column / the columns it needs",
                           "GetInvoiceTotal/plain-every-column", "GetInvoiceTotal/plain"),
      }};
  program.after = [] {
    g_run_peak_mb = std::max(g_run_peak_mb, StatusMegabytes("VmHWM"));
    std::printf("  %-60s %8.0f MB\n", "peak resident memory of the whole run", g_run_peak_mb);
  };
  return program;
}

}  // namespace brivos::bench
