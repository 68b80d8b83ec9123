#include "brivos/database/internal/StatementLog.hpp"

#include <atomic>
#include <mutex>
#include <utility>

namespace brivos::internal {
namespace {

std::atomic<bool> observing{false};

std::mutex& ObserverMutex() {
  static std::mutex mutex;
  return mutex;
}

std::function<void(std::string_view)>& Observer() {
  static std::function<void(std::string_view)> observer;
  return observer;
}

}  // namespace

void ObserveStatements(std::function<void(std::string_view sql)> observer) {
  std::lock_guard<std::mutex> lock(ObserverMutex());
  observing = static_cast<bool>(observer);
  Observer() = std::move(observer);
}

void NoteStatement(std::string_view sql) {
  // The common case costs one relaxed load.
  if (!observing.load(std::memory_order_relaxed)) return;
  std::lock_guard<std::mutex> lock(ObserverMutex());
  if (Observer()) Observer()(sql);
}

}  // namespace brivos::internal
