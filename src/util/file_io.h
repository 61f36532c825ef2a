#pragma once

#include <string>
#include <string_view>

#include "util/scoped_fd.h"
#include "util/status.h"

namespace trovik {

// Opens `path` through the system-call seam, repeating an interrupted open; O_CLOEXEC is always
// added to `flags`.
Result<ScopedFd> open_file(const std::string& path, int flags, mode_t mode = 0);

// Hands all of `bytes` to the kernel, continuing short writes and repeating interrupted ones.
Status write_all(int fd, std::string_view bytes);

// Reads up to `size` bytes, repeating an interrupted read; 0 at end of file.
Result<size_t> read_some(int fd, char* buffer, size_t size);

// The first `limit` bytes of the file at `path` (all of it when shorter), read until end of file
// rather than by the file's stated size, which is 0 for files under /proc.
Result<std::string> read_file_head(const std::string& path, size_t limit);

}  // namespace trovik
