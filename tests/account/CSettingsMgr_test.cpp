#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/SubscriberFixture.hpp"

namespace brivos {
namespace {

using testing::ExpectError;

class SettingsTest : public testing::SubscriberTest {
 protected:
  std::string Get(const std::string& name) { return mgr.GetSetting(account, user, token, name); }
  void Set(const std::string& name, const std::string& value) {
    mgr.SetSetting(account, user, token, name, value);
  }
  void SetCountry(const std::string& country) {
    Exec("UPDATE ISubscriberLocation SET Country='" + country + "' WHERE IsPrimary=1");
  }

  Variant user{"admin"}, token{"T"};
  CSettingsMgr mgr;
};

TEST(CodeListsTest, CountryCodesFromCountryTexts) {
  struct Case {
    const char* text;
    const char* code;
  };
  for (const Case& c : std::vector<Case>{{"Canada", "CA"},
                                         {"  deutschland ", "DE"},
                                         {"U.S.A.", "US"},
                                         {"us", "US"},
                                         {"fr", "FR"},
                                         {"United Kingdom", "GB"},
                                         {"Österreich", "AT"},
                                         {"Atlantis", ""},
                                         {"", ""},
                                         {"QQ", ""}}) {
    EXPECT_EQ(CountryCodeOf(c.text), c.code) << c.text;
  }
  EXPECT_EQ(CurrencyOfCountry("FR"), "EUR");
  EXPECT_EQ(CurrencyOfCountry("CA"), "CAD");
  EXPECT_EQ(CurrencyOfCountry("QQ"), "");
}

TEST(CodeListsTest, IbanCheckDigitsAndBics) {
  struct Case {
    const char* iban;
    const char* normal;  // "" when refused
  };
  for (const Case& c :
       std::vector<Case>{{"DE89 3704 0044 0532 0130 00", "DE89370400440532013000"},
                         {"gb82 west 1234 5698 7654 32", "GB82WEST12345698765432"},
                         {"DE89 3704 0044 0532 0130 01", ""},  // a digit changed
                         {"DE98 3704 0044 0532 0130 00", ""},  // check digits swapped
                         {"QQ89 3704 0044 0532 0130 00", ""},  // no such country
                         {"DE89-3704-0044-0532-0130-00", ""},
                         {"DE89370", ""},
                         {"DE8937040044053201300037040044053201300", ""}}) {
    EXPECT_EQ(NormalIban(c.iban), c.normal) << c.iban;
  }
  EXPECT_TRUE(IsBic("COBADEFFXXX"));
  EXPECT_TRUE(IsBic("DEUTDEFF"));
  EXPECT_FALSE(IsBic("COBADEFF12"));
  EXPECT_FALSE(IsBic("COBAQQFF"));
  EXPECT_FALSE(IsBic("cobadeff"));
}

TEST_F(SettingsTest, ValuesAreStoredInTheirNormalFormOrRefused) {
  struct Case {
    const char* name;
    const char* value;
    const char* stored;  // nullptr when refused with 5
  };
  const std::string too_long(256, 'x');
  const std::vector<Case> cases = {
      {"seller.vat_id", "de123456789", "DE123456789"},
      {"seller.vat_id", "123456789", nullptr},
      {"seller.vat_id", "DE 123", nullptr},
      {"seller.registration_id", " HRB 12345 ", "HRB 12345"},
      {"seller.registration_id", "HRB\t1", nullptr},
      {"seller.registration_id", too_long.c_str(), nullptr},
      {"seller.country", "at", "AT"},
      {"seller.country", "XX", nullptr},
      {"seller.country", "Austria", nullptr},
      {"currency", "chf", "CHF"},
      {"currency", "ABC", nullptr},
      {"payment.iban", "gb82 west 1234 5698 7654 32", "GB82WEST12345698765432"},
      {"payment.iban", "GB82 WEST 1234 5698 7654 33", nullptr},
      {"payment.bic", "deutdeff", "DEUTDEFF"},
      {"payment.bic", "DEUT", nullptr},
      {"paper.size", "letter", "Letter"},
      {"paper.size", "Legal", nullptr},
      {"Currency", "usd", "USD"},  // names ignore letter case
      {"seller.name", "Acme", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + "=" + c.value);
    if (c.stored == nullptr) {
      const std::string before = Get("currency");
      ExpectError([&] { Set(c.name, c.value); }, errnum::kInvalidArgument);
      EXPECT_EQ(Get("currency"), before);
    } else {
      Set(c.name, c.value);
      EXPECT_EQ(Get(c.name), c.stored);
    }
  }
}

TEST_F(SettingsTest, DefaultsComeFromTheProfileUntilSet) {
  SetCountry("Canada");
  EXPECT_EQ(Get("seller.country"), "CA");
  EXPECT_EQ(Get("currency"), "CAD");
  EXPECT_EQ(Get("paper.size"), "A4");
  Set("seller.country", "FR");
  EXPECT_EQ(Get("currency"), "EUR");
  Set("currency", "USD");
  EXPECT_EQ(Get("currency"), "USD");
  Set("seller.country", "");  // back to the profile's
  EXPECT_EQ(Get("seller.country"), "CA");
  SetCountry("Atlantis");
  EXPECT_EQ(Get("seller.country"), "");
  // Every setting, in name order, one row each.
  const auto rows = mgr.GetSettings(account, user, token);
  std::vector<std::string> names;
  for (const auto& row : rows->Rows()) names.push_back(CStr(row[0]));
  EXPECT_EQ(names, std::vector<std::string>(std::begin(kSettingNames), std::end(kSettingNames)));
  ExpectError([&] { Get("no.such"); }, errnum::kInvalidArgument);
}

// A database made before the settings' table gets it on first use.
TEST_F(SettingsTest, AnOlderDatabaseGetsTheTableOnFirstUse) {
  Exec("DROP TABLE FirmSetting");
  EXPECT_EQ(Get("payment.iban"), "");
  Set("payment.iban", "DE89370400440532013000");
  EXPECT_EQ(Get("payment.iban"), "DE89370400440532013000");
}

}  // namespace
}  // namespace brivos
