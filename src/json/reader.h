#pragma once

#include <string_view>

#include "json/value.h"
#include "util/status.h"

namespace trovik::json {

// Reads exactly one JSON value (optionally surrounded by whitespace) from UTF-8 text. A failure is
// a ValueError: a description, then " at line L column C", both counted from 1 in bytes, for the
// byte where reading stopped (the end of the text when it ended too early, so "" gives column 0).
// Numbers without fraction or exponent read as integers: 64-bit when they fit (negative ones as
// signed), otherwise as their digit text; all others as the double nearest to their text. At most
// 127 arrays and objects may be open.
Result<Value> read_json(std::string_view text);

}  // namespace trovik::json
