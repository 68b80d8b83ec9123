#pragma once

#include <cstddef>
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

// Hash and equality of texts that ignore ASCII letter case, for unordered
// containers looked up by string_view without building a lowered copy.
struct AsciiCaseHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const noexcept;
};
struct AsciiCaseEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept {
    return EqualsIgnoreCase(a, b);
  }
};
bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix);

}  // namespace brivos
