#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "read/run_summary.h"

namespace trovik::read {

// The run_start record's facts, each missing or of another type when the record lacks it.
struct GitFacts {
  std::string commit;
  std::string branch;
  bool dirty = false;
};
std::optional<GitFacts> git_facts(const RunSummary& run);
std::optional<std::string> hostname_of(const RunSummary& run);
std::optional<std::string> username_of(const RunSummary& run);
std::optional<std::string> cwd_of(const RunSummary& run);
std::vector<std::string> argv_of(const RunSummary& run);
std::optional<int64_t> pid_of(const RunSummary& run);
// The start time from created_at, in nanoseconds since the epoch.
std::optional<int64_t> started_ns(const RunSummary& run);

// True while the process that wrote the run is still running on this host: same host name, a
// process with that id, started no later than the run.
bool run_is_live(const RunSummary& run);

}  // namespace trovik::read
