#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "brivos/foundation/Clock.hpp"
#include "brivos/foundation/Error.hpp"

namespace brivos {
namespace {

// Runs `f` and returns the Error it raises; fails the test when it raises
// nothing or something else.
template <class F>
Error Caught(F&& f) {
  try {
    f();
  } catch (const Error& e) {
    return e;
  } catch (...) {
    ADD_FAILURE() << "not a brivos::Error";
    return Error(0, "", "");
  }
  ADD_FAILURE() << "nothing raised";
  return Error(0, "", "");
}

std::size_t Occurrences(const std::string& text, std::string_view what) {
  std::size_t count = 0;
  for (std::size_t pos = text.find(what); pos != std::string::npos;
       pos = text.find(what, pos + what.size())) {
    ++count;
  }
  return count;
}

TEST(ErrorTest, RuntimeMessagesAndRaise) {
  EXPECT_EQ(RuntimeMessage(13), "Type mismatch");
  EXPECT_EQ(RuntimeMessage(94), "Invalid use of Null");
  EXPECT_EQ(RuntimeMessage(3021),
            "Either BOF or EOF is True, or the current record has been deleted. Requested "
            "operation requires a current record.");
  EXPECT_EQ(RuntimeMessage(12345), "Application-defined or object-defined error");
  EXPECT_EQ(RuntimeMessage(errnum::kObjectErrorBase + 3),
            "Application-defined or object-defined error");

  Error runtime = Caught([] { RaiseRuntime(errnum::kOverflow); });
  EXPECT_EQ(runtime.Number(), 6);
  EXPECT_EQ(runtime.Source(), "");
  EXPECT_EQ(runtime.Description(), "Overflow");
  EXPECT_STREQ(runtime.what(), "Overflow");

  Error own = Caught([] { Raise(errnum::kObjectErrorBase + 7, "Project not found"); });
  EXPECT_EQ(own.Number(), -2147221497);
  EXPECT_EQ(own.Description(), "Project not found");
}

TEST(ErrorConventionTest, TagsTheDescriptionAndFillsTheSource) {
  Error e = Caught([] {
    Guarded("BRIVOS.CProjectMgr", []() -> int { RaiseRuntime(errnum::kInvalidUseOfNull); });
  });
  EXPECT_EQ(e.Number(), 94);
  EXPECT_EQ(e.Source(), "BRIVOS.CProjectMgr");
  EXPECT_EQ(e.Description(), "Invalid use of Null\r\n >VelmarERR@94");
}

TEST(ErrorConventionTest, NestedCallsTagOnceAndKeepTheInnermostError) {
  auto inner = [] {
    return Guarded("BRIVOS.CUserManager", []() -> int {
      Raise(errnum::kObjectErrorBase + 12, "User is not allowed to log on");
    });
  };
  auto middle = [&] { return Guarded("BRIVOS.CSecurityMgr", inner); };
  Error e = Caught([&] { Guarded("BRIVOS.CProjectMgr", middle); });
  EXPECT_EQ(e.Number(), errnum::kObjectErrorBase + 12);
  EXPECT_EQ(e.Source(), "BRIVOS.CUserManager");
  EXPECT_EQ(e.Description(), "User is not allowed to log on\r\n >VelmarERR@-2147221492");
  EXPECT_EQ(Occurrences(e.Description(), kErrorMarker), 1u);
}

TEST(ErrorConventionTest, AGivenSourceIsKept) {
  Error e = Caught([] {
    Guarded("BRIVOS.CProjectMgr",
            []() -> int { throw Error(errnum::kDbConstraint, "Database", "Width exceeded"); });
  });
  EXPECT_EQ(e.Source(), "Database");
  EXPECT_EQ(e.Number(), -2147217873);
  EXPECT_EQ(e.Description(), "Width exceeded\r\n >VelmarERR@-2147217873");
}

TEST(ErrorConventionTest, OnlyTheTagOfThisNumberAtTheEndCountsAsTagged) {
  // A description counts as tagged only when it ends in CR LF, the marker and
  // its own number; a marker anywhere else is the caller's text.
  struct Case {
    const char* what;
    std::int32_t number;
    std::string description;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"tagged", 5, "x\r\n >VelmarERR@5", "x\r\n >VelmarERR@5"},
      {"marker inside a value", 5, "User ' >VelmarERR@1' not found",
       "User ' >VelmarERR@1' not found\r\n >VelmarERR@5"},
      {"marker with this number, not at the end", 5, "x >VelmarERR@5 and more",
       "x >VelmarERR@5 and more\r\n >VelmarERR@5"},
      {"marker at the end without CR LF", 5, "x >VelmarERR@5", "x >VelmarERR@5\r\n >VelmarERR@5"},
      {"tag of another number", 5, "x\r\n >VelmarERR@1", "x\r\n >VelmarERR@1\r\n >VelmarERR@5"},
      {"tag of a longer number", 5, "x\r\n >VelmarERR@15", "x\r\n >VelmarERR@15\r\n >VelmarERR@5"},
      {"marker in another letter case", 5, "x >velmarerr@5", "x >velmarerr@5\r\n >VelmarERR@5"},
  };
  for (const Case& c : cases) {
    Error e = Caught(
        [&] { Guarded("BRIVOS.X", [&]() -> int { throw Error(c.number, "", c.description); }); });
    EXPECT_EQ(e.Description(), c.expected) << c.what;
    EXPECT_EQ(e.Source(), "BRIVOS.X") << c.what;
  }
}

TEST(ErrorConventionTest, OtherExceptionsBecomeErrors) {
  Error failure = Caught([] {
    Guarded("BRIVOS.CClientMgr", []() -> int { throw std::runtime_error("disk on fire"); });
  });
  EXPECT_EQ(failure.Number(), -2147467259);
  EXPECT_EQ(failure.Source(), "BRIVOS.CClientMgr");
  EXPECT_EQ(failure.Description(), "disk on fire\r\n >VelmarERR@-2147467259");

  Error memory =
      Caught([] { Guarded("BRIVOS.CClientMgr", []() -> int { throw std::bad_alloc(); }); });
  EXPECT_EQ(memory.Number(), 7);
  EXPECT_EQ(memory.Description(), "Out of memory\r\n >VelmarERR@7");

  Error unknown = Caught([] { Guarded("BRIVOS.CClientMgr", []() -> int { throw 42; }); });
  EXPECT_EQ(unknown.Number(), -2147467259);
  EXPECT_EQ(unknown.Description(), "Unexpected error\r\n >VelmarERR@-2147467259");

  // Converted once, then passed through untouched by outer boundaries.
  Error nested = Caught([] {
    Guarded("BRIVOS.Outer", [] {
      return Guarded("BRIVOS.Inner", []() -> int { throw std::logic_error("bad state"); });
    });
  });
  EXPECT_EQ(nested.Source(), "BRIVOS.Inner");
  EXPECT_EQ(nested.Description(), "bad state\r\n >VelmarERR@-2147467259");
}

TEST(ErrorConventionTest, GuardedReturnsTheValueWhenNothingFails) {
  EXPECT_EQ(Guarded("BRIVOS.X", [] { return 41 + 1; }), 42);
  std::string text = "kept";
  std::string& ref = Guarded("BRIVOS.X", [&]() -> std::string& { return text; });
  EXPECT_EQ(&ref, &text);
  bool ran = false;
  Guarded("BRIVOS.X", [&] { ran = true; });
  EXPECT_TRUE(ran);
}

TEST(ClockTest, TheSeamReplacesAndRestoresTheSystemClock) {
  const Date fixed = Date::FromParts(2024, 3, 5, 9, 5, 1);
  SetClock([&] { return fixed; });
  EXPECT_EQ(Now(), fixed);
  SetClock(nullptr);
  Date now = Now();
  EXPECT_NE(now, fixed);
  EXPECT_GE(now.Year(), 2024);
  // Whole seconds: the serial holds no fraction of a second.
  EXPECT_EQ(
      Date::FromParts(now.Year(), now.Month(), now.Day(), now.Hour(), now.Minute(), now.Second()),
      now);
}

}  // namespace
}  // namespace brivos
