#pragma once

#include <string>
#include <string_view>

#include "util/status.h"

namespace trovik {

// Writes `content` to `path` all or nothing: into a new temporary file beside it, flushed to disk,
// then renamed over `path`. On any failure `path` is left as it was (absent, or the earlier file)
// and the temporary file is removed.
// Without `durable`, the file is not flushed before the rename: for files that are only ever a
// copy (a cache), where a crash may leave the old file, the new one, or one that the reader must
// check anyway, and where a flush per file would cost more than what it keeps.
Status write_file_atomically(const std::string& path, std::string_view content,
                             bool durable = true);

}  // namespace trovik
