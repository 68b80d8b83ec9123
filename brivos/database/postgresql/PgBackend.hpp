#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "brivos/database/Backend.hpp"

struct pg_conn;

namespace brivos::internal {

class PgSession;

// Subscribers as schemas of one PostgreSQL database, named by a connection
// URI. An Account's number names its schema; an Account path with a
// directory part adds eight hexadecimal digits of that directory, so that
// two directories of subscribers (a deployment's data directory, a test's
// temporary one) share a database without meeting. Each schema belongs to a
// login role of its own, the only role that can reach it; the library's
// sessions for the account log in as that role. The roles' passwords are
// kept in the table brivos.subscriber, which only the URI's own user reads.
class PgBackend final : public Backend {
 public:
  explicit PgBackend(std::string uri);
  ~PgBackend() override;

  DatabaseId Locate(const Variant& account) override;
  std::optional<DatabaseId> Find(const Variant& account) override;
  std::shared_ptr<Session> Connect(const DatabaseId& id) override;
  void CreateDatabase(const Variant& account, std::string_view ddl,
                      const std::function<void(Session&)>& fill) override;
  std::string ColumnDeclaration(std::string_view quoted_name, ColumnType type, int width,
                                bool default_now) const override;
  void ReleaseIdle() noexcept override;
  std::size_t DescriptorsAtMost() const override;

  // The schema an Account names.
  static std::string SchemaOf(const Variant& account);

  // Calls `provision`, which creates one database on this thread through
  // CreateDatabase, and runs `more` on that database's creating session
  // after its first rows, in the same transaction: when either raises, no
  // schema, role or row of the database is left. Raises -2147467259 when
  // `provision` returns without creating a database.
  static void CreateWith(const std::function<void()>& provision,
                         const std::function<void(Session&)>& more);

 private:
  struct Subscriber {
    std::string role;
    std::string password;
    std::uint64_t serial = 0;  // the schema's object id
  };
  // The connection of the URI's own user (provisioning and role lookups);
  // opened again after a fork. Called with mutex_ held.
  pg_conn* Admin();
  // Creates the shared schema brivos (types, dialect functions, the role
  // table) once per database. Called with mutex_ held.
  void EnsureShared(pg_conn* admin);
  void Give(PgSession* session) noexcept;

  std::string uri_;
  std::mutex mutex_;
  pg_conn* admin_ = nullptr;
  int admin_pid_ = 0;
  bool shared_ready_ = false;
  std::unordered_map<std::string, std::string> schema_of_;  // by Account text
  std::map<std::string, Subscriber> subscribers_;
  std::map<std::string, std::vector<std::unique_ptr<PgSession>>> idle_;
  std::size_t idle_count_ = 0;
};

}  // namespace brivos::internal
