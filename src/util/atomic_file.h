#pragma once

#include <string>
#include <string_view>

#include "util/status.h"

namespace trovik {

// Writes `content` to `path` all or nothing: into a new temporary file beside it, flushed to disk,
// then renamed over `path`. On any failure `path` is left as it was (absent, or the earlier file)
// and the temporary file is removed.
Status write_file_atomically(const std::string& path, std::string_view content);

}  // namespace trovik
