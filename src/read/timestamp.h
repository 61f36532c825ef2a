#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace trovik::read {

// Nanoseconds since 1970-01-01T00:00:00 UTC of an RFC 3339 date-time
// ("2024-03-05T07:08:09.120+00:00", any offset, "Z" too); nothing when the text is not one.
std::optional<int64_t> parse_timestamp(std::string_view text);

// "2024-03-05 08:08:09" in the process's local time zone / in UTC.
std::string format_local_time(int64_t ns);
std::string format_utc_time(int64_t ns);

// A span of time for a reader: "450ms", "12.3s", "4m05s", "2h03m", "3d04h".
std::string format_duration_ms(uint64_t ms);
// How long ago: "just now", "5m ago", "3h ago", "2d ago".
std::string format_age(int64_t ns, int64_t now_ns);

// A duration such as "30d", "12h", "90m", "45s" or "2w" in nanoseconds; nothing when malformed.
std::optional<int64_t> parse_duration(std::string_view text);

int64_t now_ns();

}  // namespace trovik::read
