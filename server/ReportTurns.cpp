#include "server/ReportTurns.hpp"

#include "brivos/foundation/Ascii.hpp"
#include "server/Http.hpp"

namespace brivos::server {

ReportTurn::ReportTurn(ReportTurns& turns, std::string_view account_no)
    : turns_(turns), firm_(AsciiLowered(account_no)) {
  const auto now = std::chrono::steady_clock::now();
  std::lock_guard lock(turns_.mutex_);
  const auto [at, taken] = turns_.running_.try_emplace(firm_, now);
  if (taken) return;
  const auto left = at->second + turns_.budget_ - now;
  const auto seconds = std::chrono::ceil<std::chrono::seconds>(left).count();
  throw HttpError(429, "a report statement of this account is running; one runs at a time",
                  {{"Retry-After", std::to_string(std::max<long long>(1, seconds))}});
}

ReportTurn::~ReportTurn() {
  std::lock_guard lock(turns_.mutex_);
  turns_.running_.erase(firm_);
}

}  // namespace brivos::server
