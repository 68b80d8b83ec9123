#include "brivos/database/postgresql/PgBackend.hpp"

#include <fcntl.h>
#include <libpq-fe.h>
#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <utility>

#include "brivos/database/Database.hpp"
#include "brivos/database/postgresql/PgError.hpp"
#include "brivos/database/postgresql/PgSession.hpp"
#include "brivos/database/postgresql/PgText.hpp"
#include "brivos/foundation/Ascii.hpp"
#include "brivos/foundation/Error.hpp"

namespace brivos::internal {

namespace {

// What CreateWith adds to the database this thread creates next.
thread_local const std::function<void(Session&)>* t_more = nullptr;

constexpr std::size_t kMaxIdlePerSchema = 16;
constexpr std::size_t kMaxNamedAccounts = 4096;
constexpr std::size_t kMaxIdle = 128;

// Taken by whoever creates shared objects or a subscriber, so that two
// processes provisioning at once take turns.
constexpr const char* kProvisioningLock = "SELECT pg_advisory_xact_lock(2147221504)";

constexpr const char* kSharedSchema = R"sql(
CREATE SCHEMA IF NOT EXISTS brivos;
CREATE EXTENSION IF NOT EXISTS citext SCHEMA brivos;
DO $$ BEGIN
  IF to_regtype('brivos.brivos_date') IS NULL THEN
    CREATE DOMAIN brivos.brivos_date AS double precision;
  END IF;
  IF to_regtype('brivos.brivos_boolean') IS NULL THEN
    CREATE DOMAIN brivos.brivos_boolean AS integer;
  END IF;
  IF to_regtype('brivos.brivos_currency') IS NULL THEN
    CREATE DOMAIN brivos.brivos_currency AS numeric(19,4);
  END IF;
END $$;
CREATE OR REPLACE FUNCTION brivos.now_serial() RETURNS double precision LANGUAGE sql STABLE AS
  $$SELECT coalesce(nullif(current_setting('brivos.now', true), '')::double precision,
    round((extract(epoch FROM localtimestamp)::double precision / 86400 + 25569) * 86400) / 86400)$$;
CREATE OR REPLACE FUNCTION brivos.cdate(text) RETURNS double precision LANGUAGE sql STABLE STRICT AS
  $$SELECT extract(epoch FROM $1::timestamp)::double precision / 86400 + 25569$$;
CREATE OR REPLACE FUNCTION brivos.cdate(double precision) RETURNS double precision
  LANGUAGE sql IMMUTABLE STRICT AS $$SELECT $1$$;
CREATE OR REPLACE FUNCTION brivos.ucase(text) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS
  $$SELECT upper($1)$$;
CREATE OR REPLACE FUNCTION brivos.lcase(text) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS
  $$SELECT lower($1)$$;
CREATE OR REPLACE FUNCTION brivos.len(text) RETURNS integer LANGUAGE sql IMMUTABLE STRICT AS
  $$SELECT length($1)$$;
CREATE OR REPLACE FUNCTION brivos.mid(text, integer) RETURNS text LANGUAGE sql IMMUTABLE STRICT AS
  $$SELECT substr($1, $2)$$;
CREATE OR REPLACE FUNCTION brivos.mid(text, integer, integer) RETURNS text
  LANGUAGE sql IMMUTABLE STRICT AS $$SELECT substr($1, $2, $3)$$;
CREATE TABLE IF NOT EXISTS brivos.subscriber (
  schema_name text PRIMARY KEY, role_name text NOT NULL, password text NOT NULL);
ALTER TABLE brivos.subscriber ADD COLUMN IF NOT EXISTS account text UNIQUE;
ALTER TABLE brivos.subscriber ADD COLUMN IF NOT EXISTS lock_key bigint;
ALTER TABLE brivos.subscriber ADD COLUMN IF NOT EXISTS reader_role text;
ALTER TABLE brivos.subscriber ADD COLUMN IF NOT EXISTS reader_password text;
REVOKE ALL ON brivos.subscriber FROM PUBLIC;
GRANT USAGE ON SCHEMA brivos TO PUBLIC;
-- Advisory locks, which serialise each subscriber's units of work, are for
-- the subscribers' own roles, never for a report's reader; nor is the list
-- of locks held. Left as they are where the URI's user may not change them.
DO $$ BEGIN
  IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'brivos_writer') THEN
    CREATE ROLE brivos_writer NOLOGIN;
  END IF;
EXCEPTION WHEN unique_violation OR duplicate_object THEN NULL;
END $$;
DO $$ DECLARE f regprocedure; BEGIN
  FOR f IN SELECT p.oid::regprocedure FROM pg_proc p
           WHERE p.pronamespace = 'pg_catalog'::regnamespace
             AND (p.proname LIKE 'pg\_%advisory\_%' OR p.proname = 'pg_lock_status') LOOP
    EXECUTE format('REVOKE EXECUTE ON FUNCTION %s FROM PUBLIC', f);
    EXECUTE format('GRANT EXECUTE ON FUNCTION %s TO brivos_writer', f);
  END LOOP;
EXCEPTION WHEN insufficient_privilege THEN NULL;
END $$;
DO $$ DECLARE r text; BEGIN
  FOR r IN SELECT role_name FROM brivos.subscriber WHERE reader_role IS NULL LOOP
    BEGIN
      EXECUTE format('GRANT brivos_writer TO %I', r);
    EXCEPTION WHEN undefined_object THEN NULL;
    END;
  END LOOP;
END $$;
DO $$ BEGIN
  EXECUTE format('REVOKE TEMPORARY ON DATABASE %I FROM PUBLIC', current_database());
EXCEPTION WHEN insufficient_privilege THEN NULL;
END $$;
)sql";

