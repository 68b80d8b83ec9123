#include "brivos/account/CSettingsMgr.hpp"

#include <algorithm>
#include <map>

#include "brivos/account/CodeLists.hpp"
#include "brivos/database/Database.hpp"
#include "brivos/foundation/Ascii.hpp"
#include "brivos/foundation/Error.hpp"
#include "brivos/records/ISubscriberLocation.hpp"
#include "brivos/records/Record.hpp"
#include "brivos/security/internal/InternalTables.hpp"

namespace brivos {

BRIVOS_REGISTER_CLASS(kManager, CSettingsMgr);

namespace {

constexpr std::size_t kValueWidth = 255;

const RecordSchema& FirmSettingSchema() {
  static const RecordSchema schema(
      "FirmSetting",
      {{"FirmSettingID", "FirmSettingID", ColumnType::Key, 0, kNoFlags},
       {"Name", "Name", ColumnType::Text, 64, kIndexed},
       {"Value", "Value", ColumnType::Text, static_cast<int>(kValueWidth), kNoFlags}},
      {}, nullptr);
  return schema;
}

[[maybe_unused]] const bool kRegistered = RegisterRecordSchema(&FirmSettingSchema);

// The setting's name as listed, or nullptr.
const char* SettingName(std::string_view name) {
  for (const char* known : kSettingNames) {
    if (EqualsIgnoreCase(known, name)) return known;
  }
  return nullptr;
}

const char* KnownName(const Variant& name) {
  const std::string text = CStr(name);
  const char* known = SettingName(text);
  if (known == nullptr) {
    std::string names;
    for (const char* n : kSettingNames) names += (names.empty() ? "" : ", ") + std::string(n);
    Raise(errnum::kInvalidArgument, "'" + text + "' is not a setting; the settings are " + names);
  }
  return known;
}

std::string Upper(std::string_view text) {
  std::string out;
  for (char c : text) out += AsciiUpper(c);
  return out;
}

[[noreturn]] void Refuse(const std::string& name, const std::string& value,
                         const std::string& why) {
  Raise(errnum::kInvalidArgument, name + "='" + value + "' is refused: " + why);
}

// The value as stored for `name`, or a refusal.
std::string Normal(const std::string& name, std::string value) {
  while (!value.empty() && value.back() == ' ') value.pop_back();
  value.erase(0, value.find_first_not_of(' '));
  if (value.size() > kValueWidth)
    Refuse(name, value.substr(0, 40) + "...", "longer than 255 characters");
  if (std::any_of(value.begin(), value.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; })) {
    Refuse(name, value, "it holds a control character");
  }
  if (value.empty()) return value;
  if (name == "seller.country") {
    if (!IsCountryCode(Upper(value))) Refuse(name, value, "not an ISO 3166 alpha-2 country code");
    return Upper(value);
  }
  if (name == "currency") {
    if (!IsCurrencyCode(Upper(value))) Refuse(name, value, "not an ISO 4217 currency code");
    return Upper(value);
  }
  if (name == "payment.iban") {
    std::string iban = NormalIban(value);
    if (iban.empty()) Refuse(name, value, "not an IBAN (its check digits do not match)");
    return iban;
  }
  if (name == "payment.bic") {
    if (!IsBic(Upper(value))) Refuse(name, value, "not a BIC (8 or 11 letters and digits)");
    return Upper(value);
  }
  if (name == "seller.vat_id") {
    // A country prefix and 2 to 18 letters and digits: "DE123456789".
    const std::string id = Upper(value);
    const bool ok = id.size() >= 4 && id.size() <= 20 && id[0] >= 'A' && id[0] <= 'Z' &&
                    id[1] >= 'A' && id[1] <= 'Z' &&
                    std::all_of(id.begin() + 2, id.end(), [](char c) {
                      return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
                             c == '*' || c == '.';
                    });
    if (!ok) Refuse(name, value, "a VAT number is a country prefix and 2 to 18 letters and digits");
    return id;
  }
  if (name == "paper.size") {
    if (EqualsIgnoreCase(value, "A4")) return "A4";
    if (EqualsIgnoreCase(value, "Letter")) return "Letter";
    Refuse(name, value, "the paper is A4 or Letter");
  }
  return value;  // seller.registration_id
}

std::map<std::string, std::string> Stored(const Variant& account) {
  return internal::WithTable(account, FirmSettingSchema(), [&] {
    std::map<std::string, std::string> out;
    const auto rows = Connection::Open(account).Query("SELECT Name, Value FROM FirmSetting;");
    for (const auto& row : rows->Rows()) {
      if (const char* name = SettingName(CStr(row[0]))) out[name] = CStr(row[1]);
    }
    return out;
  });
}

// Every setting, the defaults filled in.
std::map<std::string, std::string> WithDefaults(const Variant& account) {
  std::map<std::string, std::string> values = Stored(account);
  for (const char* name : kSettingNames) values.try_emplace(name);
  if (values["seller.country"].empty()) {
    using L = ISubscriberLocation;
    const auto primary = L::Select(account, "IsPrimary=?", {L::P(L::kIsPrimary, true)});
    if (primary->Count() > 0) {
      const Variant country = primary->ItemAs<ISubscriberLocation>(1)->Country();
      if (!country.IsNull()) values["seller.country"] = CountryCodeOf(CStr(country));
    }
  }
  if (values["currency"].empty()) values["currency"] = CurrencyOfCountry(values["seller.country"]);
  if (values["paper.size"].empty()) values["paper.size"] = "A4";
  return values;
}

}  // namespace

std::string NormalSetting(const std::string& name, const std::string& value) {
  return Normal(KnownName(Variant(name)), value);
}

BRIVOS_METHOD(CSettingsMgr, GetSettings) {
  auto out = std::make_shared<Recordset>(std::vector<std::string>{"Name", "Value"});
  for (const auto& [name, value] : WithDefaults(a.Account))
    out->AddRow({Variant(name), Variant(value)});
  out->MoveFirst();
  return out;
}

BRIVOS_METHOD(CSettingsMgr, GetSetting) { return WithDefaults(a.Account)[KnownName(a.Name)]; }

BRIVOS_METHOD(CSettingsMgr, SetSetting) {
  internal::WithTable(a.Account, FirmSettingSchema(), [&] {
    // The database first: a file that cannot be opened is refused as such,
    // whatever the arguments.
    UnitOfWork work(a.Account);
    const std::string name = KnownName(a.Name);
    const std::string value = Normal(name, a.Value.IsNull() ? std::string() : CStr(a.Value));
    work.Db().Execute("DELETE FROM FirmSetting WHERE Name=?;", {Parameter::Text(name)});
    if (!value.empty()) {
      work.Db().Execute("INSERT INTO FirmSetting (Name, Value) VALUES (?,?);",
                        {Parameter::Text(name), Parameter::Text(value)});
    }
    work.Commit();
  });
}

}  // namespace brivos
