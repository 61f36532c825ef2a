#pragma once

#include <string_view>

#include "json/value.h"
#include "util/status.h"

namespace trovik::json {

// Reads exactly one JSON value (optionally surrounded by whitespace) from UTF-8 text. A failure is
// a ValueError whose message is a description, " at line L column C" (both counted from 1, in bytes).
Result<Value> read_json(std::string_view text);

}  // namespace trovik::json
