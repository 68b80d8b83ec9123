#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>

#include "brivos/database/Backend.hpp"

namespace brivos::internal {

// The turn to write one subscriber file, within this process. SQLite lets
// one writer at a time into a file and has the others poll with sleeps, so
// a writer that commits and begins again at once can keep the lock from a
// waiting one for as long as it runs. Writers of this process take turns
// here instead, in the order they asked; between processes SQLite's lock
// and busy handler still decide.
class WriteGate {
 public:
  // The gate of the file `id` names, shared by every connection to it.
  static std::shared_ptr<WriteGate> For(const DatabaseId& id);

  // Waits until every writer that asked earlier has left. Raises
  // -2147467259 after as long as a writer waits for another process's lock
  // (a writer holding the turn for that long is stuck), leaving its place.
  void Enter();
  void Leave() noexcept;
  // True when a writer waits behind the one holding the turn.
  bool Waiting();

 private:
  std::mutex mutex_;
  std::condition_variable turn_;
  std::uint64_t next_ticket_ = 0;
  std::uint64_t serving_ = 0;
  // Tickets of writers that gave up waiting, skipped when their turn comes.
  std::set<std::uint64_t> abandoned_;
};

// Holds a gate's turn for a scope; holds nothing when given no gate.
class WriteTurn {
 public:
  explicit WriteTurn(WriteGate* gate) : gate_(gate) {
    if (gate_ != nullptr) gate_->Enter();
  }
  WriteTurn(const WriteTurn&) = delete;
  WriteTurn& operator=(const WriteTurn&) = delete;
  ~WriteTurn() {
    if (gate_ != nullptr) gate_->Leave();
  }

 private:
  WriteGate* gate_;
};

}  // namespace brivos::internal
