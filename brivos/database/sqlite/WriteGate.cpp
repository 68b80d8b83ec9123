#include "brivos/database/sqlite/WriteGate.hpp"

#include <map>
#include <utility>

#include "brivos/database/internal/DatabaseError.hpp"
#include "brivos/database/sqlite/SqliteFile.hpp"
#include "brivos/foundation/Error.hpp"

namespace brivos::internal {

std::shared_ptr<WriteGate> WriteGate::For(const DatabaseId& id) {
  static std::mutex registry_mutex;
  static std::map<std::pair<std::uint64_t, std::uint64_t>, std::weak_ptr<WriteGate>> registry;
  static std::size_t sweep_at = 64;
  std::lock_guard lock(registry_mutex);
  std::weak_ptr<WriteGate>& slot = registry[{id.device, id.serial}];
  std::shared_ptr<WriteGate> gate = slot.lock();
  if (!gate) {
    gate = std::make_shared<WriteGate>();
    slot = gate;
  }
  // Gates of files no connection holds any more are dropped now and then.
  if (registry.size() >= sweep_at) {
    std::erase_if(registry, [](const auto& entry) { return entry.second.expired(); });
    sweep_at = 2 * registry.size() + 64;
  }
  return gate;
}

void WriteGate::Enter() {
  std::unique_lock lock(mutex_);
  const std::uint64_t ticket = next_ticket_++;
  if (turn_.wait_for(lock, kBusyWait, [&] { return serving_ == ticket; })) return;
  abandoned_.insert(ticket);
  lock.unlock();
  RaiseDatabase(errnum::kDbCannotOpen, "database is locked");
}

bool WriteGate::Waiting() {
  std::lock_guard lock(mutex_);
  return next_ticket_ - serving_ > 1 + abandoned_.size();
}

void WriteGate::Leave() noexcept {
  {
    std::lock_guard lock(mutex_);
    ++serving_;
    while (abandoned_.erase(serving_) != 0) ++serving_;
  }
  turn_.notify_all();
}

}  // namespace brivos::internal
