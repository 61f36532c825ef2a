#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "json/value.h"
#include "read/process_probe.h"
#include "read/run_summary.h"

namespace trovik::read {

// How a run ended, or what can be said of one that wrote no end record. Derived when a run is read,
// never stored: a stored "running" would outlive a process killed without warning.
enum class RunStatus {
  kCompleted,    // its end record says so
  kFailed,       // ended by an exception (its end record holds it)
  kInterrupted,  // ended by Ctrl-C
  kRunning,      // no end record; its process is alive on this host
  kStopped,      // no end record; its process on this host is gone: ended without saying how
  kUnknown,      // no end record, recorded on another host (or without host, process or start)
};
inline constexpr RunStatus kEveryStatus[] = {RunStatus::kCompleted,   RunStatus::kFailed,
                                             RunStatus::kInterrupted, RunStatus::kRunning,
                                             RunStatus::kStopped,     RunStatus::kUnknown};

std::string_view status_name(RunStatus status);
// The status of that name ("failed"), if there is one.
std::optional<RunStatus> status_named(std::string_view name);

// The ending a run_end record's value names (completed, failed or interrupted); nothing when it
// names none, and then the record ends nothing.
std::optional<RunStatus> recorded_ending(const json::Value& run_end);

// The status of a run: from its end record when it has one, else from whether its recorded
// process is still alive (see liveness_of).
RunStatus run_status(const RunSummary& run, const ProcessProbe& probe);

// When the run's last complete record was written, in nanoseconds since the epoch: its start plus
// that record's elapsed_ms. What the age of a run of unknown status is told from.
std::optional<int64_t> last_record_ns(const RunSummary& run);

}  // namespace trovik::read
