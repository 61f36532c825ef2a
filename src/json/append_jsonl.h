#pragma once

#include <string>

#include "json/value.h"
#include "util/status.h"

namespace trovik::json {

// Appends `value` as one line of compact JSON (terminated by a line feed) to the file at `path`,
// creating it (mode 0666 before umask) when missing. The whole line is handed to the kernel in one
// write, so lines appended by several processes never interleave. A failure while bytes of the
// value's text are unwritten is a ValueError; a failure with only the line feed left is an OSError;
// failing to open is an OSError. What was written stays.
Status append_jsonl(const std::string& path, const Value& value);

}  // namespace trovik::json
