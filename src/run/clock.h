#pragma once

#include <cstdint>

namespace trovik::run {

// A clock reading: whole seconds and the nanoseconds within the second (0 to 999,999,999).
struct Timestamp {
  int64_t seconds = 0;
  int64_t nanoseconds = 0;
};

// UTC wall time since 1970-01-01T00:00:00Z.
Timestamp realtime_now();
// Time on a clock that never goes back, from an arbitrary origin.
Timestamp monotonic_now();

}  // namespace trovik::run
