#pragma once

// Runs the built `brivos` program (BRIVOS_CLI) as a separate process and
// reads what it prints, as a script calling it would.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/SubscriberFixture.hpp"

extern char** environ;

namespace brivos::testing {

using Json = nlohmann::ordered_json;

struct Outcome {
  int status = -1;  // exit status; 128 + signal when the program was killed
  std::string out;
  std::string err;

  Json OutJson() const { return Json::parse(out); }
  // Lines of stderr, without the final line break.
  std::vector<std::string> ErrLines() const {
    std::vector<std::string> lines;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs `program` (a path) with `args`. The environment is the test's own
// without BRIVOS_DATA, with `env` in place of what it names.
inline Outcome RunProgram(const std::string& program, const std::vector<std::string>& args,
                          const std::map<std::string, std::string>& env = {}) {
  TempDir scratch;
  const std::string out_path = scratch.Path() + "/out";
  const std::string err_path = scratch.Path() + "/err";

  std::vector<std::string> env_text;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string_view entry(*e);
    const std::string_view name = entry.substr(0, entry.find('='));
    if (name == "BRIVOS_DATA" || env.contains(std::string(name))) continue;
    env_text.emplace_back(*e);
  }
  for (const auto& [name, value] : env) env_text.push_back(name + "=" + value);

  std::vector<std::string> argv_text{program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  Outcome outcome;
  if (rc != 0) {
    ADD_FAILURE() << "cannot start " << program << ": " << rc;
    return outcome;
  }
  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0) {
    if (errno != EINTR) break;
  }
  if (WIFEXITED(wstatus)) {
    outcome.status = WEXITSTATUS(wstatus);
  } else if (WIFSIGNALED(wstatus)) {
    outcome.status = 128 + WTERMSIG(wstatus);
  }
  outcome.out = ReadFile(out_path);
  outcome.err = ReadFile(err_path);
  return outcome;
}

// Runs the `brivos` program under test.
inline Outcome RunCli(const std::vector<std::string>& args,
                      const std::map<std::string, std::string>& env = {}) {
  return RunProgram(BRIVOS_CLI, args, env);
}

inline ::testing::AssertionResult Succeeded(const Outcome& o) {
  if (o.status == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "exit " << o.status << ", stderr: " << o.err;
}

}  // namespace brivos::testing
