#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "brivos/automation/Dispatch.hpp"

namespace brivos {

// An ordered, 1-based collection; items may also carry a key text, compared
// without regard to letter case.
class Collection final : public Dispatch<Collection> {
 public:
  static const ClassInfo& Info();

  // Raises 457 when the key is already in use.
  void Add(Variant item, const std::string& key = {});
  // Adds an item under a key the caller knows to be unused (a record's own
  // key in a list of records): nothing is checked, and the key is indexed
  // only when an item is first looked up by key.
  void AddUnique(Variant item, std::string key);
  void Reserve(std::size_t count) {
    items_.reserve(count);
    unindexed_.reserve(count);
  }
  std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }
  // Index: a number is a 1-based position (Error 9 out of range); a text is a
  // key (Error 5 when missing).
  Variant Item(const Variant& index) const;
  const std::vector<Variant>& Items() const { return items_; }

  // Typed access to item i (1-based) as record class T; nullptr if it is not one.
  template <class T>
  std::shared_ptr<T> ItemAs(std::int32_t index) const {
    return std::dynamic_pointer_cast<T>(Item(Variant(index)).AsObject());
  }

 private:
  // Moves the keys of AddUnique into the index.
  void IndexKeys() const;

  std::vector<Variant> items_;
  mutable std::unordered_map<std::string, std::size_t> keys_;  // lower-cased key -> position
  mutable std::vector<std::pair<std::string, std::size_t>> unindexed_;
};

}  // namespace brivos
