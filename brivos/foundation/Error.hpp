#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace brivos {

// The error numbers of the platform and the database layer.
namespace errnum {
inline constexpr std::int32_t kObjectErrorBase = -2147221504;  // 0x80040000
inline constexpr std::int32_t kInvalidArgument = 5;
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kSubscriptOutOfRange = 9;
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kNoObject = 91;
inline constexpr std::int32_t kInvalidUseOfNull = 94;
inline constexpr std::int32_t kCannotCreateObject = 429;
inline constexpr std::int32_t kUnknownMember = 438;
inline constexpr std::int32_t kNamedArgumentNotFound = 448;
inline constexpr std::int32_t kArgumentNotOptional = 449;
inline constexpr std::int32_t kWrongArgumentCount = 450;
inline constexpr std::int32_t kNoCurrentRecord = 3021;
inline constexpr std::int32_t kDbCannotOpen = -2147467259;
inline constexpr std::int32_t kDbStatementRejected = -2147217900;
inline constexpr std::int32_t kDbConstraint = -2147217873;
inline constexpr std::int32_t kDbFailure = -2147467259;
inline constexpr std::int32_t kDbTimeout = -2147217871;
// Execution stopped at a resource limit: the time budget (kDbTimeout) or a
// ceiling of a caller's result.
inline constexpr std::int32_t kDbLimitReached = kDbTimeout;
}  // namespace errnum

// The marker the error convention adds once to every description.
inline constexpr std::string_view kErrorMarker = " >VelmarERR@";

// An error raised by the library: number, source and description, as the
// automation error object carries them.
class Error : public std::exception {
 public:
  Error(std::int32_t number, std::string source, std::string description);

  std::int32_t Number() const { return number_; }
  const std::string& Source() const { return source_; }
  const std::string& Description() const { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  std::int32_t number_;
  std::string source_;
  std::string description_;
};

// Raises an Error with the platform's standard text for the number ("Type
// mismatch", "Overflow", ...) and no source.
[[noreturn]] void RaiseRuntime(std::int32_t number);
// Raises an Error with the given description and no source.
[[noreturn]] void Raise(std::int32_t number, std::string description);

// The standard text of a platform error number ("Invalid use of Null").
std::string RuntimeMessage(std::int32_t number);

// The error convention every public method, related-record property, loader
// and OpenRecordset ends in. Runs `body`; if anything escapes it, the error is
// captured (a C++ exception that is not an Error becomes one), the
// description gains CR LF, the marker and the number unless it already ends
// in exactly that tag, an empty source becomes `source`, and the error is
// raised again.
// `source` is the programmatic id of the class ("BRIVOS.CSecurityMgr").
[[noreturn]] void RethrowTagged(std::string_view source);

template <class F>
decltype(auto) Guarded(std::string_view source, F&& body) {
  try {
    return body();
  } catch (...) {
    RethrowTagged(source);
  }
}

}  // namespace brivos
