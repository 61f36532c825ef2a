#include "read/run_status.h"

#include "read/run_facts.h"

namespace trovik::read {
namespace {

constexpr int64_t kNsPerMs = 1'000'000;

}  // namespace

std::string_view status_name(RunStatus status) {
  switch (status) {
    case RunStatus::kCompleted:
      return "completed";
    case RunStatus::kFailed:
      return "failed";
    case RunStatus::kInterrupted:
      return "interrupted";
    case RunStatus::kRunning:
      return "running";
    case RunStatus::kStopped:
      return "stopped";
    case RunStatus::kUnknown:
      break;
  }
  return "unknown";
}

std::optional<RunStatus> status_named(std::string_view name) {
  for (const RunStatus status : kEveryStatus) {
    if (status_name(status) == name) return status;
  }
  return std::nullopt;
}

std::optional<RunStatus> recorded_ending(const json::Value& run_end) {
  if (run_end.type() != json::Value::Type::kObject) return std::nullopt;
  const json::Value* status = run_end.as_object().find("status");
  if (status == nullptr || status->type() != json::Value::Type::kString) return std::nullopt;
  const std::optional<RunStatus> named = status_named(status->as_string());
  if (named == RunStatus::kCompleted || named == RunStatus::kFailed ||
      named == RunStatus::kInterrupted) {
    return named;
  }
  return std::nullopt;
}

RunStatus run_status(const RunSummary& run, const ProcessProbe& probe) {
  if (run.run_end) {
    if (const std::optional<RunStatus> ending = recorded_ending(*run.run_end)) return *ending;
  }
  switch (liveness_of(recorded_process(run), probe)) {
    case Liveness::kRunning:
      return RunStatus::kRunning;
    case Liveness::kGone:
      return RunStatus::kStopped;
    case Liveness::kOtherHost:
    case Liveness::kUnknown:
      break;
  }
  return RunStatus::kUnknown;
}

std::optional<int64_t> last_record_ns(const RunSummary& run) {
  const std::optional<int64_t> started = started_ns(run);
  if (!started) return std::nullopt;
  return *started + static_cast<int64_t>(run.elapsed_ms.value_or(0)) * kNsPerMs;
}

}  // namespace trovik::read
