#include "bench/BenchData.hpp"

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <random>

#include "bench/PlainSqlite.hpp"
#include "brivos/database/Database.hpp"

namespace brivos::bench {
namespace {

// Bumped whenever the rows written below change.
constexpr const char* kDataVersion = "subscriber-data-3";

std::filesystem::path MakeTempDir(const std::filesystem::path& parent, const char* prefix) {
  std::string templ = (parent / (std::string(prefix) + "XXXXXX")).string();
  if (mkdtemp(templ.data()) == nullptr) {
    std::perror("mkdtemp");
    std::abort();
  }
  return templ;
}

std::uint64_t Fnv1a(std::string_view text) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
  return h;
}

// The users in random order, each with a session; returns their keys by
// user index.
std::vector<std::int64_t> FillUsersAndSessions(PlainDb& db, const DataSize& size,
                                               const std::string& account, std::int64_t subscriber,
                                               std::mt19937_64& rng) {
  using U = IUser;
  std::vector<int> order(static_cast<std::size_t>(size.users));
  for (int i = 0; i < size.users; ++i) order[static_cast<std::size_t>(i)] = i;
  std::shuffle(order.begin(), order.end(), rng);
  std::vector<std::int64_t> keys(order.size());
  PlainInsert<U> user(db);
  for (int i : order) {
    keys[static_cast<std::size_t>(i)] =
        user.Row({{U::kSubscriberID, subscriber},
                  {U::kUserName, UserNameOf(i)},
                  {U::kPassword, PasswordOf(i)},
                  {U::kFirstName, Numbered("First", i)},
                  {U::kLastName, Numbered("Lastname", i)},
                  {U::kMiddleInitial, "Q"},
                  {U::kAdmin, false},
                  {U::kMainUser, false},
                  {U::kAllowLogon, true},
                  {U::kvmProjectsAccess, i % 3},
                  {U::kMinWeekHours, 40},
                  {U::kEMail, UserNameOf(i) + "@example.com"},
                  {U::kRate, 95.5 + i % 50},
                  {U::kCost, 60.25},
                  {U::kOTRate, 140.0},
                  {U::kOTCost, 90.0},
                  {U::kReportsToID, i % 10 == 0 ? Value() : Value(1 + i % 10)}});
  }

  std::shuffle(order.begin(), order.end(), rng);
  using S = SysSessions;
  PlainInsert<S> session(db);
  const double now = LocalNowSerial();
  char token[33];
  for (int i : order) {
    std::snprintf(token, sizeof token, "%016llX%016llX", static_cast<unsigned long long>(rng()),
                  static_cast<unsigned long long>(rng()));
    session.Row({{S::kAccount, account},
                 {S::kUserName, UserNameOf(i)},
                 {S::kToken, std::string_view(token, 32)},
                 {S::kLastUpdate, now - static_cast<double>(i % 1000) / 1440.0}});
  }
  return keys;
}

// A project with what its slips are drawn from.
struct Project {
  std::int64_t key = 0;
  std::vector<std::int64_t> tasks;
  std::vector<std::int64_t> staff;  // staff rows, one per team member
  std::vector<double> rates;        // each staff row's rate
  std::vector<std::int64_t> invoices;
  int slips = 0;
  int seen = 0;
};

constexpr const char* kTaskNames[] = {"Design", "Build", "Test", "Meetings", "Support"};

// Tax codes (both taxes, the second on top of the first; both taxes apart;
// the first only), the clients on them in turn, and the projects of the
// clients in turn with their tasks and teams. A project's team is a run of
// staff users, with a step prime to their number so that no one is on a
// team twice. Returns the projects with no slips yet.
std::vector<Project> FillProjects(PlainDb& db, std::int64_t subscriber,
                                  const std::vector<std::int64_t>& user_keys) {
  using T = CITaxCode;
  PlainInsert<T> tax_code(db);
  struct TaxCode {
    const char* code;
    double rate2;
    const char* name2;
    bool exempt2;
    bool piggyback;
  };
  std::vector<std::int64_t> tax_codes;
  for (const TaxCode& t :
       {TaxCode{"Q", 9.975, "QST", false, true}, TaxCode{"B", 7, "PST", false, false},
        TaxCode{"A", 0, "", true, false}}) {
    tax_codes.push_back(tax_code.Row({{T::kSubscriberID, subscriber},
                                      {T::kTaxCode, t.code},
                                      {T::kDescription, std::string("Tax code ") + t.code},
                                      {T::kTax1Rate, 5},
                                      {T::kTax1Name, "GST"},
                                      {T::kTax1Exempt, false},
                                      {T::kTax2Rate, t.rate2},
                                      {T::kTax2Name, t.name2},
                                      {T::kTax2Exempt, t.exempt2},
                                      {T::kTax2PiggyBack, t.piggyback},
                                      {T::kInactive, false}}));
  }
  using C = SFAProspect;
  PlainInsert<C> client(db);
  const double day0 = WorkDaySerial(0);
  std::vector<std::int64_t> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.push_back(
        client.Row({{C::kSubscriberID, subscriber},
                    {C::kCompanyName, Numbered("Client ", c)},
                    {C::kCity, "Montreal"},
                    {C::kCountry, "Canada"},
                    {C::kAccountNumber, std::to_string(1000 + c)},
                    {C::kInactive, false},
                    {C::kLastUpdateDateTime, day0},
                    {C::kDefaultTerms, "Net 30"},
                    {C::kTaxCodeID, tax_codes[static_cast<std::size_t>(c) % tax_codes.size()]}}));
  }

