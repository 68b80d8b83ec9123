#pragma once

// The code lists an invoice sent to another system names its parties and its
// money by: ISO 3166-1 alpha-2 country codes, ISO 4217 currency codes, and
// the checks of a bank account's IBAN and BIC.

#include <string>
#include <string_view>

namespace brivos {

// True for an ISO 3166-1 alpha-2 code in upper case ("CA", "DE").
bool IsCountryCode(std::string_view code);
// True for an ISO 4217 alphabetic code in upper case ("EUR", "CAD").
bool IsCurrencyCode(std::string_view code);

// The country code a free-text Country ("Canada", "  deutschland ", "U.S.A.",
// "fr") names, letter case and surrounding blanks ignored; "" when the text
// names no country the list knows.
std::string CountryCodeOf(std::string_view text);

// The currency of the country, where the country has one of its own or uses
// the euro ("CA" -> "CAD", "FR" -> "EUR"); "" for any other.
std::string CurrencyOfCountry(std::string_view country);

// `iban` without blanks and in upper case when it is a well-formed IBAN:
// two letters of a country, two check digits, up to 30 letters and digits,
// 15 to 34 characters in all, and the ISO 7064 mod 97 check equal to 1;
// "" otherwise.
std::string NormalIban(std::string_view iban);
// True for a BIC: four letters of the bank, two of the country, two letters
// or digits of the location, and optionally three of the branch.
bool IsBic(std::string_view bic);

}  // namespace brivos
