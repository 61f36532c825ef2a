#pragma once

// What the real-git test fixtures share: environment changes undone at the end of a test, and a
// shell runner that is independent of the child-process runner under test.

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

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
