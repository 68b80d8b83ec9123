#pragma once

#include <cstdint>

namespace brivos {

// The most a caller's own statement (Connection::QueryConfined) may return:
// `rows` rows, and `bytes` bytes of values as the result set holds them in
// memory (each value's own size and its text's). The ceilings are checked as
// each row is read: past either, the statement stops and raises -2147217871
// with a description naming the ceiling and its value; no part of the
// result is returned.
struct ReportCeilings {
  std::int64_t rows = 100000;
  std::int64_t bytes = std::int64_t{16} << 20;
};

}  // namespace brivos
