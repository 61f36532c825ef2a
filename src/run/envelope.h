#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "json/value.h"
#include "run/clock.h"
#include "run/run.h"
#include "util/status.h"

namespace trovik::run {

// RFC 3339 in UTC with the offset written "+00:00": no fraction for a whole second, else 3, 6 or 9
// digits, the fewest that hold the nanoseconds exactly ("2024-03-05T07:08:09.120+00:00").
std::string format_created_at(Timestamp utc);

// Whole milliseconds from `start` to `now`: truncated, 0 when `now` is earlier, saturating at 2^64-1.
uint64_t elapsed_ms(Timestamp start, Timestamp now);

// Wraps `value` in the envelope every record shares (schema and module version, run id, experiment
// name, kind, creation time, elapsed time, and the note when given) and appends it to the run file.
// The clocks are read here, after the payload is complete.
Status append_record(const Run& run, std::string_view kind, json::Value value,
                     const std::optional<std::string>& note);

}  // namespace trovik::run
