#include "git/index_copy.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>

#include "util/file_io.h"
#include "util/os_error.h"
#include "util/system_calls.h"

namespace trovik::git {

Status copy_index_keeping_mtime(const std::string& from, const std::string& to) {
  Result<ScopedFd> source = open_file(from, O_RDONLY);
  if (!source.ok()) return std::move(source).status();
  struct stat original {};
  if (::fstat(source.value().get(), &original) != 0) return os_error(errno);
  Result<ScopedFd> copy = open_file(to, O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (!copy.ok()) return std::move(copy).status();

  std::array<char, 1 << 16> buffer{};
  for (;;) {
    Result<size_t> got = read_some(source.value().get(), buffer.data(), buffer.size());
    if (!got.ok()) return std::move(got).status();
    if (got.value() == 0) break;
    Status written = write_all(copy.value().get(), {buffer.data(), got.value()});
    if (!written.ok()) return written;
  }
  // Set after the last write, which would move it again.
  const std::array<struct timespec, 2> times{{{0, UTIME_OMIT}, original.st_mtim}};
  if (sys_futimens(copy.value().get(), times.data()) != 0) return os_error(errno);
  return Status::Ok();
}

}  // namespace trovik::git
