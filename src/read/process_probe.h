#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace trovik::read {

// What the reading library asks about the processes of this machine. Behind an interface, so that
// the rules built on it (is a run still running?) are tested without /proc and kill.
class ProcessProbe {
 public:
  virtual ~ProcessProbe() = default;
  // This machine's host name, as the module records it: HOSTNAME, else gethostname.
  virtual std::string host_name() const = 0;
  // True when a process with this id exists, whoever owns it.
  virtual bool process_exists(int64_t pid) const = 0;
  // When that process started, in nanoseconds since the epoch; nothing when it can't be told.
  virtual std::optional<int64_t> process_started_ns(int64_t pid) const = 0;
};

// The probe of the running system: kill(pid, 0), /proc/<pid>/stat and the boot time in /proc/stat.
// Never throws; a field it can't read or parse makes its answer "nothing".
const ProcessProbe& system_process_probe();

}  // namespace trovik::read