  using P = IProject;
  using K = IProjectTask;
  using F = IProjectStaff;
  PlainInsert<P> project(db);
  PlainInsert<K> task(db);
  PlainInsert<F> staff(db);
  const std::int64_t admin = IntOf(db, IUser::Schema().select + " WHERE UserName='admin';");
  std::vector<Project> projects(kSlipProjects);
  for (int p = 0; p < kSlipProjects; ++p) {
    Project& pr = projects[static_cast<std::size_t>(p)];
    const std::string name = p == 0   ? SlipProjectName(kBigProjectSlips)
                             : p == 1 ? SlipProjectName(kSmallProjectSlips)
                                      : "Project " + std::to_string(p);
    const int team = p == 0 ? 30 : p == 1 ? 3 : 10;
    const auto member = [&](int j) {
      return user_keys[static_cast<std::size_t>((p * 13 + j * 7) % kStaffUsers)];
    };
    pr.key = project.Row({{P::kSubscriberID, subscriber},
                          {P::kName, name},
                          {P::kDescription, "Work for client " + std::to_string(p % kClients)},
                          {P::kCreateDate, day0},
                          {P::kStatus, eProjectStatus::psActive},
                          {P::kStartDate, day0},
                          {P::kBillable, true},
                          {P::kEstCost, 250000},
                          {P::kEstRevenue, 400000},
                          {P::kOTAllowed, true},
                          {P::kTimeChunk, 15},
                          {P::kCreatorID, admin},
                          {P::kManagerID, member(0)},
                          {P::kClientID, clients[static_cast<std::size_t>(p % kClients)]}});
    for (int t = 0; t < kTasksPerProject; ++t) {
      pr.tasks.push_back(
          task.Row({{K::kProjectID, pr.key},
                    {K::kName, kTaskNames[t % 5]},
                    {K::kDescription, std::string(kTaskNames[t % 5]) + " for " + name},
                    {K::kEffectiveDate, day0},
                    {K::kInactive, false},
                    {K::kPlannedStart, day0 + 30 * t},
                    {K::kPlannedDuration, 30.0},
                    {K::kPlannedFinish, day0 + 30 * t + 30}}));
    }
    for (int j = 0; j < team; ++j) {
      const double rate = 95.5 + (p * 13 + j * 7) % kStaffUsers % 10 * 5;
      pr.staff.push_back(staff.Row({{F::kProjectID, pr.key},
                                    {F::kRate, rate},
                                    {F::kCost, 60},
                                    {F::kOTRate, rate * 1.5},
                                    {F::kOTCost, 90},
                                    {F::kCreateDate, day0},
                                    {F::kUserID, member(j)}}));
      pr.rates.push_back(rate);
    }
  }
  return projects;
}

