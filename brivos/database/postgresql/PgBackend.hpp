#pragma once

#include <condition_variable>
#include <list>
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
//
// No lock of the backend is held while a round trip to the server runs:
// connections are taken from the pool, or opened, and checked outside it.
// The pool holds at most BRIVOS_POOL_MAX_CONNECTIONS open connections
// (default 64), idle and in use together; a caller finding them all in use
// waits a few seconds for one and then is refused with -2147467259.
class PgBackend final : public Backend {
 public:
  explicit PgBackend(std::string uri);
  ~PgBackend() override;

  DatabaseId Locate(const Variant& account) override;
  std::optional<DatabaseId> Find(const Variant& account) override;
  // An idle session that is still connected, or a new one; an idle session
  // whose server went away meanwhile is closed, never handed out.
  std::shared_ptr<Session> Connect(const DatabaseId& id) override;
  void CreateDatabase(const Variant& account, std::string_view ddl,
                      const std::function<void(Session&)>& fill) override;
  std::string ColumnDeclaration(std::string_view quoted_name, ColumnType type, int width,
                                bool default_now) const override;
  void ReleaseIdle() noexcept override;
  PoolStatistics Statistics() const override;
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
  // A connection of the URI's own user (provisioning and role lookups),
  // taken for the caller alone; handed back with GiveAdmin.
  pg_conn* TakeAdmin();
  void GiveAdmin(pg_conn* conn) noexcept;
  // Creates the shared schema brivos (types, dialect functions, the role
  // table) once per database.
  void EnsureShared(pg_conn* admin);
  // Makes room for one more open connection: closes the least recently used
  // idle one, or waits for one in use to be let go. Raises -2147467259 when
  // none is let go in time.
  void Reserve();
  void Give(PgSession* session) noexcept;

  std::string uri_;
  std::size_t max_open_;
  mutable std::mutex mutex_;
  std::condition_variable released_;
  std::vector<std::pair<pg_conn*, int>> admins_;  // idle, with the process that opened it
  bool shared_ready_ = false;
  std::unordered_map<std::string, std::string> schema_of_;  // by Account text
  std::map<std::string, Subscriber> subscribers_;
  // Idle sessions, most recently given back first.
  std::list<std::unique_ptr<PgSession>> idle_;
  std::size_t open_ = 0;  // sessions open, idle or in use
  std::uint64_t evictions_ = 0;
};

}  // namespace brivos::internal
