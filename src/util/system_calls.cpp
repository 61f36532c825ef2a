#include "util/system_calls.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace trovik {
namespace {

// Atomic so that installing from one thread while another calls is not a data race; on x86-64 the
// acquire load is an ordinary load.
std::atomic<FaultInjector*> installed_injector{nullptr};

FaultInjector* active_injector() { return installed_injector.load(std::memory_order_acquire); }

// The injected error for `call`, if any; only consulted when an injector is installed.
std::optional<int> injected_error(SystemCall call) {
  FaultInjector* injector = active_injector();
  if (injector == nullptr) [[likely]] {
    return std::nullopt;
  }
  return injector->should_fail(call);
}

}  // namespace

FaultInjector* install_fault_injector(FaultInjector* injector) {
  return installed_injector.exchange(injector, std::memory_order_acq_rel);
}

int sys_open(const char* path, int flags, mode_t mode) {
  if (std::optional<int> error = injected_error(SystemCall::kOpen)) [[unlikely]] {
    errno = *error;
    return -1;
  }
  return ::open(path, flags, mode);
}

ssize_t sys_write(int fd, const void* buffer, size_t size) {
  FaultInjector* injector = active_injector();
  if (injector != nullptr) [[unlikely]] {
    if (std::optional<int> error = injector->should_fail(SystemCall::kWrite)) {
      errno = *error;
      return -1;
    }
    if (std::optional<size_t> accepted = injector->short_write(size);
        accepted && *accepted < size) {
      if (*accepted == 0) return 0;
      size = *accepted;
    }
  }
  return ::write(fd, buffer, size);
}

int sys_close(int fd) {
  if (std::optional<int> error = injected_error(SystemCall::kClose)) [[unlikely]] {
    (void)::close(fd);
    errno = *error;
    return -1;
  }
  return ::close(fd);
}

int sys_pipe2(int ends[2], int flags) {
  if (std::optional<int> error = injected_error(SystemCall::kPipe)) [[unlikely]] {
    errno = *error;
    return -1;
  }
  return ::pipe2(ends, flags);
}

int sys_posix_spawnp(pid_t* pid, const char* file, const posix_spawn_file_actions_t* actions,
                     const posix_spawnattr_t* attributes, char* const argv[], char* const envp[]) {
  if (std::optional<int> error = injected_error(SystemCall::kSpawn)) [[unlikely]] {
    return *error;
  }
  return ::posix_spawnp(pid, file, actions, attributes, argv, envp);
}

int sys_mkdir(const char* path, mode_t mode) {
  if (std::optional<int> error = injected_error(SystemCall::kMkdir)) [[unlikely]] {
    errno = *error;
    return -1;
  }
  return ::mkdir(path, mode);
}

ssize_t sys_pread(int fd, void* buffer, size_t size, off_t offset) {
  if (std::optional<int> error = injected_error(SystemCall::kRead)) [[unlikely]] {
    errno = *error;
    return -1;
  }
  return ::pread(fd, buffer, size, offset);
}

int sys_fstat(int fd, struct stat* info) {
  if (std::optional<int> error = injected_error(SystemCall::kStat)) [[unlikely]] {
    errno = *error;
    return -1;
  }
  return ::fstat(fd, info);
}

ssize_t sys_read(int fd, void* buffer, size_t size) {
  if (std::optional<int> error = injected_error(SystemCall::kRead)) [[unlikely]] {
    errno = *error;
    return -1;
  }
  return ::read(fd, buffer, size);
}

int sys_fsync(int fd) {
  if (std::optional<int> error = injected_error(SystemCall::kFsync)) [[unlikely]] {
    errno = *error;
    return -1;
  }
  return ::fsync(fd);
}

int sys_rename(const char* from, const char* to) {
  if (std::optional<int> error = injected_error(SystemCall::kRename)) [[unlikely]] {
    errno = *error;
    return -1;
  }
  return ::rename(from, to);
}

int sys_futimens(int fd, const struct timespec times[2]) {
  if (std::optional<int> error = injected_error(SystemCall::kFutimens)) [[unlikely]] {
    errno = *error;
    return -1;
  }
  return ::futimens(fd, times);
}

int sys_socket(int domain, int type, int protocol) {
  if (std::optional<int> error = injected_error(SystemCall::kSocket)) [[unlikely]] {
    errno = *error;
    return -1;
  }
  return ::socket(domain, type, protocol);
}

int sys_bind(int fd, const struct sockaddr* address, socklen_t length) {
  if (std::optional<int> error = injected_error(SystemCall::kBind)) [[unlikely]] {
    errno = *error;
    return -1;
  }
  return ::bind(fd, address, length);
}

int sys_listen(int fd, int backlog) {
  if (std::optional<int> error = injected_error(SystemCall::kListen)) [[unlikely]] {
    errno = *error;
    return -1;
  }
  return ::listen(fd, backlog);
}

int sys_accept4(int fd, struct sockaddr* address, socklen_t* length, int flags) {
  if (std::optional<int> error = injected_error(SystemCall::kAccept)) [[unlikely]] {
    errno = *error;
    return -1;
  }
  return ::accept4(fd, address, length, flags);
}

std::optional<int> injected_failure(SystemCall call) { return injected_error(call); }

}  // namespace trovik
