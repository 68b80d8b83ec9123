#pragma once

#include <string>
#include <string_view>

namespace brivos {

// Letter case folded for ASCII letters only, whatever the process's locale:
// the names of classes, members, fields and collection keys compare this way.
constexpr char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// `text` with its ASCII letters lower-cased.
std::string AsciiLowered(std::string_view text);

bool EqualsIgnoreCase(std::string_view a, std::string_view b);
bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix);

}  // namespace brivos
