#pragma once

#include <string>
#include <string_view>

#include "util/status.h"

namespace trovik::json {

// Appends `line` (which carries its own line feed) to the file at `path`, creating it (mode 0666
// before umask) when missing: one open, the whole line handed to the kernel in one write call
// (continued after a short write, repeated when interrupted), one close. A failure while bytes
// before the final one are unwritten is a ValueError; a failure with only the last byte (the line
// feed) left is an OSError; failing to open is an OSError. What was written stays; but once an
// append of this process has left part of a line in the file, the next one starts a fresh line
// if the file does not end in a line feed (see unfinished_lines.h).
Status append_line(const std::string& path, std::string_view line);

}  // namespace trovik::json