void Simple(PGconn* conn, const std::string& sql) {
  ResultHolder result{PQexec(conn, sql.c_str())};
  CheckPg(conn, result.r, sql);
}

// The rows of `sql` with `arg` as its one parameter ($1); a failure raised
// as `what`'s.
ResultHolder QueryWith(PGconn* conn, const char* sql, const std::string& arg, const char* what) {
  const char* values[] = {arg.c_str()};
  ResultHolder result{PQexecParams(conn, sql, 1, nullptr, values, nullptr, nullptr, 0)};
  CheckPg(conn, result.r, what);
  return result;
}

std::uint32_t Fnv1a(std::string_view text) {
  std::uint32_t h = 2166136261u;
  for (char c : text) {
    h ^= static_cast<unsigned char>(c);
    h *= 16777619u;
  }
  return h;
}

std::string Hex8(std::uint32_t v) {
  char buf[9];
  std::snprintf(buf, sizeof buf, "%08x", v);
  return buf;
}

std::string RandomHex(int bytes) {
  std::string out;
  unsigned char buf[32];
  if (::getrandom(buf, static_cast<std::size_t>(bytes), 0) != bytes) {
    RaiseDatabase(errnum::kDbFailure, "The operating system gave no random bytes.");
  }
  for (int i = 0; i < bytes; ++i) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", buf[i]);
    out += two;
  }
  return out;
}

// A lock key no subscriber can work out for another: 63 random bits.
std::string RandomLockKey() {
  std::uint64_t key = 0;
  if (::getrandom(&key, sizeof key, 0) != static_cast<ssize_t>(sizeof key)) {
    RaiseDatabase(errnum::kDbFailure, "The operating system gave no random bytes.");
  }
  return std::to_string(static_cast<std::int64_t>(key >> 1));
}

// The reader views of the tables in `schema`, made in `views`: each table's
// columns as they are, a secret column as a NULL of its type, spelled as
// the table spells them. Run as the tables' owner.
std::string ReaderViews(PGconn* admin, const std::string& schema, const std::string& views) {
  const ResultHolder columns =
      QueryWith(admin,
                "SELECT c.relname, a.attname, format_type(a.atttypid, a.atttypmod), "
                "coalesce(col_description(c.oid, a.attnum), a.attname) "
                "FROM pg_class c JOIN pg_attribute a ON a.attrelid = c.oid "
                "WHERE c.relnamespace = $1::regnamespace AND c.relkind = 'r' AND a.attnum > 0 "
                "AND NOT a.attisdropped ORDER BY c.relname, a.attnum",
                schema, "reader views");
  std::string out, select, comments, table;
  const auto flush = [&] {
    if (table.empty()) return;
    out += "CREATE VIEW " + QuoteIdentifier(views) + "." + QuoteIdentifier(table) + " AS SELECT " +
           select + " FROM " + QuoteIdentifier(schema) + "." + QuoteIdentifier(table) + ";\n" +
           comments;
  };
  for (int row = 0; row < PQntuples(columns.r); ++row) {
    const std::string relation = PQgetvalue(columns.r, row, 0);
    if (relation != table) {
      flush();
      table = relation;
      select.clear();
      comments.clear();
    }
    const std::string column = QuoteIdentifier(PQgetvalue(columns.r, row, 1));
    const std::string spelling = PQgetvalue(columns.r, row, 3);
    if (!select.empty()) select += ", ";
    select += IsSecretColumn(table, spelling)
                  ? "NULL::" + std::string(PQgetvalue(columns.r, row, 2)) + " AS " + column
                  : column;
    comments += "COMMENT ON COLUMN " + QuoteIdentifier(views) + "." + QuoteIdentifier(table) + "." +
                column + " IS " + QuoteLiteral(spelling) + ";\n";
  }
  flush();
  return out;
}

