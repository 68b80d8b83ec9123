#pragma once

#include <functional>
#include <string_view>

namespace brivos::internal {

// Test seam: `observer` sees the text of every statement the library runs on
// any thread, just before it runs; nullptr stops it. Tests use it to check
// the query plan of each statement the managers issue.
void ObserveStatements(std::function<void(std::string_view sql)> observer);

// Called by the database layer for each statement it runs.
void NoteStatement(std::string_view sql);

}  // namespace brivos::internal
