#pragma once

#include <string>

#include "brivos/database/Backend.hpp"

namespace brivos::internal {

// Which file an Account's path names, as IdentifyFile tells it, without
// looking the path up again on every call. Each directory on the way to the
// file is watched (inotify) for the one name that leads on; the answer is
// kept until one of those names is created, removed or renamed, and before
// each answer the watch's queue is looked at, so that a change made before
// the call began (by any process) is always seen. A file removed, renamed
// away or replaced by a rename is therefore noticed as promptly as a stat
// of its path would notice it.
//
// Paths the watch cannot follow are looked up on every call as before:
// relative paths (the working directory may change), paths through a
// symbolic link, and files on filesystems other than local disk and memory
// (a network filesystem reports no changes made on other machines), and
// every path once the operating system refuses another watch.
//
// Thread-safe; a child process after fork starts with no watch.
DatabaseId IdentifyWatched(const std::string& path);
// The same, held by this thread until its next call of either.
const DatabaseId& IdentifyWatchedHere(const std::string& path);

// How many times an answer was found by looking at the file itself since
// the process started (for tests and benchmarks).
unsigned long long FileLookups();

}  // namespace brivos::internal