// What the writer and the reader of `schema` may do: the writer reads and
// writes the rows of its tables, the reader reads the views. Run as the owner.
std::string Grants(const std::string& schema, const std::string& writer,
                   const std::string& reader) {
  const std::string s = QuoteIdentifier(schema),
                    v = QuoteIdentifier(PgBackend::ReaderSchemaOf(schema)),
                    w = QuoteIdentifier(writer), r = QuoteIdentifier(reader);
  return "GRANT USAGE ON SCHEMA " + s + " TO " + w +
         "; GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA " + s + " TO " + w +
         "; GRANT USAGE, SELECT ON ALL SEQUENCES IN SCHEMA " + s + " TO " + w +
         "; GRANT USAGE ON SCHEMA " + v + " TO " + r + "; GRANT SELECT ON ALL TABLES IN SCHEMA " +
         v + " TO " + r;
}

// Closes a connection opened by the parent of a forked process without a
// word on the parent's socket.
void Abandon(PGconn* conn) {
  const int null_fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null_fd >= 0) {
    ::dup2(null_fd, PQsocket(conn));
    ::close(null_fd);
  }
  PQfinish(conn);
}

// COMMENT statements giving each column of `ddl` its spelling: PostgreSQL
// keeps unquoted names lowered, and result sets name columns as the schema
// spells them.
std::string SpellingComments(std::string_view ddl) {
  std::string out;
  std::size_t at = 0;
  constexpr std::string_view kCreate = "CREATE TABLE \"";
  while ((at = ddl.find(kCreate, at)) != std::string_view::npos) {
    at += kCreate.size();
    const std::size_t table_end = ddl.find('"', at);
    if (table_end == std::string_view::npos) break;
    const std::string table(ddl.substr(at, table_end - at));
    int depth = 0;
    bool expect_name = false;
    for (std::size_t i = table_end + 1; i < ddl.size(); ++i) {
      const char c = ddl[i];
      if (c == '(') {
        if (++depth == 1) expect_name = true;
      } else if (c == ')') {
        if (--depth == 0) break;
      } else if (c == ',' && depth == 1) {
        expect_name = true;
      } else if (c == '"' && expect_name) {
        const std::size_t end = ddl.find('"', i + 1);
        const std::string column(ddl.substr(i + 1, end - i - 1));
        out += "COMMENT ON COLUMN " + table + "." + column + " IS " + QuoteLiteral(column) + ";\n";
        i = end;
        expect_name = false;
      } else if (c != ' ' && c != '\n') {
        expect_name = false;
      }
    }
  }
  return out;
}

}  // namespace

static std::size_t MaxOpenFromEnvironment() {
  constexpr std::size_t kDefault = 64;
  const char* text = std::getenv("BRIVOS_POOL_MAX_CONNECTIONS");
  if (text == nullptr) return kDefault;
  char* end = nullptr;
  const long n = std::strtol(text, &end, 10);
  return end != text && *end == '\0' && n > 0 ? static_cast<std::size_t>(n) : kDefault;
}

PgBackend::PgBackend(std::string uri) : uri_(std::move(uri)), max_open_(MaxOpenFromEnvironment()) {}

PgBackend::~PgBackend() {
  for (const auto& [conn, pid] : admins_) {
    if (pid == CurrentProcess()) {
      PQfinish(conn);
    } else {
      Abandon(conn);
    }
  }
}

std::string PgBackend::ReaderSchemaOf(const std::string& schema) { return schema + "_views"; }

