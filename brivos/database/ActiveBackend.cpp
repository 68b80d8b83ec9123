#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <string>
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

thread_local Backend* scoped = nullptr;

Backend* MakeBackend(std::string_view text) {
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

std::optional<DatabaseId> Backend::Find(const Variant& account) {
  try {
    return Locate(account);
  } catch (const Error& e) {
    if (e.Number() == errnum::kDbCannotOpen) return std::nullopt;
    throw;
  }
}

Backend& BackendFor(std::string_view url) {
  // Never destroyed: sessions may still be handed back while the program ends.
  static std::mutex mutex;
  static auto* const made = new std::map<std::string, Backend*, std::less<>>();
  std::lock_guard lock(mutex);
  if (const auto found = made->find(url); found != made->end()) return *found->second;
  Backend* backend = MakeBackend(url);
  made->emplace(std::string(url), backend);
  return *backend;
}

Backend& DefaultBackend() {
  // A PostgreSQL connection URI in BRIVOS_DATABASE_URL chooses PostgreSQL;
  // without one, every Account names a SQLite file.
  static Backend& backend = []() -> Backend& {
    const char* url = std::getenv("BRIVOS_DATABASE_URL");
    return BackendFor(url == nullptr ? "" : url);
  }();
  return backend;
}

Backend& ActiveBackend() { return scoped != nullptr ? *scoped : DefaultBackend(); }

BackendScope::BackendScope(Backend& backend) noexcept : previous_(scoped) { scoped = &backend; }

BackendScope::~BackendScope() { scoped = previous_; }

}  // namespace brivos
