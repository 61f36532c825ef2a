#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "json/value.h"

namespace trovik::read {

// What a run_end record's value says, each part missing when the record lacks it or holds
// something else there. Texts are as recorded: quote them for where they are shown.
struct RunEnding {
  std::string status;
  std::optional<std::string> exception_type;
  std::optional<std::string> exception_message;
  std::optional<std::string> traceback;
  std::optional<double> cpu_user_s;
  std::optional<double> cpu_system_s;
  std::optional<uint64_t> max_rss_bytes;
};
RunEnding run_ending(const json::Value& run_end);

// "RuntimeError: boom" ("RuntimeError" alone for an empty message); nothing without an exception.
std::optional<std::string> exception_text(const RunEnding& ending);
// "1.25 s user, 0.03 s system CPU, 118 MiB peak memory"; nothing when no figure was recorded.
std::optional<std::string> resources_text(const RunEnding& ending);

// The last `count` lines of a text (a traceback): its end, which holds the error.
std::string_view last_lines(std::string_view text, size_t count);
size_t line_count(std::string_view text);

}  // namespace trovik::read
