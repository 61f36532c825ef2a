#include "read/timestamp.h"

#include <charconv>
#include <cstdio>
#include <ctime>

namespace trovik::read {
namespace {

constexpr int64_t kNsPerSecond = 1'000'000'000;

bool digits(std::string_view text, size_t at, size_t count, int& out) {
  if (at + count > text.size()) return false;
  int value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  out = value;
  return true;
}

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's days_from_civil).
int64_t days_from_civil(int64_t y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

std::string format_time(int64_t ns, bool local) {
  const time_t seconds = static_cast<time_t>(ns / kNsPerSecond);
  struct tm parts {};
  if ((local ? localtime_r(&seconds, &parts) : gmtime_r(&seconds, &parts)) == nullptr) return "?";
  char text[32];
  const size_t size = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return std::string(text, size);
}

}  // namespace

std::optional<int64_t> parse_timestamp(std::string_view text) {
  int year, month, day, hour, minute, second;
  if (!digits(text, 0, 4, year) || !digits(text, 5, 2, month) || !digits(text, 8, 2, day) ||
      !digits(text, 11, 2, hour) || !digits(text, 14, 2, minute) || !digits(text, 17, 2, second)) {
    return std::nullopt;
  }
  if (text[4] != '-' || text[7] != '-' || (text[10] != 'T' && text[10] != 't' && text[10] != ' ') ||
      text[13] != ':' || text[16] != ':' || month < 1 || month > 12 || day < 1 || day > 31) {
    return std::nullopt;
  }
  size_t at = 19;
  int64_t fraction_ns = 0;
  if (at < text.size() && text[at] == '.') {
    ++at;
    int64_t scale = 100'000'000;
    const size_t start = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
      fraction_ns += (text[at] - '0') * scale;
      scale /= 10;
      ++at;
    }
    if (at == start) return std::nullopt;
  }
  int64_t offset_seconds = 0;
  if (at < text.size() && (text[at] == 'Z' || text[at] == 'z')) {
    ++at;
  } else {
    int offset_hours, offset_minutes;
    if (at + 6 != text.size() || (text[at] != '+' && text[at] != '-') ||
        !digits(text, at + 1, 2, offset_hours) || text[at + 3] != ':' ||
        !digits(text, at + 4, 2, offset_minutes)) {
      return std::nullopt;
    }
    offset_seconds = (offset_hours * 3600 + offset_minutes * 60) * (text[at] == '-' ? -1 : 1);
    at += 6;
  }
  if (at != text.size()) return std::nullopt;
  const int64_t seconds = days_from_civil(year, month, day) * 86400 + hour * 3600 + minute * 60 +
                          second - offset_seconds;
  return seconds * kNsPerSecond + fraction_ns;
}

std::string format_local_time(int64_t ns) { return format_time(ns, true); }
std::string format_utc_time(int64_t ns) { return format_time(ns, false); }

std::string format_duration_ms(uint64_t ms) {
  char text[48];
  if (ms < 1000) {
    std::snprintf(text, sizeof text, "%llums", static_cast<unsigned long long>(ms));
  } else if (ms < 60'000) {
    std::snprintf(text, sizeof text, "%.1fs", static_cast<double>(ms) / 1000);
  } else if (ms < 3'600'000) {
    std::snprintf(text, sizeof text, "%llum%02llus", static_cast<unsigned long long>(ms / 60'000),
                  static_cast<unsigned long long>(ms / 1000 % 60));
  } else if (ms < 86'400'000) {
    std::snprintf(text, sizeof text, "%lluh%02llum",
                  static_cast<unsigned long long>(ms / 3'600'000),
                  static_cast<unsigned long long>(ms / 60'000 % 60));
  } else {
    std::snprintf(text, sizeof text, "%llud%02lluh",
                  static_cast<unsigned long long>(ms / 86'400'000),
                  static_cast<unsigned long long>(ms / 3'600'000 % 24));
  }
  return text;
}

std::string format_age(int64_t ns, int64_t now) {
  const int64_t seconds = (now - ns) / kNsPerSecond;
  if (seconds < 60) return "just now";
  char text[32];
  if (seconds < 3600) {
    std::snprintf(text, sizeof text, "%lldm ago", static_cast<long long>(seconds / 60));
  } else if (seconds < 86400) {
    std::snprintf(text, sizeof text, "%lldh ago", static_cast<long long>(seconds / 3600));
  } else {
    std::snprintf(text, sizeof text, "%lldd ago", static_cast<long long>(seconds / 86400));
  }
  return text;
}

std::optional<int64_t> parse_duration(std::string_view text) {
  if (text.size() < 2) return std::nullopt;
  int64_t count = 0;
  const char* end = text.data() + text.size() - 1;
  const std::from_chars_result parsed = std::from_chars(text.data(), end, count);
  if (parsed.ec != std::errc() || parsed.ptr != end || count < 0) return std::nullopt;
  int64_t unit_seconds;
  switch (*end) {
    case 's':
      unit_seconds = 1;
      break;
    case 'm':
      unit_seconds = 60;
      break;
    case 'h':
      unit_seconds = 3600;
      break;
    case 'd':
      unit_seconds = 86400;
      break;
    case 'w':
      unit_seconds = 7 * 86400;
      break;
    default:
      return std::nullopt;
  }
  if (count > INT64_MAX / kNsPerSecond / unit_seconds) return std::nullopt;
  return count * unit_seconds * kNsPerSecond;
}

int64_t now_ns() {
  struct timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<int64_t>(now.tv_sec) * kNsPerSecond + now.tv_nsec;
}

}  // namespace trovik::read
