// The README's shell examples run as written: every command of its ```sh
// blocks (in a block with prompts, each line after "$ "), in order, in one
// shell, in a scratch home directory, with the program under test first on
// PATH. A few are left out for what they need or how long they take.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/tools/CliProcess.hpp"

namespace brivos::testing {
namespace {

struct Example {
  int line = 0;  // in README.md
  std::string command;
};

// The commands of README.md's ```sh blocks, continued lines joined.
std::vector<Example> ShellExamples(const std::string& readme) {
  std::vector<Example> examples;
  std::istringstream in(readme);
  std::vector<std::pair<int, std::string>> block;
  bool inside = false;
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (!inside) {
      inside = line == "```sh";
      block.clear();
      continue;
    }
    if (line != "```") {
      block.emplace_back(number, line);
      continue;
    }
    inside = false;
    bool prompts = false;
    for (const auto& [at, text] : block) prompts = prompts || text.starts_with("$ ");
    for (std::size_t i = 0; i < block.size(); ++i) {
      std::string text = block[i].second;
      if (prompts ? !text.starts_with("$ ") : text.empty() || text.starts_with("#")) continue;
      if (prompts) text.erase(0, 2);
      Example example{block[i].first, text};
      while (example.command.ends_with("\\") && i + 1 < block.size()) {
        example.command.pop_back();
        example.command += block[++i].second;
      }
      examples.push_back(std::move(example));
    }
  }
  return examples;
}

// What is left out, by how the command starts, and why.
struct Left {
  const char* start;
  const char* why;
};
constexpr Left kLeftOut[] = {
    {"bash scripts/demo.sh", "sets up the machine and builds"},
    {"bash scripts/test.sh", "sets up the machine, builds and runs every suite"},
    {"brivos serve", "a server that runs until it is stopped"},
    {"curl ", "a request to that server"},
    {"cmake ", "a build, or an install into the system"},
    {"(cd build && cpack", "packages a build"},
    {"sudo ", "installs a package"},
    {"c++ ", "builds against the installed library"},
    {"./build/bench/", "a benchmark of a Release build"},
    {"python3 bench/", "a benchmark of a Release build against a server it starts"},
};

const char* LeftOut(const std::string& command) {
  for (const Left& left : kLeftOut) {
    if (command.starts_with(left.start)) return left.why;
  }
  return nullptr;
}

TEST(Readme, ShellExamplesRunAsWritten) {
  const std::filesystem::path root =
      std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
  const std::string readme = ReadFile((root / "README.md").string());
  ASSERT_FALSE(readme.empty()) << root / "README.md";
  const std::vector<Example> examples = ShellExamples(readme);

  TempDir home;
  std::ofstream script(home.Path() + "/examples.sh");
  script << "cd \"$HOME\"\n";
  std::vector<Example> run;
  std::map<std::string, int> left_out;  // by reason
  for (const Example& example : examples) {
    if (const char* why = LeftOut(example.command)) {
      ++left_out[why];
      continue;
    }
    // Each command's exit status on a line of its own, after what it printed.
    script << example.command << "\necho \"<<status $?>>\"\n";
    run.push_back(example);
  }
  script.close();
  // The program's own examples and `brivos --version` at least; each kind
  // of command left out is still in the README.
  EXPECT_GE(run.size(), 8u);
  for (const Left& left : kLeftOut) EXPECT_GT(left_out[left.why], 0) << left.start;

  const std::string bin = std::filesystem::path(BRIVOS_CLI).parent_path().string();
  const char* const path = std::getenv("PATH");
  const Outcome o = RunProgram("/bin/bash", {home.Path() + "/examples.sh"},
                               {{"HOME", home.Path()},
                                {"PATH", bin + ":" + (path == nullptr ? "/usr/bin:/bin" : path)}});
  EXPECT_EQ(o.status, 0) << o.err;
  std::vector<int> statuses;
  for (std::size_t at = 0; (at = o.out.find("<<status ", at)) != std::string::npos;) {
    at += 9;
    statuses.push_back(std::stoi(o.out.substr(at)));
  }
  ASSERT_EQ(statuses.size(), run.size()) << o.out << o.err;
  for (std::size_t i = 0; i < run.size(); ++i) {
    EXPECT_EQ(statuses[i], 0) << "README.md:" << run[i].line << ": " << run[i].command << "\n"
                              << o.out << o.err;
  }
}

}  // namespace
}  // namespace brivos::testing
