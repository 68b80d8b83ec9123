#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "brivos/database/Backend.hpp"

struct sqlite3;

namespace brivos::internal {

// The longest a writer waits for a file's write lock before its call fails
// with -2147467259, and the sleep between two looks when another process
// holds it.
inline constexpr std::chrono::milliseconds kBusyWait{10000};
inline constexpr std::chrono::milliseconds kBusySleep{1};

// The identity of the database file at `path`: its name with its device and
// inode. A file removed and created again under the same name has a new
// identity, which cannot be reused while a connection still holds the old
// file open. Raises -2147467259 ("Could not find file '<path>'.") when there
// is no such file.
DatabaseId IdentifyFile(const std::string& path);

// How much of its file a connection keeps in memory (KiB): at most this
// much usually, since a thousand idle connections must stay small, and the
// wider figure during a long run of writes, which touches many pages again
// and again (an invoice run reads and rewrites the same index pages).
inline constexpr int kCacheKiB = 512;
inline constexpr int kLongWorkCacheKiB = 16384;

// The statement that sets a connection's cache to `kib` KiB.
std::string CacheSizePragma(int kib);

// Opens the existing file `path` read-write with SQLite, taking the name as
// it is: never as a URI ("file:..."), never creating the file. Raises
// through RaiseSqlite on failure.
sqlite3* OpenSqliteFile(const std::string& path);

// Opens an existing subscriber file for the library's calls: writable (a
// file the library cannot write is refused untouched), waiting for another
// process's write lock in short sleeps, with synchronous mode set and the dialect shim registered. A file without
// any table (an empty file among them) raises -2147467259: it is no
// subscriber database.
sqlite3* OpenSubscriberFile(const std::string& path);

// Runs every statement of `script` in order.
void RunScript(sqlite3* db, std::string_view script);

}  // namespace brivos::internal
