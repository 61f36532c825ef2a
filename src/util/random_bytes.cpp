#include "util/random_bytes.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "util/scoped_fd.h"

namespace trovik {
namespace {

Status random_failure(int error_number) {
  if (error_number != 0) return Status::OSError("OS Error: " + std::to_string(error_number));
  return Status::OSError("the random source ended early");
}

// For kernels without the getrandom system call.
Status read_urandom(uint8_t* buffer, size_t size) {
  int fd = -1;
  do {
    fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return random_failure(errno);
  ScopedFd file(fd);
  size_t filled = 0;
  while (filled < size) {
    ssize_t n = ::read(file.get(), buffer + filled, size - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return random_failure(errno);
    if (n == 0) return random_failure(0);
    filled += static_cast<size_t>(n);
  }
  return Status::Ok();
}

// The system call itself rather than glibc's getrandom() wrapper, which exists only from
// glibc 2.25: the wheel targets glibc 2.17.
ssize_t kernel_getrandom(uint8_t* buffer, size_t size) {
  return static_cast<ssize_t>(::syscall(SYS_getrandom, buffer, size, 0U));
}

}  // namespace

Status fill_random_bytes(uint8_t* buffer, size_t size) {
  size_t filled = 0;
  while (filled < size) {
    ssize_t n = kernel_getrandom(buffer + filled, size - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == ENOSYS) return read_urandom(buffer + filled, size - filled);
    if (n < 0) return random_failure(errno);
    filled += static_cast<size_t>(n);
  }
  return Status::Ok();
}

Result<std::string> random_hex(size_t size) {
  std::vector<uint8_t> bytes(size);
  Status status = fill_random_bytes(bytes.data(), bytes.size());
  if (!status.ok()) return status;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * size);
  for (uint8_t byte : bytes) {
    text += kHex[byte >> 4];
    text += kHex[byte & 0x0F];
  }
  return text;
}

}  // namespace trovik
