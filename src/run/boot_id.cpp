#include "run/boot_id.h"

#include <fcntl.h>

#include <cerrno>

#include "util/scoped_fd.h"
#include "util/system_calls.h"

namespace trovik::run {

std::optional<std::string> current_boot_id() {
  int fd;
  do {
    fd = sys_open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC, 0);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return std::nullopt;
  ScopedFd file(fd);
  // A UUID and a line feed; anything longer is not a boot id.
  char text[64];
  ssize_t n;
  do {
    n = sys_pread(file.get(), text, sizeof text, 0);
  } while (n < 0 && errno == EINTR);
  if (n <= 0 || static_cast<size_t>(n) == sizeof text) return std::nullopt;
  std::string id(text, static_cast<size_t>(n));
  while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
  if (id.empty()) return std::nullopt;
  return id;
}

}  // namespace trovik::run
