#include "run/track.h"

#include <utility>

#include "run/envelope.h"

namespace trovik::run {

Status track_value(const Run& run, json::Value value, const std::optional<std::string>& note) {
  return append_record(run, "track", std::move(value), note);
}

}  // namespace trovik::run