std::string PgBackend::SchemaOf(const Variant& account) {
  const std::string text = CStr(account);
  if (text.find('\0') != std::string::npos) {
    RaiseDatabase(errnum::kDbCannotOpen, "The Account holds a NUL character.");
  }
  const std::size_t slash = text.rfind('\\');
  const std::string number = slash == std::string::npos ? text : text.substr(slash + 1);
  std::string schema;
  for (char c : number.substr(0, 40)) {
    const char l = AsciiLower(c);
    schema += (l >= 'a' && l <= 'z') || (l >= '0' && l <= '9') || l == '_' ? l : '_';
  }
  if (schema.empty() || (schema[0] >= '0' && schema[0] <= '9')) schema = "n" + schema;
  if (slash != std::string::npos) {
    // The directory as a path, so that two spellings of one ("dir/." and
    // "dir") name one subscriber.
    std::string dir = text.substr(0, slash);
    std::replace(dir.begin(), dir.end(), '\\', '/');
    dir = std::filesystem::path(dir).lexically_normal().string();
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    schema += "_" + Hex8(Fnv1a(dir));
  }
  return schema;
}

PGconn* PgBackend::TakeAdmin() {
  PGconn* conn = nullptr;
  bool ready = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    while (conn == nullptr && !admins_.empty()) {
      auto [taken, pid] = admins_.back();
      admins_.pop_back();
      if (pid != CurrentProcess()) {
        Abandon(taken);
      } else {
        conn = taken;
      }
    }
    ready = shared_ready_;
  }
  if (conn != nullptr && !StillConnected(conn)) {
    PQfinish(conn);
    conn = nullptr;
  }
  if (conn == nullptr) {
    conn = PQconnectdb(uri_.c_str());
    if (PQstatus(conn) != CONNECTION_OK) {
      std::string message = PQerrorMessage(conn);
      PQfinish(conn);
      while (!message.empty() && message.back() == '\n') message.pop_back();
      RaiseDatabase(errnum::kDbCannotOpen, "Could not connect to the database: " + message);
    }
    // What provisioning and schema changes say in passing ("drop cascades
    // to ...") is no one's business.
    PQsetNoticeProcessor(
        conn, [](void*, const char*) {}, nullptr);
  }
  if (!ready) {
    try {
      EnsureShared(conn);
    } catch (...) {
      PQfinish(conn);
      throw;
    }
  }
  return conn;
}

