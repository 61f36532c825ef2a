#pragma once

#include <string>
#include <string_view>

#include "util/status.h"

namespace trovik {

// Writes `content` to `path` all or nothing: into a new temporary file beside it, flushed to disk,
// then renamed over `path`. On any failure `path` is left as it was (absent, or the earlier file)
// and the temporary file is removed. A symbolic link at `path` is followed: the file it ends at is
// the one replaced, in its own directory, and the link stays. A path that exists but is not a
// regular file (a device, a FIFO, a directory) is refused with a ValueError and left alone.
// Without `durable`, the file is not flushed before the rename: for files that are only ever a
// copy (a cache), where a crash may leave the old file, the new one, or one that the reader must
// check anyway, and where a flush per file would cost more than what it keeps.
Status write_file_atomically(const std::string& path, std::string_view content,
                             bool durable = true);

// The file that writing to `path` replaces: `path` with its symbolic links followed (a dangling
// link gives the path it points to), or a ValueError when that exists and is not a regular file.
Result<std::string> file_to_replace(const std::string& path);

}  // namespace trovik
