#pragma once

#include <optional>
#include <string>

#include "json/value.h"
#include "run/run.h"
#include "util/status.h"

namespace trovik::run {

// Appends one "track" record carrying `value` and, when given, `note`.
Status track_value(const Run& run, json::Value value, const std::optional<std::string>& note);

}  // namespace trovik::run