void PgBackend::GiveAdmin(PGconn* conn) noexcept {
  if (PQstatus(conn) != CONNECTION_OK || PQtransactionStatus(conn) != PQTRANS_IDLE) {
    PQfinish(conn);
    return;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  constexpr std::size_t kMaxIdleAdmins = 2;
  if (admins_.size() >= kMaxIdleAdmins) {
    PQfinish(conn);
    return;
  }
  try {
    admins_.emplace_back(conn, CurrentProcess());
  } catch (...) {
    PQfinish(conn);
  }
}

void PgBackend::EnsureShared(PGconn* admin) {
  Simple(admin, "SET client_min_messages = warning");
  Simple(admin, std::string("BEGIN; ") + kProvisioningLock);
  try {
    Simple(admin, kSharedSchema);
    // Subscribers provisioned before each had a lock key of its own get one.
    ResultHolder keyless{PQexec(admin,
                                "SELECT schema_name FROM brivos.subscriber "
                                "WHERE lock_key IS NULL")};
    CheckPg(admin, keyless.r, "lock keys");
    for (int row = 0; row < PQntuples(keyless.r); ++row) {
      Simple(admin, "UPDATE brivos.subscriber SET lock_key = " + RandomLockKey() +
                        " WHERE schema_name = " + QuoteLiteral(PQgetvalue(keyless.r, row, 0)));
    }
    Simple(admin, "COMMIT");
  } catch (...) {
    PQclear(PQexec(admin, "ROLLBACK"));
    throw;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  shared_ready_ = true;
}

DatabaseId PgBackend::Locate(const Variant& account) {
  std::optional<DatabaseId> found = Find(account);
  if (!found) {
    RaiseDatabase(errnum::kDbCannotOpen, "Could not find the subscriber '" + CStr(account) +
                                             "' (schema " + SchemaOf(account) + ").");
  }
  return *found;
}

std::optional<DatabaseId> PgBackend::Find(const Variant& account) {
  const std::string text = CStr(account);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (auto named = schema_of_.find(text); named != schema_of_.end()) {
      if (auto it = subscribers_.find(named->second); it != subscribers_.end()) {
        return DatabaseId{named->second, 0, it->second.serial};
      }
    }
  }
  const std::string key = SchemaOf(account);
  PGconn* admin = TakeAdmin();
  struct Back {
    PgBackend& b;
    PGconn* c;
    ~Back() { b.GiveAdmin(c); }
  } back{*this, admin};
  const ResultHolder result =
      QueryWith(admin,
                "SELECT s.schema_name, s.role_name, s.password, n.oid, s.lock_key, "
                "coalesce(s.reader_role, ''), coalesce(s.reader_password, '') "
                "FROM brivos.subscriber s JOIN pg_namespace n ON n.nspname = s.schema_name "
                "WHERE s.account = $1 OR (s.account IS NULL AND s.schema_name = $1)",
                key, "locate");
  if (PQntuples(result.r) == 0) return std::nullopt;
  const std::string schema = PQgetvalue(result.r, 0, 0);
  Subscriber found{PQgetvalue(result.r, 0, 1),
                   PQgetvalue(result.r, 0, 2),
                   std::stoull(PQgetvalue(result.r, 0, 3)),
                   PQgetvalue(result.r, 0, 4),
                   PQgetvalue(result.r, 0, 5),
                   PQgetvalue(result.r, 0, 6)};
  const std::uint64_t serial = found.serial;
  std::lock_guard<std::mutex> lock(mutex_);
  if (schema_of_.size() >= kMaxNamedAccounts) schema_of_.clear();
  schema_of_.insert_or_assign(text, schema);
  subscribers_.insert_or_assign(schema, std::move(found));
  return DatabaseId{schema, 0, serial};
}

PGconn* PgBackend::Open(const std::string& role, const std::string& password,
                        const std::string& search_path) const {
  const std::string options = "-c search_path=" + search_path + ",brivos";
  const char* keys[] = {"dbname", "user", "password", "options", "fallback_application_name",
                        nullptr};
  const char* values[] = {uri_.c_str(),    role.c_str(), password.c_str(),
                          options.c_str(), "brivos",     nullptr};
  PGconn* conn = PQconnectdbParams(keys, values, 1);
  if (PQstatus(conn) != CONNECTION_OK) {
    std::string message = PQerrorMessage(conn);
    PQfinish(conn);
    while (!message.empty() && message.back() == '\n') message.pop_back();
    RaiseDatabase(errnum::kDbCannotOpen, "Could not connect to the database: " + message);
  }
  return conn;
}

void PgBackend::Reserve() {
  std::unique_ptr<PgSession> evicted;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    constexpr auto kLongestWait = std::chrono::seconds(5);
    const bool room = released_.wait_for(lock, kLongestWait,
                                         [this] { return open_ < max_open_ || !idle_.empty(); });
    if (!room) {
      RaiseDatabase(errnum::kDbCannotOpen, "All " + std::to_string(max_open_) +
                                               " connections to the database are in use.");
    }
    if (open_ >= max_open_) {
      evicted = std::move(idle_.back());
      idle_.pop_back();
      ++evictions_;
    } else {
      ++open_;
    }
  }
  // The evicted session's place is taken over; it is closed outside the lock.
}

std::shared_ptr<Session> PgBackend::Connect(const DatabaseId& id) {
  const auto handle = [this](PgSession* s) {
    return std::shared_ptr<PgSession>(s, [this](PgSession* given) { Give(given); });
  };
  Subscriber subscriber;
  for (;;) {
    std::unique_ptr<PgSession> session;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (auto it = idle_.begin(); it != idle_.end(); ++it) {
        if ((*it)->Id() == id) {
          session = std::move(*it);
          idle_.erase(it);
          break;
        }
      }
      if (!session) {
        const auto it = subscribers_.find(id.name);
        if (it == subscribers_.end()) {
          RaiseDatabase(errnum::kDbCannotOpen,
                        "Could not find the subscriber schema " + id.name + ".");
        }
        subscriber = it->second;
        break;
      }
    }
    if (session->Reusable() && session->Alive()) return handle(session.release());
    // Closed here, its place in the pool let go.
    session.reset();
    std::lock_guard<std::mutex> lock(mutex_);
    --open_;
    released_.notify_one();
  }
  Reserve();
  PGconn* conn = nullptr;
  try {
    conn = Open(subscriber.role, subscriber.password, id.name);
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    --open_;
    released_.notify_one();
    // A subscriber provisioned again since it was looked up is looked up anew.
    subscribers_.erase(id.name);
    throw;
  }
  std::function<PGconn*()> open_reader;
  std::function<void(const std::string&)> change_schema;
  if (!subscriber.reader_role.empty()) {
    open_reader = [this, role = subscriber.reader_role, password = subscriber.reader_password,
                   views = ReaderSchemaOf(id.name)] { return Open(role, password, views); };
    change_schema = [this, schema = id.name, subscriber](const std::string& sql) {
      ChangeSchema(schema, subscriber, sql);
    };
  }
  return handle(new PgSession(conn, id, subscriber.lock_key, std::move(open_reader),
                              std::move(change_schema)));
}

