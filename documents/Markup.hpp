#pragma once

// Text as the character data of HTML or XML, for the documents of this room.

#include <string>
#include <string_view>

namespace brivos::documents {

// Markup escaped; control characters (which XML 1.0 cannot carry and HTML
// shows as nothing) as blanks, line breaks and tabs kept.
inline std::string MarkupText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t' ? ' ' : c;
    }
  }
  return out;
}

}  // namespace brivos::documents
