#include <cstdlib>
#include <string_view>

#include "brivos/database/Backend.hpp"
#include "brivos/database/internal/DatabaseError.hpp"
#include "brivos/database/sqlite/SqliteBackend.hpp"
#include "brivos/foundation/Error.hpp"
#ifdef BRIVOS_WITH_POSTGRESQL
#include "brivos/database/postgresql/PgBackend.hpp"
#endif

namespace brivos {

namespace {

// A PostgreSQL connection URI in BRIVOS_DATABASE_URL chooses PostgreSQL;
// without one, every Account names a SQLite file.
Backend* ChooseBackend() {
  const char* url = std::getenv("BRIVOS_DATABASE_URL");
  const std::string_view text = url == nullptr ? "" : url;
  if (text.empty()) return new internal::SqliteBackend();
  if (!text.starts_with("postgresql:") && !text.starts_with("postgres:")) {
    internal::RaiseDatabase(errnum::kDbCannotOpen,
                            "BRIVOS_DATABASE_URL is no PostgreSQL connection URI.");
  }
#ifdef BRIVOS_WITH_POSTGRESQL
  return new internal::PgBackend(std::string(text));
#else
  internal::RaiseDatabase(errnum::kDbCannotOpen,
                          "This build of the library has no PostgreSQL backend (libpq was not "
                          "found when it was built).");
#endif
}

}  // namespace

Backend& ActiveBackend() {
  // Never destroyed: sessions may still be handed back while the program ends.
  static Backend* const backend = ChooseBackend();
  return *backend;
}

}  // namespace brivos
