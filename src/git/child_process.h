#pragma once

#include <sys/types.h>

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
  // Starts `program` (looked up on PATH when it has no slash) with `arguments` after the program
  // name. `environment` holds "NAME=value" entries; null means the process's own environment.
  static Result<ChildProcess> Spawn(const std::string& program,
                                    const std::vector<std::string>& arguments,
                                    const std::vector<std::string>* environment);

  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&&) = delete;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  // Reads standard output and standard error until both reach end of file, together, so that a
  // child filling either pipe never stalls. Standard output is appended to `output`; standard
  // error is read and dropped.
  Status ReadOutput(std::string* output);

  // Waits for the child to end and returns its wait status (see waitpid).
  Result<int> Wait();

 private:
  ChildProcess(pid_t pid, ScopedFd output, ScopedFd errors);

  pid_t pid_;
  ScopedFd output_;
  ScopedFd errors_;
};

}  // namespace trovik::git
