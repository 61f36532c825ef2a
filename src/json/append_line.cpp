#include "json/append_line.h"

#include <fcntl.h>

#include <cerrno>

#include "util/os_error.h"
#include "util/scoped_fd.h"
#include "util/system_calls.h"

namespace trovik::json {
namespace {

// Hands `line` to the kernel, continuing short writes and repeating interrupted ones.
Status write_line(int fd, std::string_view line) {
  size_t written = 0;
  while (written < line.size()) {
    const ssize_t n = sys_write(fd, line.data() + written, line.size() - written);
    if (n > 0) {
      written += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // A record cut short inside its text is a ValueError; one that lacks only its line feed is an
    // OSError, as a failed open is.
    const ErrorKind kind = written + 1 < line.size() ? ErrorKind::kValueError : ErrorKind::kOSError;
    if (n == 0) {
      std::string message = "failed to write whole buffer";
      return kind == ErrorKind::kValueError ? Status::ValueError(std::move(message))
                                            : Status::OSError(std::move(message));
    }
    return os_error(errno, kind);
  }
  return Status::Ok();
}

}  // namespace

Status append_line(const std::string& path, std::string_view line) {
  int fd;
  do {
    fd = sys_open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return os_error(errno);
  ScopedFd file(fd);

  Status written = write_line(file.get(), line);
  // A failed close is ignored: the bytes are the kernel's already, and nothing could be undone.
  (void)sys_close(file.release());
  return written;
}

}  // namespace trovik::json