void PgBackend::Give(PgSession* raw) noexcept {
  std::unique_ptr<PgSession> session(raw);
  std::unique_ptr<PgSession> evicted;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (session->Reusable()) {
      std::size_t same = 0;
      for (const auto& s : idle_) same += s->Id().name == session->Id().name ? 1 : 0;
      try {
        if (same < kMaxIdlePerSchema) {
          idle_.push_front(std::move(session));
          if (idle_.size() > kMaxIdle) {
            evicted = std::move(idle_.back());
            idle_.pop_back();
            ++evictions_;
          }
        }
      } catch (...) {
      }
    }
    if (session || evicted) --open_;
    released_.notify_one();
  }
  // Both closed here, outside the lock.
}

void PgBackend::CreateDatabase(const Variant& account, std::string_view ddl,
                               const std::function<void(Session&)>& fill) {
  const std::string key = SchemaOf(account);
  // Names that say nothing of the subscriber.
  const std::string schema = "f" + RandomHex(8);
  const std::string views = ReaderSchemaOf(schema);
  const std::string owner = schema + "_owner", writer = schema + "_writer",
                    reader = schema + "_reader";
  const std::string password = RandomHex(16), reader_password = RandomHex(16);
  const std::string lock_key = RandomLockKey();
  PGconn* admin = TakeAdmin();
  struct Back {
    PgBackend& b;
    PGconn* c;
    ~Back() { b.GiveAdmin(c); }
  } back{*this, admin};
  Simple(admin, std::string("BEGIN; ") + kProvisioningLock);
  try {
    {
      const ResultHolder exists =
          QueryWith(admin,
                    "SELECT 1 FROM brivos.subscriber WHERE account = $1 "
                    "UNION ALL SELECT 1 FROM pg_namespace WHERE nspname = $1",
                    key, "schema lookup");
      if (PQntuples(exists.r) > 0) {
        RaiseDatabase(errnum::kDbFailure,
                      "Database of subscriber '" + CStr(account) + "' already exists.");
      }
    }
    const std::string o = QuoteIdentifier(owner), w = QuoteIdentifier(writer),
                      r = QuoteIdentifier(reader), s = QuoteIdentifier(schema),
                      v = QuoteIdentifier(views);
    Simple(admin, "CREATE ROLE " + o + " NOLOGIN; GRANT " + o + " TO CURRENT_USER; CREATE ROLE " +
                      w + " LOGIN PASSWORD " + QuoteLiteral(password) + " IN ROLE brivos_writer; " +
                      "CREATE ROLE " + r + " LOGIN PASSWORD " + QuoteLiteral(reader_password) +
                      "; CREATE SCHEMA " + s + " AUTHORIZATION " + o + "; CREATE SCHEMA " + v +
                      " AUTHORIZATION " + o +
                      "; INSERT INTO brivos.subscriber (schema_name, "
                      "role_name, password, account, lock_key, reader_role, reader_password) "
                      "VALUES (" +
                      QuoteLiteral(schema) + ", " + QuoteLiteral(writer) + ", " +
                      QuoteLiteral(password) + ", " + QuoteLiteral(key) + ", " + lock_key + ", " +
                      QuoteLiteral(reader) + ", " + QuoteLiteral(reader_password) + ")");
    ResultHolder oid{
        PQexec(admin, ("SELECT " + QuoteLiteral(schema) + "::regnamespace::oid").c_str())};
    CheckPg(admin, oid.r, "schema oid");
    const DatabaseId id{schema, 0, std::stoull(PQgetvalue(oid.r, 0, 0))};
    // The tables belong to the owner; the writer reaches their rows, the
    // reader the views.
    Simple(admin, "SET LOCAL ROLE " + o + "; SET LOCAL search_path = " + s + ", brivos");
    Simple(admin, UnquoteIdentifiers(ddl) + ";\n" + SpellingComments(ddl));
    Simple(admin, ReaderViews(admin, schema, views));
    Simple(admin, Grants(schema, writer, reader));
    PgSession session(admin, id, lock_key, {}, {}, false);
    if (fill) fill(session);
    if (t_more != nullptr) (*std::exchange(t_more, nullptr))(session);
    Simple(admin, "DEALLOCATE ALL; COMMIT");
  } catch (...) {
    PQclear(PQexec(admin, "ROLLBACK; DEALLOCATE ALL"));
    throw;
  }
}

