#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <tuple>
#include <vector>

#include "tests/support/SubscriberFixture.hpp"

namespace brivos {
namespace {

using testing::ExpectError;
constexpr std::int32_t kConstraint = -2147217873;

// AddClient's arguments after the Token, by position.
enum : std::size_t { kName = 0, kProvince = 4, kDescription = 9, kTax = 11 };
std::vector<Variant> Fields() {
  return {"Acme", "1 Main", "", "Oslo", "ON", "1", "NO", "555", "", "Notes", "BN", "", "9", "N30"};
}

class ClientTest : public testing::SubscriberTest {
 protected:
  // Adds late-bound; the other calls are typed.
  std::int32_t Add(std::vector<Variant> f = Fields()) {
    f.insert(f.begin(), {account, user, token});
    return CLng(CreateObject("BRIVOS.CCIMgr")->Invoke("AddClient", f));
  }
  void Update(Variant id, std::vector<Variant> f, Variant inactive = false) {
    mgr.UpdateClient(account, user, token, id, f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8],
                     f[9], f[10], f[11], inactive, f[12], f[13]);
  }
  std::int32_t AddTax(Variant code, Variant rate = 5.0, Variant tax1 = "GST") {
    Variant no(false);
    return mgr.AddTaxCode(account, user, token, code, tax1, rate, tax1, no, rate, tax1, no, no, no);
  }
  std::shared_ptr<SFAProspect> Get(Variant id) { return mgr.GetCustomer(account, user, token, id); }
  // Each client's value of `column`, in list order.
  static std::vector<std::string> Column(const std::shared_ptr<Collection>& list,
                                         SFAProspect::Column column = SFAProspect::kCompanyName) {
    std::vector<std::string> values;
    for (const Variant& i : list->Items())
      values.push_back(CStr(std::static_pointer_cast<SFAProspect>(i.AsObject())->Field(column)));
    return values;
  }
  std::int32_t Count(const std::string& t) { return CLng(Scalar("SELECT COUNT(*) FROM " + t)); }
  std::int32_t Counter() { return CLng(Scalar("SELECT NextClientAccountNumber FROM ISubScriber")); }

  CCIMgr mgr;
  Variant user{"admin"}, token{"T"};
};

TEST_F(ClientTest, AddsReturnTheirOwnKeyAndClientsNumberFromTheSequence) {
  Exec("UPDATE ISubScriber SET NextClientAccountNumber=41");
  std::int32_t first = Add(), twin = Add();  // same company name: a client of its own
  EXPECT_NE(first, twin);
  EXPECT_EQ(CStr(Get(first)->AccountNumber()) + CStr(Get(twin)->AccountNumber()), "4142");
  EXPECT_EQ(Counter(), 43);
  EXPECT_EQ(CLng(Get(first)->SubscriberID()), SubscriberId());
  EXPECT_FALSE(CBool(Get(first)->Inactive()));
  EXPECT_NE(AddTax("G"), AddTax("G"));
}

TEST_F(ClientTest, TaxCodeIsAThirtyTwoBitKeyOrNull) {
  const std::pair<Variant, std::string> cases[] = {
      {Variant(""), "Null"}, {Variant(), "Null"},       {Variant::Null(), "Null"},
      {Variant("3"), "3"},   {Variant(40000), "40000"}, {Variant("70000"), "70000"}};
  for (const auto& [given, stored] : cases) {
    std::vector<Variant> f = Fields();
    f[kTax] = given;
    std::int32_t id = Add(f);
    const auto tax_code = [&] {
      Variant v = Get(id)->TaxCodeID();
      return v.IsNull() ? "Null" : CStr(v);
    };
    EXPECT_EQ(tax_code(), stored);
    Exec("UPDATE SFAProspect SET TaxCodeID=99");
    Update(id, f);
    EXPECT_EQ(tax_code(), stored);
  }
}

TEST_F(ClientTest, RefusedValuesWriteNothingAndDrawNoNumber) {
  std::int32_t id = Add();
  const std::tuple<std::size_t, Variant, std::int32_t> cases[] = {
      {kTax, "three", 13},
      {kTax, 3e9, 6},
      {kName, std::string(256, 'n'), kConstraint},
      {kProvince, std::string(17, 'p'), kConstraint},
      {kDescription, std::string(2001, 'd'), kConstraint}};
  for (const auto& [field, value, number] : cases) {
    std::vector<Variant> f = Fields();
    f[field] = value;
    ExpectError([&] { Add(f); }, number);
    ExpectError([&] { Update(id, f); }, number);
  }
  ExpectError([&] { AddTax("GS"); }, kConstraint);
  ExpectError([&] { AddTax("H", "five"); }, 13);
  EXPECT_EQ(Column(mgr.GetAllCustomers(account, user, token)), std::vector<std::string>{"Acme"});
  EXPECT_EQ(Counter(), 2);
  EXPECT_EQ(Count("CITaxCode"), 0);

  Exec("DELETE FROM ISubScriber");
  ExpectError([&] { Add(); }, 91);
  ExpectError([&] { AddTax("G"); }, 91);
  for (auto list :
       {&CCIMgr::GetAllCustomers, &CCIMgr::GetAllCustomersForUser, &CCIMgr::GetAllTaxCodes}) {
    EXPECT_EQ(ExpectError([&] { (mgr.*list)(account, user, token); }, 91).Source(),
              "BRIVOS.CCIMgr");
  }
  EXPECT_EQ(Count("SFAProspect") + Count("CITaxCode"), 1);
}

TEST_F(ClientTest, ConcurrentAddsTakeConsecutiveNumbers) {
  constexpr int kThreads = 4, kAdds = 10;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int n = 0; n < kAdds; ++n) EXPECT_NO_THROW(Add());
    });
  }
  for (auto& t : threads) t.join();
  std::set<std::int32_t> numbers;
  for (const std::string& n :
       Column(mgr.GetAllCustomers(account, user, token), SFAProspect::kAccountNumber))
    numbers.insert(std::stoi(n));
  EXPECT_EQ(numbers.size(), std::size_t{kThreads * kAdds});
  EXPECT_EQ(*numbers.rbegin(), kThreads * kAdds);
  EXPECT_EQ(Counter(), kThreads * kAdds + 1);
}

