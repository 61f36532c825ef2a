#include "run/envelope.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <limits>
#include <utility>

#include "json/append_jsonl.h"
#include "version.h"

namespace trovik::run {

std::string format_created_at(Timestamp utc) {
  const time_t seconds = static_cast<time_t>(utc.seconds);
  tm fields{};
  gmtime_r(&seconds, &fields);
  char text[64];
  int length = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d",
                             fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday,
                             fields.tm_hour, fields.tm_min, fields.tm_sec);
  std::string formatted(text, static_cast<size_t>(length));
  const int64_t nanos = utc.nanoseconds;
  if (nanos != 0) {
    if (nanos % 1000000 == 0) {
      length = std::snprintf(text, sizeof text, ".%03" PRId64, nanos / 1000000);
    } else if (nanos % 1000 == 0) {
      length = std::snprintf(text, sizeof text, ".%06" PRId64, nanos / 1000);
    } else {
      length = std::snprintf(text, sizeof text, ".%09" PRId64, nanos);
    }
    formatted.append(text, static_cast<size_t>(length));
  }
  formatted += "+00:00";
  return formatted;
}

uint64_t elapsed_ms(Timestamp start, Timestamp now) {
  if (now.seconds < start.seconds ||
      (now.seconds == start.seconds && now.nanoseconds < start.nanoseconds)) {
    return 0;
  }
  // Unsigned arithmetic: the difference of two signed seconds counts always fits in 64 unsigned bits.
  uint64_t seconds = static_cast<uint64_t>(now.seconds) - static_cast<uint64_t>(start.seconds);
  int64_t nanos = now.nanoseconds - start.nanoseconds;
  if (nanos < 0) {
    nanos += 1000000000;
    seconds -= 1;
  }
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  const auto millis = static_cast<uint64_t>(nanos / 1000000);
  if (seconds > (kMax - millis) / 1000) return kMax;
  return seconds * 1000 + millis;
}

Status append_record(const Run& run, std::string_view kind, json::Value value,
                     const std::optional<std::string>& note) {
  json::Object record;
  record.insert("schema_version", json::Value::unsigned_integer(1));
  record.insert("trovik_version", json::Value::string(TROVIK_VERSION));
  record.insert("run_id", json::Value::string(run.run_id));
  record.insert("experiment_name", json::Value::string(run.name));
  record.insert("kind", json::Value::string(std::string(kind)));
  record.insert("value", std::move(value));
  // Wall clock first, then the monotonic one: both after the payload, so a run_start record's times
  // include the git probe and a track record's include the conversion.
  record.insert("created_at", json::Value::string(format_created_at(realtime_now())));
  record.insert("elapsed_ms", json::Value::unsigned_integer(elapsed_ms(run.start, monotonic_now())));
  if (note) record.insert("note", json::Value::string(*note));
  return json::append_jsonl(run.path, json::Value::object(std::move(record)));
}

}  // namespace trovik::run
