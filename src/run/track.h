#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "run/run.h"
#include "util/status.h"

namespace trovik::run {

// Appends one "track" record whose value is `value_text`, the value's compact JSON text (as
// json::write_json writes it), carrying `note` when given. The text becomes the record's line in
// place.
Status track_value(const Run& run, std::string value_text, const std::optional<std::string>& note);

// At most how many bytes a track record adds around its value's text: room to reserve in the
// buffer the text is written to, so that it does not move again.
size_t track_record_overhead(const Run& run, const std::optional<std::string>& note);

}  // namespace trovik::run
