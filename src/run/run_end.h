#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "json/value.h"
#include "run/run.h"
#include "util/status.h"

namespace trovik::run {

// How the program said the run ended.
enum class RunEnding {
  kCompleted,    // no exception, or SystemExit with code 0 or None
  kInterrupted,  // KeyboardInterrupt
  kFailed,       // any other exception, SystemExit with another code included
};

// The exception a run ended with, as UTF-8 text.
struct EndException {
  std::string type;  // qualified name, the module left out for builtins
  std::string message;
  std::optional<std::string> traceback;  // absent when it could not be formatted
};

// What the process has used so far (getrusage of the process itself; its children are not
// counted).
struct ProcessResources {
  double cpu_user_s = 0;
  double cpu_system_s = 0;
  uint64_t max_rss_bytes = 0;
};
ProcessResources process_resources();

// The longest message and traceback a run_end record holds: the message keeps its start, the
// traceback its end, where the error was raised.
constexpr size_t kMaxExceptionMessage = size_t{4} * 1024;
constexpr size_t kMaxTraceback = size_t{64} * 1024;

// The run_end value: {"exception": null or {"message", "traceback", "type"}, "resources",
// "status"}, the texts cut to their limits on character boundaries.
json::Value run_end_value(RunEnding ending, const std::optional<EndException>& exception,
                          const ProcessResources& resources);

// Appends the run_end record, with the resources read now; its elapsed_ms is the run's duration.
Status append_run_end(const Run& run, RunEnding ending,
                      const std::optional<EndException>& exception);

}  // namespace trovik::run
