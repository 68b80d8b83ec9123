#include "brivos/database/Backend.hpp"
#include "brivos/database/sqlite/SqliteBackend.hpp"

namespace brivos {

Backend& ActiveBackend() {
  // Never destroyed: sessions may still be handed back while the program ends.
  static Backend* const backend = new internal::SqliteBackend();
  return *backend;
}

}  // namespace brivos
