#include "run/track.h"

#include <string_view>
#include <utility>

#include "run/envelope.h"

namespace trovik::run {
namespace {

constexpr std::string_view kKind = "track";

}  // namespace

Status track_value(const Run& run, std::string value_text, const std::optional<std::string>& note) {
  return append_record(run, kKind, std::move(value_text), note);
}

size_t track_record_overhead(const Run& run, const std::optional<std::string>& note) {
  return record_overhead(run, kKind, note);
}

}  // namespace trovik::run
