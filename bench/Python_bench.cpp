// A late-bound GetSysSession from Python, through the brivos module, against
// the same late-bound call from C++: 1,000 different tokens in turn on the
// subscriber of 1,000 sessions. The Python side loops in Python, so it counts
// what a script pays per call: the attribute lookup, the conversions of the
// arguments, the GIL released around the call, and the record handed back.

#include <pybind11/embed.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "bench/BenchSupport.hpp"

namespace brivos::bench {
namespace {

namespace py = pybind11;

constexpr int kTokens = 1000;
constexpr int kBatch = 100;  // calls per entry into Python

constexpr const char* kLoop = R"(
def loop(mgr, account, tokens, start, count):
    n = len(tokens)
    for i in range(start, start + count):
        session = mgr.GetSysSession(account, tokens[i % n])
    return session
)";

// The interpreter, with the module built beside this program on its path;
// started once and never finalized, as the program ends right after the run.
py::object PythonLoop() {
  static py::object loop = [] {
    py::initialize_interpreter();
    py::module_::import("sys").attr("path").attr("insert")(0, BRIVOS_PYTHON_DIR);
    py::dict scope;
    py::exec(kLoop, scope);
    return scope["loop"];
  }();
  return loop;
}

void PythonGetSysSession(benchmark::State& state, const Subscriber* db) {
  py::gil_scoped_acquire gil;
  try {
    py::object mgr = py::module_::import("brivos").attr("CreateObject")("BRIVOS.CSecurityMgr");
    py::list tokens;
    for (const std::string& token : db->RandomTokens(kTokens)) tokens.append(token);
    const py::object loop = PythonLoop();
    int next = 0;
    while (state.KeepRunningBatch(kBatch)) {
      if (loop(mgr, db->account_text(), tokens, next, kBatch).is_none()) {
        throw std::runtime_error("no session");
      }
      next += kBatch;
    }
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}

void CppGetSysSession(benchmark::State& state, const Subscriber* db) {
  auto mgr = CreateObject("BRIVOS.CSecurityMgr");
  std::vector<Variant> tokens;
  for (const std::string& token : db->RandomTokens(kTokens)) tokens.emplace_back(token);
  std::size_t next = 0;
  LibraryLoop(state, [&] {
    std::vector<Variant> args{db->account(), tokens[next++ % tokens.size()]};
    Variant session = mgr->Invoke("GetSysSession", args);
    if (session.AsObject() == nullptr) throw std::runtime_error("no session");
    benchmark::DoNotOptimize(session);
  });
}

}  // namespace

Program ThisProgram() {
  return {{kSmall},
          [](const Subscriber& db) {
            PythonLoop();
            Register("GetSysSession/1k/python", {}, PythonGetSysSession, &db);
            Register("GetSysSession/1k/cpp", {}, CppGetSysSession, &db);
          },
          {Comparison::Time("GetSysSession late-bound, 1k tokens: Python/C++",
                            "GetSysSession/1k/python", "GetSysSession/1k/cpp", 1.5)}};
}

}  // namespace brivos::bench
