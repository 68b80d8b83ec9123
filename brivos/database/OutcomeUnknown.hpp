#pragma once

#include <cstdint>
#include <string_view>

namespace brivos {

namespace errnum {
// A commit was sent to a database server and its answer lost with the
// connection: the change may have been made or not. A caller looks before it
// does the change again.
inline constexpr std::int32_t kDbOutcomeUnknown = -2147168242;  // 0x8004D00E
}  // namespace errnum

// The description of kDbOutcomeUnknown.
inline constexpr std::string_view kOutcomeUnknownMessage =
    "the outcome of the last change is unknown";

}  // namespace brivos
