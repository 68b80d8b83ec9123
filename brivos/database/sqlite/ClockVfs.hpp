#pragma once

struct sqlite3;

namespace brivos::internal {

// The name of the operating system's SQLite file layer with two changes: its
// current time is the library's clock (Now()), and it notes where each file's
// shared log index is mapped in the process. Every connection the library
// opens uses it, so 'now' in the schema's defaults and in statements is the
// same instant the library stamps elsewhere. Registered on first use.
const char* ClockVfsName();

// Unmaps from the process the pages of the shared log index of `db`'s file
// that no transaction reads until the log grows onto them: past the header
// (with the readers' marks, which every transaction reads), those of frames
// the log does not hold, and with no frame in the log the hash tables. The
// operating system maps a whole 32 KiB region on the first access to any
// page of it, and a thousand idle connections would each hold one. The
// index file keeps their contents and the page cache the pages; what goes
// is their count in the process's resident memory. A system call only when
// the log gained its first frame, grew onto the next page of frame numbers
// or started over since the last release. Nothing for a connection of
// another file layer, or without a log. Never throws.
void ReleaseLogIndexPages(sqlite3* db) noexcept;

}  // namespace brivos::internal
