#include "json/append_line.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "json/unfinished_lines.h"
#include "util/os_error.h"
#include "util/scoped_fd.h"
#include "util/system_calls.h"

namespace trovik::json {
namespace {

// Hands `line` to the kernel, continuing short writes and repeating interrupted ones. `written`
// counts the bytes that reached the file, also on failure.
Status write_line(int fd, std::string_view line, size_t& written) {
  written = 0;
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

int open_retrying(const char* path, int flags, mode_t mode) {
  int fd;
  do {
    fd = sys_open(path, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Whether the file open for appending as `fd` (at `path`) is empty or ends in a line feed. When
// that cannot be found out, the answer is no: a blank line costs a reader less than a good record
// glued onto a torn one.
bool ends_a_line(const std::string& path, int fd) {
  struct stat info {};
  if (sys_fstat(fd, &info) != 0) return false;
  if (info.st_size == 0) return true;
  // The append descriptor is write-only; the byte is read through a descriptor of its own.
  const int reader = open_retrying(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (reader < 0) return false;
  ScopedFd file(reader);
  char last = 0;
  ssize_t n;
  do {
    n = sys_pread(file.get(), &last, 1, info.st_size - 1);
  } while (n < 0 && errno == EINTR);
  return n == 1 && last == '\n';
}

}  // namespace

Status append_line(const std::string& path, std::string_view line) {
  const int fd = open_retrying(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return os_error(errno);
  ScopedFd file(fd);

  // Only after an earlier append of this process tore a line of this file: the record then opens
  // with a line feed of its own, in the same single write.
  UnfinishedLines& unfinished = UnfinishedLines::process();
  const bool was_unfinished = unfinished.contains(path);
  std::string fresh_line;
  if (was_unfinished && !ends_a_line(path, file.get())) {
    fresh_line.reserve(line.size() + 1);
    fresh_line.push_back('\n');
    fresh_line.append(line);
    line = fresh_line;
  }

  size_t written = 0;
  Status status = write_line(file.get(), line, written);
  // A failed close is ignored: the bytes are the kernel's already, and nothing could be undone.
  (void)sys_close(file.release());
  if (status.ok()) {
    if (was_unfinished) unfinished.remove(path);
  } else if (written > 0) {
    unfinished.add(path);
  }
  return status;
}

}  // namespace trovik::json
