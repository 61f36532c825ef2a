#include "util/file_io.h"

#include <fcntl.h>

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

}  // namespace trovik
