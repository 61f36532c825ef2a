#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "util/scoped_fd.h"
#include "util/status.h"

namespace trovik::git {

// One child program, started with posix_spawnp and owned until it has been waited for. Its
// standard input is /dev/null; standard output and standard error are pipes read by this object.
// A child that is dropped before Wait() is still reaped (after its pipes are closed), so no zombie
// and no descriptor outlives the object.
class ChildProcess {
 public:
  using Deadline = std::chrono::steady_clock::time_point;

  struct Options {
    // "NAME=value" entries; null means the process's own environment.
    const std::vector<std::string>* environment = nullptr;
    // Starts the child as the leader of a process group of its own, so that Kill() also ends what
    // it started, and a terminal's Ctrl-C reaches only the caller, who decides.
    bool own_process_group = false;
  };

  // Starts `program` (looked up on PATH when it has no slash) with `arguments` after the program
  // name.
  static Result<ChildProcess> Spawn(const std::string& program,
                                    const std::vector<std::string>& arguments,
                                    const Options& options);

  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&&) = delete;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  // Reads standard output and standard error until both reach end of file, together, so that a
  // child filling either pipe never stalls. Standard output is appended to `output`; standard
  // error is read and dropped. Once `deadline` has passed, stops with ETIMEDOUT (an OSError).
  Status ReadOutput(std::string* output, std::optional<Deadline> deadline = std::nullopt);

  // Waits for the child to end and returns its wait status (see waitpid). Once `deadline` has
  // passed, stops with ETIMEDOUT and the child is still owned.
  Result<int> Wait(std::optional<Deadline> deadline = std::nullopt);

  // Ends the child at once: SIGKILL to it, or to its whole group when it leads one, then reaps it.
  // A child stuck in the kernel (a hung driver) may not die; after a short grace it is given up
  // rather than waited for, so the caller's time stays bounded.
  void Kill();

 private:
  ChildProcess(pid_t pid, bool leads_group, ScopedFd output, ScopedFd errors);

  pid_t pid_;
  bool leads_group_;
  ScopedFd output_;
  ScopedFd errors_;
};

}  // namespace trovik::git
