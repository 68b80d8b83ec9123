#include "brivos/security/Guid.hpp"

#include <sys/random.h>

#include <array>
#include <cstdint>
#include <cstdio>

namespace brivos {

std::string CreateGUIDString() {
  std::array<std::uint8_t, 16> bytes{};
  std::size_t got = 0;
  while (got < bytes.size()) {
    ssize_t n = getrandom(bytes.data() + got, bytes.size() - got, 0);
    if (n <= 0) return "00000000";
    got += static_cast<std::size_t>(n);
  }
  // Version 4, variant 1, as a newly created GUID carries.
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);
  char text[33];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(text + 2 * i, 3, "%02X", static_cast<unsigned>(bytes[i]));
  }
  return std::string(text, 32);
}

}  // namespace brivos
