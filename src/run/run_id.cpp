#include "run/run_id.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "util/scoped_fd.h"

namespace trovik::run {
namespace {

constexpr char kFaultPrefix[] = "could not retrieve random bytes for uuid: ";

Status random_fault(int error_number) {
  if (error_number != 0) {
    return Status::InternalFault(std::string(kFaultPrefix) +
                                 "OS Error: " + std::to_string(error_number));
  }
  return Status::InternalFault(std::string(kFaultPrefix) + "the random source ended early");
}

// Fills `buffer` from /dev/urandom, for kernels without the getrandom system call.
Status read_urandom(uint8_t* buffer, size_t size) {
  int fd = -1;
  do {
    fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return random_fault(errno);
  ScopedFd file(fd);
  size_t filled = 0;
  while (filled < size) {
    ssize_t n = ::read(file.get(), buffer + filled, size - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return random_fault(errno);
    if (n == 0) return random_fault(0);
    filled += static_cast<size_t>(n);
  }
  return Status::Ok();
}

// The system call itself rather than glibc's getrandom() wrapper, which exists only from
// glibc 2.25: the wheel targets glibc 2.17.
ssize_t kernel_getrandom(uint8_t* buffer, size_t size) {
  return static_cast<ssize_t>(::syscall(SYS_getrandom, buffer, size, 0U));
}

Status fill_random(uint8_t* buffer, size_t size) {
  size_t filled = 0;
  while (filled < size) {
    ssize_t n = kernel_getrandom(buffer + filled, size - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == ENOSYS) return read_urandom(buffer + filled, size - filled);
    if (n < 0) return random_fault(errno);
    filled += static_cast<size_t>(n);
  }
  return Status::Ok();
}

}  // namespace

std::string format_uuid_v4(std::array<uint8_t, 16> bytes) {
  bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 9562 variant
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(36);
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += kHex[bytes[i] >> 4];
    text += kHex[bytes[i] & 0x0F];
  }
  return text;
}

Result<std::string> new_run_id() {
  std::array<uint8_t, 16> bytes{};
  Status status = fill_random(bytes.data(), bytes.size());
  if (!status.ok()) return status;
  return format_uuid_v4(bytes);
}

}  // namespace trovik::run