// The slips in the order of their days, then the expenses. Slip i is dated
// on work day i / (slips / kWorkDays); its project is drawn (as `owner`
// below), its staff member from the project's team, its task from the
// project's tasks. The oldest kBilledSlips are billed: each project's slips
// go on invoices of a tenth of its slips each (the big project's invoices
// hold 10,000 slips each). The next kApprovedSlips are approved and not yet
// invoiced, the rest entered, 2% of them with an error text; the last
// kRunningSlips are running or paused.
void FillWork(PlainDb& db, const DataSize& size, std::int64_t subscriber,
              const std::vector<std::int64_t>& user_keys, std::mt19937_64& rng) {
  std::vector<Project> projects = FillProjects(db, subscriber, user_keys);
  std::vector<std::int64_t> owner(static_cast<std::size_t>(size.slips));
  for (std::size_t i = 0; i < owner.size(); ++i) {
    if (i < kBigProjectSlips) {
      owner[i] = 0;
    } else if (i < kBigProjectSlips + kSmallProjectSlips) {
      owner[i] = 1;
    } else {
      owner[i] = static_cast<std::int64_t>(2 + i % (kSlipProjects - 2));
    }
  }
  std::shuffle(owner.begin(), owner.end(), rng);
  for (std::int64_t p : owner) ++projects[static_cast<std::size_t>(p)].slips;

  using I = IProjectInvoice;
  PlainInsert<I> invoice(db);
  int next_invoice_number = 1;
  const auto new_invoice = [&](Project& pr, double day) {
    pr.invoices.push_back(invoice.Row({{I::kProjectID, pr.key},
                                       {I::kInvoiceDate, day},
                                       {I::kInvoiceNumber, std::to_string(next_invoice_number++)},
                                       {I::kStatus, eInvoiceStatus::isIssued},
                                       {I::kCreateDate, day},
                                       {I::kCreatedBy, "admin"},
                                       {I::kLastModified, day},
                                       {I::kLastModifiedBy, "admin"},
                                       {I::kTerms, "Net 30"},
                                       {I::kNotes, "Thank you"},
                                       {I::kFormat, 0}}));
  };

  using X = IProjectTransaction;
  using St = eTransStatus;
  PlainInsert<X> slip(db);
  const int per_day = size.slips / kWorkDays;
  const int running_from = size.slips - kRunningSlips;
  for (int i = 0; i < size.slips; ++i) {
    Project& pr = projects[static_cast<std::size_t>(owner[static_cast<std::size_t>(i)])];
    const double day = WorkDaySerial(i / per_day);
    const std::size_t member = static_cast<std::size_t>(rng() % pr.staff.size());
    const std::int64_t task = pr.tasks[rng() % pr.tasks.size()];
    const int start = (8 + i % 9) * 60 + i % 4 * 15;
    const int status = SlipStatus(i, kBilledSlips, kApprovedSlips, running_from);
    const bool approved = status == St::tsApproved || status == St::tsBilled;
    Value billed_on;
    if (status == St::tsBilled) {
      const std::size_t chunk =
          static_cast<std::size_t>(pr.seen) * 10 / static_cast<std::size_t>(pr.slips);
      while (pr.invoices.size() <= chunk) new_invoice(pr, day);
      billed_on = pr.invoices[chunk];
    }
    slip.Row({{X::kProjectID, pr.key},
              {X::kTransDate, day},
              {X::kStartTime, SlipStamp(day, start)},
              {X::kStopTime,
               status == St::tsActive ? Value() : Value(SlipStamp(day, start + 15 * (1 + i % 8)))},
              {X::kDescription, "Work item " + std::to_string(i) + " on " + kTaskNames[i % 5]},
              {X::kStaffRate, pr.rates[member]},
              {X::kStaffCost, 60},
              {X::kOTCost, 90},
              {X::kOTRate, pr.rates[member] * 1.5},
              {X::kError, status == St::tsComplete && i % 50 == 0 ? "The task was closed" : ""},
              {X::kStatus, status},
              {X::kApprovedBy, approved ? Value("admin") : Value()},
              {X::kApprovedOn, approved ? Value(SlipStamp(day + 2, 9 * 60)) : Value()},
              {X::kOverTime, i % 20 == 0},
              {X::kTaskID, task},
              {X::kStaffID, pr.staff[member]},
              {X::kInvoiceID, billed_on}});
    ++pr.seen;
  }

  // Expenses: billed on one of their project's invoices, approved and
  // waiting to be invoiced, or not yet approved, dated in the same periods
  // as the slips of that status.
  using E = IProjectExpense;
  PlainInsert<E> expense(db);
  struct Period {
    int count;
    int first_day;
    int last_day;
    bool billed;
    bool approved;
  };
  const int approved_day = kBilledSlips / per_day,
            open_day = approved_day + kApprovedSlips / per_day;
  const Period periods[] = {{kBilledExpenses, 0, approved_day, true, true},
                            {kApprovedExpenses, approved_day, open_day, false, true},
                            {kOpenExpenses, open_day, kWorkDays, false, false}};
  int j = 0;
  for (const Period& period : periods) {
    for (int k = 0; k < period.count; ++k, ++j) {
      Project& pr = projects[rng() % projects.size()];
      const double day = WorkDaySerial(
          period.first_day + static_cast<int>(static_cast<std::int64_t>(k) *
                                              (period.last_day - period.first_day) / period.count));
      const std::int64_t staff = pr.staff[rng() % pr.staff.size()];
      Value billed_on;
      if (period.billed) billed_on = pr.invoices[rng() % pr.invoices.size()];
      expense.Row({{E::kProjectID, pr.key},
                   {E::kExpenseDate, day},
                   {E::kPONumber, "PO-" + std::to_string(j % 97)},
                   {E::kAmount, 5 + j * 37 % 500 + 0.25},
                   {E::kMarkup, j % 3 == 0 ? 10.0 : 0.0},
                   {E::kDescription, "Expense " + std::to_string(j)},
                   {E::kBilled, period.billed},
                   {E::kApproved, period.approved},
                   {E::kApprovedBy, period.approved ? Value("admin") : Value()},
                   {E::kApprovedOn, period.approved ? Value(day + 2) : Value()},
                   {E::kExpenseType, j % 5},
                   {E::kExchangeRate, j % 10 == 0 ? 1.35 : 1.0},
                   {E::kPaymentType, j % 3},
                   {E::kEstablishment, "Hotel"},
                   {E::kCity, "Toronto"},
                   {E::kStaffID, staff},
                   {E::kInvoiceID, billed_on}});
    }
  }
  SetEveryRow<ISubScriber>(db, ISubScriber::kNextInvoiceNumber, next_invoice_number);
}

