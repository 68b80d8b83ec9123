#include "brivos/account/CodeLists.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>
#include <utility>

#include "brivos/foundation/Ascii.hpp"

namespace brivos {
namespace {

// ISO 3166-1 alpha-2, as the EN 16931 code lists publish it, with XI
// (Northern Ireland) for VAT.
constexpr std::string_view kCountries =
    " AD AE AF AG AI AL AM AO AQ AR AS AT AU AW AX AZ BA BB BD BE BF BG BH BI BJ BL BM BN BO BQ"
    " BR BS BT BV BW BY BZ CA CC CD CF CG CH CI CK CL CM CN CO CR CU CV CW CX CY CZ DE DJ DK DM"
    " DO DZ EC EE EG EH ER ES ET FI FJ FK FM FO FR GA GB GD GE GF GG GH GI GL GM GN GP GQ GR GS"
    " GT GU GW GY HK HM HN HR HT HU ID IE IL IM IN IO IQ IR IS IT JE JM JO JP KE KG KH KI KM KN"
    " KP KR KW KY KZ LA LB LC LI LK LR LS LT LU LV LY MA MC MD ME MF MG MH MK ML MM MN MO MP MQ"
    " MR MS MT MU MV MW MX MY MZ NA NC NE NF NG NI NL NO NP NR NU NZ OM PA PE PF PG PH PK PL PM"
    " PN PR PS PT PW PY QA RE RO RS RU RW SA SB SC SD SE SG SH SI SJ SK SL SM SN SO SR SS ST SV"
    " SX SY SZ TC TD TF TG TH TJ TK TL TM TN TO TR TT TV TW TZ UA UG UM US UY UZ VA VC VE VG VI"
    " VN VU WF WS XI YE YT ZA ZM ZW ";

// ISO 4217 alphabetic codes of currencies in use (no test, fund or metal codes).
constexpr std::string_view kCurrencies =
    " AED AFN ALL AMD AOA ARS AUD AWG AZN BAM BBD BDT BHD BIF BMD BND BOB BRL BSD BTN BWP BYN"
    " BZD CAD CDF CHF CLP CNY COP CRC CUP CVE CZK DJF DKK DOP DZD EGP ERN ETB EUR FJD FKP GBP"
    " GEL GHS GIP GMD GNF GTQ GYD HKD HNL HTG HUF IDR ILS INR IQD IRR ISK JMD JOD JPY KES KGS"
    " KHR KMF KPW KRW KWD KYD KZT LAK LBP LKR LRD LSL LYD MAD MDL MGA MKD MMK MNT MOP MRU MUR"
    " MVR MWK MXN MYR MZN NAD NGN NIO NOK NPR NZD OMR PAB PEN PGK PHP PKR PLN PYG QAR RON RSD"
    " RUB RWF SAR SBD SCR SDG SEK SGD SHP SLE SOS SRD SSP STD STN SVC SYP SZL THB TJS TMT TND TOP"
    " TRY TTD TWD TZS UAH UGX USD UYU UZS VES VND VUV WST XAF XCD XOF XPF YER ZAR ZMW ZWG ";

// Names a Country text is commonly written with, in lower case.
constexpr std::pair<std::string_view, std::string_view> kCountryNames[] = {
    {"andorra", "AD"},
    {"united arab emirates", "AE"},
    {"afghanistan", "AF"},
    {"albania", "AL"},
    {"armenia", "AM"},
    {"angola", "AO"},
    {"argentina", "AR"},
    {"austria", "AT"},
    {"österreich", "AT"},
    {"australia", "AU"},
    {"azerbaijan", "AZ"},
    {"bosnia and herzegovina", "BA"},
    {"barbados", "BB"},
    {"bangladesh", "BD"},
    {"belgium", "BE"},
    {"belgique", "BE"},
    {"belgië", "BE"},
    {"bulgaria", "BG"},
    {"bahrain", "BH"},
    {"bermuda", "BM"},
    {"bolivia", "BO"},
    {"brazil", "BR"},
    {"brasil", "BR"},
    {"bahamas", "BS"},
    {"belarus", "BY"},
    {"belize", "BZ"},
    {"canada", "CA"},
    {"switzerland", "CH"},
    {"schweiz", "CH"},
    {"suisse", "CH"},
    {"chile", "CL"},
    {"cameroon", "CM"},
    {"china", "CN"},
    {"colombia", "CO"},
    {"costa rica", "CR"},
    {"cuba", "CU"},
    {"cyprus", "CY"},
    {"czech republic", "CZ"},
    {"czechia", "CZ"},
    {"germany", "DE"},
    {"deutschland", "DE"},
    {"denmark", "DK"},
    {"danmark", "DK"},
    {"dominican republic", "DO"},
    {"algeria", "DZ"},
    {"ecuador", "EC"},
    {"estonia", "EE"},
    {"egypt", "EG"},
    {"spain", "ES"},
    {"españa", "ES"},
    {"ethiopia", "ET"},
    {"finland", "FI"},
    {"suomi", "FI"},
    {"fiji", "FJ"},
    {"france", "FR"},
    {"united kingdom", "GB"},
    {"uk", "GB"},
    {"u.k.", "GB"},
    {"great britain", "GB"},
    {"england", "GB"},
    {"scotland", "GB"},
    {"wales", "GB"},
    {"georgia", "GE"},
    {"ghana", "GH"},
    {"greece", "GR"},
    {"guatemala", "GT"},
    {"hong kong", "HK"},
    {"honduras", "HN"},
    {"croatia", "HR"},
    {"hrvatska", "HR"},
    {"haiti", "HT"},
    {"hungary", "HU"},
    {"magyarország", "HU"},
    {"indonesia", "ID"},
    {"ireland", "IE"},
    {"éire", "IE"},
    {"israel", "IL"},
    {"india", "IN"},
    {"iraq", "IQ"},
    {"iran", "IR"},
    {"iceland", "IS"},
    {"italy", "IT"},
    {"italia", "IT"},
    {"jamaica", "JM"},
    {"jordan", "JO"},
    {"japan", "JP"},
    {"kenya", "KE"},
    {"cambodia", "KH"},
    {"south korea", "KR"},
    {"korea", "KR"},
    {"kuwait", "KW"},
    {"kazakhstan", "KZ"},
    {"lebanon", "LB"},
    {"liechtenstein", "LI"},
    {"sri lanka", "LK"},
    {"lithuania", "LT"},
    {"luxembourg", "LU"},
    {"latvia", "LV"},
    {"morocco", "MA"},
    {"monaco", "MC"},
    {"moldova", "MD"},
    {"montenegro", "ME"},
    {"madagascar", "MG"},
    {"north macedonia", "MK"},
    {"mongolia", "MN"},
    {"malta", "MT"},
    {"mauritius", "MU"},
    {"mexico", "MX"},
    {"méxico", "MX"},
    {"malaysia", "MY"},
    {"mozambique", "MZ"},
    {"namibia", "NA"},
    {"nigeria", "NG"},
    {"nicaragua", "NI"},
    {"netherlands", "NL"},
    {"the netherlands", "NL"},
    {"nederland", "NL"},
    {"holland", "NL"},
    {"norway", "NO"},
    {"norge", "NO"},
    {"nepal", "NP"},
    {"new zealand", "NZ"},
    {"oman", "OM"},
    {"panama", "PA"},
    {"peru", "PE"},
    {"philippines", "PH"},
    {"pakistan", "PK"},
    {"poland", "PL"},
    {"polska", "PL"},
    {"puerto rico", "PR"},
    {"portugal", "PT"},
    {"paraguay", "PY"},
    {"qatar", "QA"},
    {"romania", "RO"},
    {"românia", "RO"},
    {"serbia", "RS"},
    {"russia", "RU"},
    {"russian federation", "RU"},
    {"rwanda", "RW"},
    {"saudi arabia", "SA"},
    {"sudan", "SD"},
    {"sweden", "SE"},
    {"sverige", "SE"},
    {"singapore", "SG"},
    {"slovenia", "SI"},
    {"slovenija", "SI"},
    {"slovakia", "SK"},
    {"slovensko", "SK"},
    {"san marino", "SM"},
    {"senegal", "SN"},
    {"el salvador", "SV"},
    {"thailand", "TH"},
    {"tunisia", "TN"},
    {"turkey", "TR"},
    {"türkiye", "TR"},
    {"trinidad and tobago", "TT"},
    {"taiwan", "TW"},
    {"tanzania", "TZ"},
    {"ukraine", "UA"},
    {"uganda", "UG"},
    {"united states", "US"},
    {"united states of america", "US"},
    {"usa", "US"},
    {"u.s.a.", "US"},
    {"us", "US"},
    {"u.s.", "US"},
    {"america", "US"},
    {"uruguay", "UY"},
    {"uzbekistan", "UZ"},
    {"vatican city", "VA"},
    {"venezuela", "VE"},
    {"vietnam", "VN"},
    {"viet nam", "VN"},
    {"yemen", "YE"},
    {"south africa", "ZA"},
    {"zambia", "ZM"},
    {"zimbabwe", "ZW"},
};

// Countries whose currency is the euro.
constexpr std::string_view kEuroCountries =
    " AD AT BE BG CY DE EE ES FI FR GR HR IE IT LT LU LV MC MT NL PT SI SK SM VA ";

constexpr std::pair<std::string_view, std::string_view> kOwnCurrencies[] = {
    {"AU", "AUD"}, {"CA", "CAD"}, {"CH", "CHF"}, {"CZ", "CZK"}, {"DK", "DKK"},
    {"GB", "GBP"}, {"HU", "HUF"}, {"IS", "ISK"}, {"JP", "JPY"}, {"LI", "CHF"},
    {"MX", "MXN"}, {"NO", "NOK"}, {"NZ", "NZD"}, {"PL", "PLN"}, {"RO", "RON"},
    {"SE", "SEK"}, {"US", "USD"}, {"XI", "GBP"}, {"ZA", "ZAR"}};

// True when `code` is `letters` upper-case ASCII letters listed in `list`.
bool Listed(std::string_view list, std::string_view code, std::size_t letters) {
  if (code.size() != letters) return false;
  if (!std::all_of(code.begin(), code.end(), [](char c) { return c >= 'A' && c <= 'Z'; })) {
    return false;
  }
  return list.find(" " + std::string(code) + " ") != std::string_view::npos;
}

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

bool IsCountryCode(std::string_view code) { return Listed(kCountries, code, 2); }

bool IsCurrencyCode(std::string_view code) { return Listed(kCurrencies, code, 3); }

std::string CountryCodeOf(std::string_view text) {
  text = Trimmed(text);
  std::string upper;
  for (char c : text) upper += AsciiUpper(c);
  if (IsCountryCode(upper) && upper != "US") return upper;  // "us" is a name too
  // Lower case for ASCII and for the accented capitals of Latin-1 ("Ö").
  std::string lower = AsciiLowered(text);
  for (std::size_t i = 0; i + 1 < lower.size(); ++i) {
    const auto lead = static_cast<unsigned char>(lower[i]);
    const auto next = static_cast<unsigned char>(lower[i + 1]);
    if (lead == 0xC3 && next >= 0x80 && next <= 0x9E && next != 0x97) {
      lower[i + 1] = static_cast<char>(next + 0x20);
    }
  }
  for (const auto& [name, code] : kCountryNames) {
    if (lower == name) return std::string(code);
  }
  return {};
}

std::string CurrencyOfCountry(std::string_view country) {
  if (Listed(kEuroCountries, country, 2)) return "EUR";
  for (const auto& [code, currency] : kOwnCurrencies) {
    if (code == country) return std::string(currency);
  }
  return {};
}

std::string NormalIban(std::string_view iban) {
  std::string text;
  for (char c : iban) {
    if (c == ' ') continue;
    if (!std::isalnum(static_cast<unsigned char>(c))) return {};
    text += AsciiUpper(c);
  }
  if (text.size() < 15 || text.size() > 34) return {};
  if (!IsCountryCode(text.substr(0, 2)) || !std::isdigit(static_cast<unsigned char>(text[2])) ||
      !std::isdigit(static_cast<unsigned char>(text[3]))) {
    return {};
  }
  // The first four characters moved to the end, letters as 10..35, mod 97.
  const std::string moved = text.substr(4) + text.substr(0, 4);
  int remainder = 0;
  for (char c : moved) {
    const int value = c >= 'A' ? c - 'A' + 10 : c - '0';
    remainder = value >= 10 ? (remainder * 100 + value) % 97 : (remainder * 10 + value) % 97;
  }
  return remainder == 1 ? text : std::string();
}

bool IsBic(std::string_view bic) {
  if (bic.size() != 8 && bic.size() != 11) return false;
  const auto letter = [](char c) { return c >= 'A' && c <= 'Z'; };
  const auto alnum = [&](char c) { return letter(c) || (c >= '0' && c <= '9'); };
  for (std::size_t i = 0; i < bic.size(); ++i) {
    if (i < 4 ? !letter(bic[i]) : !alnum(bic[i])) return false;
  }
  return IsCountryCode(bic.substr(4, 2));
}

}  // namespace brivos