void PgBackend::ChangeSchema(const std::string& schema, const Subscriber& subscriber,
                             const std::string& sql) {
  PGconn* admin = TakeAdmin();
  struct Back {
    PgBackend& b;
    PGconn* c;
    ~Back() { b.GiveAdmin(c); }
  } back{*this, admin};
  Simple(admin, "BEGIN");
  try {
    const std::string owner = QuoteIdentifier(schema + "_owner");
    const std::string views = ReaderSchemaOf(schema);
    // The views go first, as they name the tables, and are made again after.
    Simple(admin, "DROP SCHEMA " + QuoteIdentifier(views) + " CASCADE; CREATE SCHEMA " +
                      QuoteIdentifier(views) + " AUTHORIZATION " + owner + "; SET LOCAL ROLE " +
                      owner + "; SET LOCAL search_path = " + QuoteIdentifier(schema) + ", brivos");
    Simple(admin, sql);
    Simple(admin, ReaderViews(admin, schema, views));
    Simple(admin, Grants(schema, subscriber.role, subscriber.reader_role));
    Simple(admin, "COMMIT");
  } catch (...) {
    PQclear(PQexec(admin, "ROLLBACK"));
    throw;
  }
}

void PgBackend::CreateWith(const std::function<void()>& provision,
                           const std::function<void(Session&)>& more) {
  struct Clear {
    ~Clear() { t_more = nullptr; }
  } clear;
  t_more = &more;
  provision();
  if (t_more != nullptr) {
    RaiseDatabase(errnum::kDbCannotOpen, "Provisioning created no PostgreSQL database.");
  }
}

std::string PgBackend::ColumnDeclaration(std::string_view quoted_name, ColumnType type, int width,
                                         bool default_now) const {
  const std::string name(quoted_name);
  const std::string check = " CHECK (length(" + name + ") <= " + std::to_string(width) + ")";
  switch (type) {
    case ColumnType::Key:
      return name + " integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY";
    case ColumnType::Long:
      return name + " integer";
    case ColumnType::Double:
      return name + " double precision";
    case ColumnType::Currency:
      return name + " brivos.brivos_currency";
    case ColumnType::Boolean:
      return name + " brivos.brivos_boolean";
    case ColumnType::Date:
      return name + " brivos.brivos_date" + (default_now ? " DEFAULT brivos.now_serial()" : "");
    case ColumnType::Text:
    case ColumnType::Memo:
      return name + " brivos.citext" + check;
  }
  return name;
}

std::size_t PgBackend::DescriptorsAtMost() const {
  // Two sockets per session, idle or in use (its reader's when it ran a
  // report), and the URI user's own connections.
  return 2 * max_open_ + 2;
}

PoolStatistics PgBackend::Statistics() const {
  PoolStatistics figures;
  std::lock_guard<std::mutex> lock(mutex_);
  std::set<std::string_view> schemas;
  for (const auto& s : idle_) schemas.insert(s->Id().name);
  figures.files = schemas.size();
  figures.idle_connections = idle_.size();
  figures.open_connections = open_;
  figures.max_connections = max_open_;
  figures.evictions = evictions_;
  return figures;
}

void PgBackend::ReleaseIdle() noexcept {
  std::list<std::unique_ptr<PgSession>> closing;
  std::lock_guard<std::mutex> lock(mutex_);
  open_ -= idle_.size();
  closing.swap(idle_);
  released_.notify_all();
}

}  // namespace brivos::internal
