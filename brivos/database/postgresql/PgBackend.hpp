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
// URI. An Account's number, with eight hexadecimal digits of its directory
// when it has one (so that two directories of subscribers, a deployment's
// data directory and a test's temporary one, share a database without
// meeting), is looked up in the table brivos.subscriber, which only the
// URI's own user reads; it gives the subscriber's schema, roles, their
// passwords and its lock key, all random, none spelling the number.
//
// Each subscriber has three roles of its own:
//   the owner   (no login) owns the schema and its tables; the library never
//               connects as it, so nothing the library runs changes a table;
//   the writer  the library's sessions log in as it: it reads and writes the
//               rows of the schema's tables and takes the subscriber's
//               advisory lock (through the role brivos_writer), nothing else;
//   the reader  report statements run on a connection of its own: it reads
//               views of the tables in a schema of their own (its search
//               path), each secret column a NULL, and cannot write, change
//               the schema or take a lock.
// A subscriber provisioned before there were three has one role, owner and
// writer at once, and its reports run as that role; its lock key is made
// random all the same.
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

  // The key an Account is looked up by (its number, lowered, and its
  // directory's digits); the schema name of a subscriber provisioned before
  // schemas had random names.
  static std::string SchemaOf(const Variant& account);
  // The schema of the reader views of subscriber schema `schema`.
  static std::string ReaderSchemaOf(const std::string& schema);

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
    std::string lock_key;      // the advisory lock of its units of work
    // The role report statements run as; empty for a subscriber provisioned
    // before there were readers (its reports run as `role`).
    std::string reader_role;
    std::string reader_password;
  };
  // A connection to the database as `role`, its search path `search_path`.
  pg_conn* Open(const std::string& role, const std::string& password,
                const std::string& search_path) const;
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
  // Runs the schema statement `sql` in `schema` as its owner, then makes the
  // reader's views and the roles' grants again, in one transaction.
  void ChangeSchema(const std::string& schema, const Subscriber& subscriber,
                    const std::string& sql);

  std::string uri_;
  std::size_t max_open_;
  mutable std::mutex mutex_;
  std::condition_variable released_;
  std::vector<std::pair<pg_conn*, int>> admins_;  // idle, with the process that opened it
  bool shared_ready_ = false;
  std::unordered_map<std::string, std::string> schema_of_;  // by Account text, once found
  std::map<std::string, Subscriber> subscribers_;
  // Idle sessions, most recently given back first.
  std::list<std::unique_ptr<PgSession>> idle_;
  std::size_t open_ = 0;  // sessions open, idle or in use
  std::uint64_t evictions_ = 0;
};

}  // namespace brivos::internal
