#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "read/process_probe.h"
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
// The run's metadata as (key, value) pairs: each member of an object in key order, or the whole
// value under the key "metadata" when it is not an object; none when the run has no metadata. The
// values point into `run`.
std::vector<std::pair<std::string_view, const json::Value*>> metadata_values(const RunSummary& run);

// The process that wrote a run, as its run_start record names it.
struct RecordedProcess {
  std::optional<std::string> host;
  std::optional<int64_t> pid;
  std::optional<int64_t> started_ns;  // the run's start
};
RecordedProcess recorded_process(const RunSummary& run);
// The same from a run_start record's `value` and `created_at`.
RecordedProcess recorded_process(const json::Value& run_start, std::string_view created_at);

// Whether the process that wrote a run is still running.
enum class Liveness {
  kRunning,    // on this host, a process with its id that started no later than the run
  kGone,       // on this host, and no such process (a process id is reused once its process ends)
  kOtherHost,  // recorded on another host: nothing can be known from here
  kUnknown,    // the record lacks its host, process id or start time
};
Liveness liveness_of(const RecordedProcess& process, const ProcessProbe& probe);
inline bool is_live(const RecordedProcess& process, const ProcessProbe& probe) {
  return liveness_of(process, probe) == Liveness::kRunning;
}

// The facts of one run as people are shown them (`show`, the report's run details).
struct RunFacts {
  bool has_run_start = false;  // false: the file does not start with a run_start record
  std::optional<std::string> host;
  std::optional<std::string> user;
  std::vector<std::string> argv;
  std::optional<std::string> cwd;
  std::optional<int64_t> started_ns;
  std::optional<uint64_t> elapsed_ms;
  uint64_t records = 0;
  uint64_t bad_lines = 0;
  bool torn = false;
  std::optional<GitFacts> git;
  bool live = false;
};
RunFacts run_facts(const RunSummary& run, const ProcessProbe& probe);

}  // namespace trovik::read
