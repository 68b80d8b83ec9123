#pragma once

namespace brivos::internal {

// What a caller's statement text may do: read and write the tables, views,
// indexes and triggers of the database itself ("main"), call functions and
// read the pragmas that describe the schema. Everything else is refused, so
// the text can neither reach another file (ATTACH, DETACH, VACUUM, which
// attaches its target) nor change the connection for later callers (other
// pragmas, temporary objects, virtual tables, transactions and savepoints),
// and an action SQLite adds later is refused until it is listed; so are
// load_extension and fts3_tokenizer (native pointers). While SecretColumnsHidden is active on the
// thread, a secret column reads as NULL, a table holding one is not written, and no trigger is
// created nor table altered. Returns SQLITE_OK, SQLITE_IGNORE or SQLITE_DENY for an authorizer
// callback's arguments.
int AuthorizeCallerText(int action, const char* name, const char* detail, const char* database);

}  // namespace brivos::internal
