#pragma once

// What the real-git test fixtures share: environment changes undone at the end of a test, and a
// shell runner that is independent of the child-process runner under test.

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace trovik::testing_support {

// Sets or removes environment variables, and puts every one back as it was when destroyed.
class ScopedEnvironment {
 public:
  ScopedEnvironment() = default;
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
  ~ScopedEnvironment() { restore(); }

  // Sets `name` to `value`, or removes it when there is no value.
  void set(const std::string& name, const std::optional<std::string>& value) {
    const char* old = ::getenv(name.c_str());
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value) {
      ::setenv(name.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }

  // Keeps the machine's git configuration and identity away from repositories under `base`: an
  // empty global config at base/gitconfig (created here), no system config, a fixed identity,
  // nothing that redirects git, no repository search above `base`, and `temporary` as TMPDIR.
  void isolate_git(const std::string& base, const std::string& temporary) {
    std::ofstream(base + "/gitconfig").flush();
    set("GIT_CONFIG_GLOBAL", base + "/gitconfig");
    set("GIT_CONFIG_NOSYSTEM", "1");
    set("GIT_AUTHOR_NAME", "Test Author");
    set("GIT_AUTHOR_EMAIL", "author@example.com");
    set("GIT_COMMITTER_NAME", "Test Committer");
    set("GIT_COMMITTER_EMAIL", "committer@example.com");
    set("GIT_CEILING_DIRECTORIES", base);
    set("TMPDIR", temporary);
    for (const char* name : {"GIT_DIR", "GIT_WORK_TREE", "GIT_INDEX_FILE", "EMAIL"}) {
      set(name, std::nullopt);
    }
  }

  void restore() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        ::setenv(it->first.c_str(), it->second->c_str(), 1);
      } else {
        ::unsetenv(it->first.c_str());
      }
    }
    saved_.clear();
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Runs a shell command line (standard error discarded) and returns its standard output without
// the final line feeds; `exit_code` receives the exit code, or -1 after a signal.
inline std::string run_shell(const std::string& command, int* exit_code) {
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  std::string output;
  if (pipe != nullptr) {
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  }
  const int status = pipe != nullptr ? ::pclose(pipe) : -1;
  *exit_code = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  while (!output.empty() && output.back() == '\n') output.pop_back();
  return output;
}

}  // namespace trovik::testing_support
