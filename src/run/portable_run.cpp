#include "run/portable_run.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

#include "run/boot_id.h"
#include "util/unicode.h"

namespace trovik::run {
namespace {

constexpr int64_t kNanosPerSecond = 1000000000;
// Far beyond any clock reading, and small enough that differences of two never overflow.
constexpr int64_t kLatestSecond = int64_t{1} << 62;

bool is_run_id(std::string_view id) {
  if (id.size() != 36) return false;
  for (size_t i = 0; i < id.size(); ++i) {
    const char c = id[i];
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (c != '-') return false;
    } else if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
      return false;
    }
  }
  return true;
}

// A path that names the run file of `run_id` and that open() reads whole (no NUL inside).
bool is_run_file(std::string_view path, const std::string& run_id) {
  const std::string tail = "runs/" + run_id + ".jsonl";
  return path.find('\0') == std::string_view::npos && path.size() >= tail.size() &&
         path.substr(path.size() - tail.size()) == tail;
}

bool is_reading(Timestamp t) {
  return t.seconds >= 0 && t.seconds <= kLatestSecond && t.nanoseconds >= 0 &&
         t.nanoseconds < kNanosPerSecond;
}

// a - b + c, component-wise and then carried, for readings that is_reading() accepted.
Timestamp shifted(Timestamp a, Timestamp b, Timestamp c) {
  int64_t seconds = a.seconds - b.seconds + c.seconds;
  int64_t nanoseconds = a.nanoseconds - b.nanoseconds + c.nanoseconds;
  while (nanoseconds < 0) {
    nanoseconds += kNanosPerSecond;
    seconds -= 1;
  }
  while (nanoseconds >= kNanosPerSecond) {
    nanoseconds -= kNanosPerSecond;
    seconds += 1;
  }
  return Timestamp{seconds, nanoseconds};
}

Status invalid(const char* what) {
  return Status::ValueError(std::string("pickled experiment has ") + what);
}

}  // namespace

PortableRun portable_run(const Run& run) {
  return PortableRun{run.run_id,
                     run.name,
                     run.path,
                     run.location,
                     run.start,
                     run.wall_start,
                     current_boot_id().value_or("")};
}

Result<Run> restore_run(PortableRun saved) {
  if (!is_run_id(saved.run_id)) return invalid("a malformed run id");
  if (!is_valid_utf8(saved.name) || trim_white_space(saved.name).empty()) {
    return invalid("an empty name");
  }
  if (!is_valid_utf8(saved.path) || !is_run_file(saved.path, saved.run_id)) {
    return invalid("a path that is not its run file");
  }
  if (!is_run_file(saved.location, saved.run_id) ||
      (saved.location.front() != '/' && saved.location != saved.path)) {
    return invalid("a location that is not its run file");
  }
  if (!is_reading(saved.start) || !is_reading(saved.wall_start)) {
    return invalid("an invalid start time");
  }

  Timestamp start = saved.start;
  const std::optional<std::string> boot_id = current_boot_id();
  if (!boot_id || saved.boot_id.empty() || *boot_id != saved.boot_id) {
    // now_monotonic - (now_wall - wall_start): before now by the wall-clock age of the run.
    const Timestamp wall_now = realtime_now();
    start = shifted(monotonic_now(), wall_now, saved.wall_start);
  }
  return Run{std::move(saved.run_id),   std::move(saved.name), std::move(saved.path), start,
             std::move(saved.location), saved.wall_start};
}

}  // namespace trovik::run
