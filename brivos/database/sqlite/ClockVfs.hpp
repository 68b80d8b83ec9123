#pragma once

namespace brivos::internal {

// The name of the operating system's SQLite file layer with one change: its
// current time is the library's clock (Now()). Every connection the library
// opens uses it, so 'now' in the schema's defaults and in statements is the
// same instant the library stamps elsewhere. Registered on first use.
const char* ClockVfsName();

}  // namespace brivos::internal