// The schema the library's provisioning gives a new subscriber file, as
// its statement texts.
std::string ProvisionedSchema() {
  const std::filesystem::path dir =
      MakeTempDir(std::filesystem::temp_directory_path(), "brivos-bench-schema-");
  CreateSubscriberDatabase(dir.string() + "\\A100", "Acme", "admin", "secret");
  ReleaseIdleConnections();
  std::string schema;
  {
    PlainDb db((dir / "A100.mdb").string());
    PlainStatement read(db, "SELECT type, name, sql FROM sqlite_master ORDER BY type, name;");
    while (read.Step()) schema += read.Text(0) + " " + read.Text(1) + ": " + read.Text(2) + "\n";
  }
  std::filesystem::remove_all(dir);
  return schema;
}

// Builds the subscriber file of `size` at `target`.
void BuildSubscriber(const DataSize& size, const std::filesystem::path& target) {
  const auto started = std::chrono::steady_clock::now();
  std::fprintf(stderr, "building the %s subscriber (%d users and sessions, %d slips) ...\n",
               size.label, size.users, size.slips);
  const std::filesystem::path dir = MakeTempDir(target.parent_path(), "build-");
  const std::string account = dir.string() + "\\A100";
  CreateSubscriberDatabase(account, "Acme", "admin", "secret");
  ReleaseIdleConnections();
  const std::string file = (dir / "A100.mdb").string();
  {
    PlainDb db(file);
    db.Exec("PRAGMA synchronous=OFF; PRAGMA cache_size=-262144; BEGIN;");
    std::mt19937_64 rng(20240601);
    const std::int64_t subscriber = IntOf(db, ISubScriber::Schema().select + ";");
    const std::vector<std::int64_t> users =
        FillUsersAndSessions(db, size, account, subscriber, rng);
    if (size.slips > 0) FillWork(db, size, subscriber, users, rng);
    db.Exec("COMMIT; PRAGMA wal_checkpoint(TRUNCATE);");
  }
  std::filesystem::rename(file, target);
  std::filesystem::remove_all(dir);
  std::fprintf(stderr, "built %s in %.1f s\n", target.c_str(),
               std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
}

}  // namespace

