#include "run/clock.h"

#include <ctime>

namespace trovik::run {
namespace {

Timestamp read_clock(clockid_t clock) {
  timespec now{};
  // Cannot fail for these two clocks on Linux; a zero reading would only make times look early.
  clock_gettime(clock, &now);
  return Timestamp{static_cast<int64_t>(now.tv_sec), static_cast<int64_t>(now.tv_nsec)};
}

}  // namespace

Timestamp realtime_now() { return read_clock(CLOCK_REALTIME); }
Timestamp monotonic_now() { return read_clock(CLOCK_MONOTONIC); }

}  // namespace trovik::run
