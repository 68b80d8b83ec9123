#include "brivos/automation/Collection.hpp"

#include <utility>

#include "brivos/automation/ClassRegistry.hpp"
#include "brivos/foundation/Error.hpp"
#include "brivos/foundation/Variant.hpp"

namespace brivos {

namespace {

constexpr std::int32_t kDuplicateKey = 457;

}  // namespace

BRIVOS_REGISTER_CLASS(kHelper, Collection);

const ClassInfo& Collection::Info() {
  static const ClassInfo info("Collection", false, nullptr,
                              {
                                  {"Count",
                                   {},
                                   [](Object& o, std::vector<Variant>&) {
                                     return Variant(static_cast<Collection&>(o).Count());
                                   }},
                                  {"Item",
                                   {"Index"},
                                   [](Object& o, std::vector<Variant>& a) {
                                     return static_cast<Collection&>(o).Item(a[0]);
                                   }},
                              });
  return info;
}

void Collection::IndexKeys() const {
  if (unindexed_.empty()) return;
  keys_.reserve(keys_.size() + unindexed_.size());
  for (auto& [key, position] : unindexed_) keys_.try_emplace(AsciiLowered(key), position);
  unindexed_.clear();
  unindexed_.shrink_to_fit();
}

void Collection::AddUnique(Variant item, std::string key) {
  unindexed_.emplace_back(std::move(key), items_.size());
  try {
    items_.push_back(std::move(item));
  } catch (...) {
    unindexed_.pop_back();
    throw;
  }
}

void Collection::Add(Variant item, const std::string& key) {
  if (!key.empty()) {
    IndexKeys();
    auto [it, inserted] = keys_.try_emplace(AsciiLowered(key), items_.size());
    if (!inserted) RaiseRuntime(kDuplicateKey);
    try {
      items_.push_back(std::move(item));
    } catch (...) {
      keys_.erase(it);
      throw;
    }
    return;
  }
  items_.push_back(std::move(item));
}

Variant Collection::Item(const Variant& index) const {
  if (index.Type() == VarType::String) {
    IndexKeys();
    const auto it = keys_.find(AsciiLowered(index.AsString()));
    if (it == keys_.end()) RaiseRuntime(errnum::kInvalidArgument);
    return items_[it->second];
  }
  // Any number (and a date, which is one) is a position; CLng raises for the rest.
  const std::int32_t position = CLng(index);
  if (position < 1 || position > Count()) RaiseRuntime(errnum::kSubscriptOutOfRange);
  return items_[static_cast<std::size_t>(position - 1)];
}

}  // namespace brivos