std::filesystem::path CachedSubscriber(const DataSize& size) {
  const std::filesystem::path cache = std::filesystem::temp_directory_path() / "brivos-bench-cache";
  std::filesystem::create_directories(cache);
  static const std::string key = kDataVersion + ProvisionedSchema();
  char prefix[64];
  std::snprintf(prefix, sizeof prefix, "subscriber-%du-%ds-", size.users, size.slips);
  char name[96];
  std::snprintf(name, sizeof name, "%s%016llx.mdb", prefix,
                static_cast<unsigned long long>(Fnv1a(key)));
  const std::filesystem::path file = cache / name;
  if (std::filesystem::exists(file)) return file;
  // Files of this size built for an older schema are of no further use.
  for (const auto& entry : std::filesystem::directory_iterator(cache)) {
    if (entry.path().filename().string().starts_with(prefix)) {
      std::error_code ignored;
      std::filesystem::remove(entry.path(), ignored);
    }
  }
  BuildSubscriber(size, file);
  return file;
}

Subscriber::Subscriber(const DataSize& size) : size_(size) {
  const std::filesystem::path cached = CachedSubscriber(size);
  const auto started = std::chrono::steady_clock::now();
  dir_ = MakeTempDir(std::filesystem::temp_directory_path(), "brivos-bench-");
  file_ = (dir_ / "A100.mdb").string();
  std::filesystem::copy_file(cached, file_);
  account_text_ = dir_.string() + "\\A100";
  account_ = Variant(account_text_);
  PlainDb db(file_);
  SetEveryRow<SysSessions>(db, SysSessions::kAccount, account_text_);
  std::fprintf(stderr, "copied %s to %s in %.1f s\n", cached.c_str(), file_.c_str(),
               std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
}

Subscriber::~Subscriber() {
  ReleaseIdleConnections();
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::vector<int> Subscriber::RandomUsers(int n, std::uint64_t seed) const {
  std::mt19937_64 rng(seed);
  std::uniform_int_distribution<int> pick(0, size_.users - 1);
  std::vector<int> users;
  for (int i = 0; i < n; ++i) users.push_back(pick(rng));
  return users;
}

std::vector<std::string> Subscriber::RandomTokens(int n) const {
  PlainDb db(file_);
  PlainStatement pick(db, "SELECT Token FROM SysSessions ORDER BY random() LIMIT ?;");
  pick.Bind(1, std::int64_t{n});
  std::vector<std::string> tokens;
  while (pick.Step()) tokens.push_back(pick.Text(0));
  if (static_cast<int>(tokens.size()) != n) std::abort();
  return tokens;
}

std::int64_t Subscriber::ProjectNamed(const std::string& name) const {
  PlainDb db(file_);
  return IntOf(db, "SELECT IProjectID FROM IProject WHERE Name=?;", name);
}

}  // namespace brivos::bench
