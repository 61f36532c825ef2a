#include "util/file_io.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>

#include "util/os_error.h"
#include "util/system_calls.h"

namespace trovik {

Result<ScopedFd> open_file(const std::string& path, int flags, mode_t mode) {
  int fd;
  do {
    fd = sys_open(path.c_str(), flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return os_error(errno);
  return ScopedFd(fd);
}

Status write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = sys_write(fd, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) return Status::OSError("failed to write whole buffer");
    return os_error(errno);
  }
  return Status::Ok();
}

Result<size_t> read_some(int fd, char* buffer, size_t size) {
  for (;;) {
    const ssize_t n = sys_read(fd, buffer, size);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno != EINTR) return os_error(errno);
  }
}

Result<std::string> read_file_head(const std::string& path, size_t limit) {
  Result<ScopedFd> file = open_file(path, O_RDONLY);
  if (!file.ok()) return std::move(file).status();
  std::string contents;
  constexpr size_t kChunk = 8192;
  while (contents.size() < limit) {
    const size_t offset = contents.size();
    contents.resize(offset + std::min(kChunk, limit - offset));
    Result<size_t> got =
        read_some(file.value().get(), contents.data() + offset, contents.size() - offset);
    if (!got.ok()) return std::move(got).status();
    contents.resize(offset + got.value());
    if (got.value() == 0) break;
  }
  return contents;
}

}  // namespace trovik
