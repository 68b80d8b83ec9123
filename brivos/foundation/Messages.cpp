#include "brivos/foundation/Messages.hpp"

#include <string>

namespace brivos {

std::string ReplaceToken(const Variant& text, const Variant& token, const Variant& value) {
  std::string result = CStr(text);
  if (value.IsNull()) return result;
  const std::string needle = CStr(token);
  if (needle.empty()) return result;
  const std::string insert = CStr(value);
  std::size_t pos = result.find(needle);
  while (pos != std::string::npos) {
    result.replace(pos, needle.size(), insert);
    pos = result.find(needle, pos + insert.size());
  }
  return result;
}

std::string FillMessage(const Variant& templ, const Variant& value1, const Variant& value2,
                        const Variant& value3) {
  std::string message = CStr(templ);
  message = ReplaceToken(message, "%1", value1);
  message = ReplaceToken(message, "%2", value2);
  message = ReplaceToken(message, "%3", value3);
  return message;
}

}  // namespace brivos
