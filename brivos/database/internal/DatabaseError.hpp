#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brivos::internal {

// The source of every error the database layer raises itself.
inline constexpr std::string_view kDatabaseSource = "BRIVOS.Database";

// Raises an error of the database layer that no backend's result code gave.
[[noreturn]] void RaiseDatabase(std::int32_t number, std::string description);

}  // namespace brivos::internal