TEST_F(ClientTest, UpdateRewritesEveryFieldOfTheNamedClientOnly) {
  std::int32_t id = Add();
  const std::vector<Variant> f{"Bolt", "a1", "a2", "c", "p", "z",  "k",
                               "t",    "f",  "d",  "b", "7", "AN", "N5"};
  Update(id, f, true);
  Update(id + 1, Fields());  // unknown: nothing changes, no error
  std::string all;
  for (std::size_t col = SFAProspect::kCompanyName; col < SFAProspect::kColumnCount; ++col)
    if (col != SFAProspect::kLastUpdateDateTime) all += CStr(Get(id)->Field(col)) + "|";
  EXPECT_EQ(all, "Bolt|a1|a2|c|p|z|k|t|f|d|AN|b|True|N5|7|");
  ExpectError([&] { Update("1 OR 1=1", f); }, 13);
}

TEST_F(ClientTest, ListsLookupsAndDeletes) {
  for (const char* name : {"beta", "Alpha", "Bravo", "O'Neil"}) {
    std::vector<Variant> f = Fields();
    f[kName] = name;
    Add(f);
  }
  Exec("INSERT INTO SFAProspect (Parent,CompanyName) VALUES (77,'Bob of another subscriber')");
  const std::vector<std::string> b = {"beta", "Bob of another subscriber", "Bravo"};
  const std::pair<Variant, std::vector<std::string>> letters[] = {
      {Variant("b"), b}, {Variant("B"), b}, {Variant("'"), {}}, {Variant("bo"), {}}};
  for (auto [letter, names] : letters)
    EXPECT_EQ(Column(mgr.GetClientList(account, user, token, letter)), names);
  Variant none = Variant::Null();
  EXPECT_EQ(Column(mgr.GetClientList(account, user, token, none)).size(), 5u);
  auto all = mgr.GetAllCustomers(account, user, token);
  EXPECT_EQ(Column(all), (std::vector<std::string>{"Alpha", "beta", "Bravo", "O'Neil"}));
  EXPECT_EQ(Column(mgr.GetAllCustomersForUser(account, user, token)), Column(all));

  Variant alpha = all->ItemAs<SFAProspect>(1)->SFAProspectID();
  Exec("INSERT INTO IProject (Parent,Name,ClientID) VALUES (1,'Site'," + CStr(alpha) + ")");
  mgr.DeleteCustomer(account, alpha);
  EXPECT_EQ(mgr.GetClientProjects(account, user, token, alpha)->Count(), 1);
  ExpectError([&] { Get(alpha); }, 9);
  for (Variant bad : {Variant("1 OR 1=1"), Variant()}) {
    ExpectError([&] { Get(bad); }, 13);
    ExpectError([&] { mgr.DeleteCustomer(account, bad); }, 13);
    ExpectError([&] { mgr.GetClientProjects(account, user, token, bad); }, 13);
  }
  EXPECT_EQ(Count("SFAProspect"), 4);
  std::vector<Variant> one_short{account};
  ExpectError([&] { CreateObject("BRIVOS.CCIMgr")->Invoke("DeleteCustomer", one_short); }, 450);
}

TEST_F(ClientTest, TaxCodesUpdateAndDelete) {
  Variant g(AddTax("G", 5.5));
  std::vector<Variant> f = Fields();
  f[kTax] = g;
  std::int32_t client = Add(f);
  EXPECT_EQ(CDbl(mgr.GetTaxCode(account, user, token, g)->Tax1Rate()), 5.5);
  Variant code("Z"), d("Zero"), r(0.0), yes(true);
  mgr.UpdateTaxCode(account, user, token, g, code, d, r, d, yes, r, d, yes, yes, yes);
  auto got = mgr.GetAllTaxCodes(account, user, token)->ItemAs<CITaxCode>(1);
  EXPECT_EQ(CStr(got->TaxCode()) + CStr(got->Tax1Rate()) + CStr(got->Inactive()), "Z0True");
  mgr.DeleteTaxCode(account, user, token, g);
  EXPECT_EQ(CLng(Get(client)->TaxCodeID()), CLng(g));  // the client keeps its key
  EXPECT_EQ(Get(client)->TaxCode(account), nullptr);
  ExpectError([&] { mgr.GetTaxCode(account, user, token, g); }, 9);
}

}  // namespace
}  // namespace brivos
