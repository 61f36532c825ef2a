#include "run/envelope.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>

#include "json/append_line.h"
#include "json/writer.h"
#include "version.h"

namespace trovik::run {
namespace {

constexpr int64_t kSecondsPerDay = 86400;

struct CivilDate {
  int64_t year;
  unsigned month;  // 1 to 12
  unsigned day;    // 1 to 31
};

// The proleptic Gregorian date `days` days after 1970-01-01, through 400-year eras that start on
// 1 March so that the leap day falls at the end of each year.
CivilDate civil_from_days(int64_t days) {
  days += 719468;  // days from 0000-03-01 to 1970-01-01
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto day_of_era = static_cast<unsigned>(days - era * 146097);
  const unsigned year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const unsigned day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const unsigned shifted_month = (5 * day_of_year + 2) / 153;  // 0 is March
  const unsigned day = day_of_year - (153 * shifted_month + 2) / 5 + 1;
  const unsigned month = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
  return CivilDate{static_cast<int64_t>(year_of_era) + era * 400 + (month <= 2 ? 1 : 0), month,
                   day};
}

// "00" to "99", two bytes each.
constexpr auto kDigitPairs = [] {
  struct Table {
    char bytes[200] = {};
  } table;
  for (int i = 0; i < 100; ++i) {
    table.bytes[2 * static_cast<size_t>(i)] = static_cast<char>('0' + i / 10);
    table.bytes[2 * static_cast<size_t>(i) + 1] = static_cast<char>('0' + i % 10);
  }
  return table;
}();

// Writes `value` as exactly `width` decimal digits, zero-padded, ending just before `end`.
char* put_digits(char* end, uint64_t value, int width) {
  for (; width >= 2; width -= 2) {
    end -= 2;
    std::memcpy(end, kDigitPairs.bytes + 2 * (value % 100), 2);
    value /= 100;
  }
  if (width == 1) *--end = static_cast<char>('0' + value % 10);
  return end;
}

// The fixed parts of a record, with the punctuation between them, in key order. The value's text
// follows the last one.
constexpr std::string_view kCreatedAt = "{\"created_at\":\"";
constexpr std::string_view kElapsedMs = "\",\"elapsed_ms\":";
constexpr std::string_view kExperimentName = ",\"experiment_name\":";
constexpr std::string_view kKind = ",\"kind\":";
constexpr std::string_view kNote = ",\"note\":";
constexpr std::string_view kRunId = ",\"run_id\":";
constexpr std::string_view kSchemaVersion = ",\"schema_version\":1,\"trovik_version\":";
constexpr std::string_view kValue = ",\"value\":";
constexpr std::string_view kEnd = "}\n";

// A string's written form is at most six bytes (\u00XX) per byte, and two quotes.
size_t escaped_bound(std::string_view text) { return 6 * text.size() + 2; }

}  // namespace

void append_created_at(Timestamp utc, std::string& out) {
  // Floor division, so that an instant before 1970 still has its time of day in [0, 86400).
  int64_t days = utc.seconds / kSecondsPerDay;
  int64_t second_of_day = utc.seconds % kSecondsPerDay;
  if (second_of_day < 0) {
    second_of_day += kSecondsPerDay;
    days -= 1;
  }
  const CivilDate date = civil_from_days(days);

  char text[64];
  char* const end = text + sizeof text;
  char* p = end;
  p = put_digits(p, static_cast<uint64_t>(second_of_day % 60), 2);
  *--p = ':';
  p = put_digits(p, static_cast<uint64_t>(second_of_day / 60 % 60), 2);
  *--p = ':';
  p = put_digits(p, static_cast<uint64_t>(second_of_day / 3600), 2);
  *--p = 'T';
  p = put_digits(p, date.day, 2);
  *--p = '-';
  p = put_digits(p, date.month, 2);
  *--p = '-';
  if (date.year >= 0 && date.year <= 9999) {
    p = put_digits(p, static_cast<uint64_t>(date.year), 4);
    out.append(p, end);
  } else {
    // Outside the four-digit years the form is not fixed; these are printf's digits for them.
    char year[32];
    const int length = std::snprintf(year, sizeof year, "%04" PRId64, date.year);
    out.append(year, static_cast<size_t>(length));
    out.append(p, end);
  }

  const int64_t nanos = utc.nanoseconds;
  if (nanos != 0) {
    p = end;
    if (nanos % 1000000 == 0) {
      p = put_digits(p, static_cast<uint64_t>(nanos / 1000000), 3);
    } else if (nanos % 1000 == 0) {
      p = put_digits(p, static_cast<uint64_t>(nanos / 1000), 6);
    } else {
      p = put_digits(p, static_cast<uint64_t>(nanos), 9);
    }
    *--p = '.';
    out.append(p, end);
  }
  out.append("+00:00", 6);
}

std::string format_created_at(Timestamp utc) {
  std::string formatted;
  append_created_at(utc, formatted);
  return formatted;
}

uint64_t elapsed_ms(Timestamp start, Timestamp now) {
  if (now.seconds < start.seconds ||
      (now.seconds == start.seconds && now.nanoseconds < start.nanoseconds)) {
    return 0;
  }
  // Unsigned arithmetic: the difference of two signed seconds counts always fits in 64 unsigned
  // bits.
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

RecordFragments render_record_fragments(std::string_view run_id, std::string_view name) {
  RecordFragments fragments;
  fragments.through_kind.append(kExperimentName);
  json::write_string(name, fragments.through_kind);
  fragments.through_kind.append(kKind);
  fragments.through_value.append(kRunId);
  json::write_string(run_id, fragments.through_value);
  fragments.through_value.append(kSchemaVersion);
  json::write_string(TROVIK_VERSION, fragments.through_value);
  fragments.through_value.append(kValue);
  return fragments;
}

size_t record_overhead(const Run& run, std::string_view kind,
                       const std::optional<std::string>& note) {
  constexpr size_t kLongestCreatedAt = 64;
  constexpr size_t kLongestInteger = 20;
  size_t size = kCreatedAt.size() + kLongestCreatedAt + kElapsedMs.size() + kLongestInteger +
                run.fragments.through_kind.size() + escaped_bound(kind) +
                run.fragments.through_value.size() + kEnd.size();
  if (note) size += kNote.size() + escaped_bound(*note);
  return size;
}

void render_record(const Run& run, std::string_view kind, const std::optional<std::string>& note,
                   Timestamp created_at, uint64_t elapsed, std::string& text) {
  // The members before the value are rendered apart, then put in front of it.
  std::string head;
  head.reserve(record_overhead(run, kind, note));
  head.append(kCreatedAt);
  append_created_at(created_at, head);
  head.append(kElapsedMs);
  json::write_integer(elapsed, head);
  head.append(run.fragments.through_kind);
  json::write_string(kind, head);
  if (note) {
    head.append(kNote);
    json::write_string(*note, head);
  }
  head.append(run.fragments.through_value);
  // In place: when the caller reserved the overhead, a large value is moved, not copied.
  text.insert(0, head);
  text.append(kEnd);
}

Status append_record(const Run& run, std::string_view kind, std::string value_text,
                     const std::optional<std::string>& note) {
  // Wall clock first, then the monotonic one: both after the payload, so a run_start record's times
  // include the git probe and a track record's include the conversion.
  const Timestamp created_at = realtime_now();
  const uint64_t elapsed = elapsed_ms(run.start, monotonic_now());
  render_record(run, kind, note, created_at, elapsed, value_text);
  return json::append_line(run.location, value_text);
}

}  // namespace trovik::run
