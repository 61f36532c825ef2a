#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "run/clock.h"
#include "run/run.h"
#include "util/status.h"

namespace trovik::run {

// RFC 3339 in UTC with the offset written "+00:00": no fraction for a whole second, else 3, 6 or 9
// digits, the fewest that hold the nanoseconds exactly ("2024-03-05T07:08:09.120+00:00").
std::string format_created_at(Timestamp utc);
void append_created_at(Timestamp utc, std::string& out);

// Whole milliseconds from `start` to `now`: truncated, 0 when `now` is earlier, saturating at
// 2^64-1.
uint64_t elapsed_ms(Timestamp start, Timestamp now);

// Every record is one object whose keys are known in advance (schema and module version, run id,
// experiment name, kind, creation time, elapsed time, the note when given, and the value), so its
// line is rendered directly, members in key order, rather than built as an object and written.
//
// Turns `text`, the compact JSON text of the record's value (as json::write_json writes it), into
// the record's whole line in place: the other members go in front of it and "}\n" behind.
void render_record(const Run& run, std::string_view kind, const std::optional<std::string>& note,
                   Timestamp created_at, uint64_t elapsed, std::string& text);

// At most how many bytes render_record adds to a value's text: room to reserve beforehand.
size_t record_overhead(const Run& run, std::string_view kind,
                       const std::optional<std::string>& note);

// Reads the wall clock, then the monotonic one (both after the value is complete, so both include
// the time it took), renders the record around `value_text` and appends the line to the run file.
Status append_record(const Run& run, std::string_view kind, std::string value_text,
                     const std::optional<std::string>& note);

}  // namespace trovik::run
