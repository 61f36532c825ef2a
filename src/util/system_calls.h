#pragma once

#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <cstddef>
#include <optional>

namespace trovik {

// The system calls whose failure changes what the module reports. Each wrapper below behaves
// exactly like the call it names (same arguments, same result, errno as the call sets it) unless a
// fault injector is installed; then the injector may make it fail first. Production never installs
// one, so the cost is one load of a pointer and a branch that is always taken the same way.
enum class SystemCall {
  kOpen,
  kWrite,
  kClose,
  kPipe,
  kSpawn,
  kMkdir,
  kRead,
  kStat,
  kFsync,
  kRename,
  kFutimens,
  kSocket,
  kBind,
  kListen,
  kAccept,
  kThread,
};

class FaultInjector {
 public:
  virtual ~FaultInjector() = default;

  // Asked before every wrapped call: an error number makes the call fail with it. An injected
  // failure reaches the kernel only for close, which Linux always completes (the descriptor is
  // released even when close reports an error), so an injected close failure does too.
  virtual std::optional<int> should_fail(SystemCall call) = 0;

  // Asked for every write that should_fail let through: a count below `size` makes the kernel see
  // only that many bytes, as a short write would; zero makes the write accept nothing.
  virtual std::optional<size_t> short_write(size_t size) {
    (void)size;
    return std::nullopt;
  }
};

// Installs `injector` for the whole process (null removes it) and returns the one it replaces.
// The caller keeps ownership and must remove it before destroying it.
FaultInjector* install_fault_injector(FaultInjector* injector);

int sys_open(const char* path, int flags, mode_t mode);
ssize_t sys_write(int fd, const void* buffer, size_t size);
int sys_close(int fd);
int sys_pipe2(int ends[2], int flags);
// Returns an error number, as posix_spawnp does; errno is left alone.
int sys_posix_spawnp(pid_t* pid, const char* file, const posix_spawn_file_actions_t* actions,
                     const posix_spawnattr_t* attributes, char* const argv[], char* const envp[]);
int sys_mkdir(const char* path, mode_t mode);
ssize_t sys_pread(int fd, void* buffer, size_t size, off_t offset);
int sys_fstat(int fd, struct stat* info);
ssize_t sys_read(int fd, void* buffer, size_t size);
int sys_fsync(int fd);
int sys_rename(const char* from, const char* to);
int sys_futimens(int fd, const struct timespec times[2]);
int sys_socket(int domain, int type, int protocol);
int sys_bind(int fd, const struct sockaddr* address, socklen_t length);
int sys_listen(int fd, int backlog);
int sys_accept4(int fd, struct sockaddr* address, socklen_t* length, int flags);

// The error an installed injector makes `call` fail with, if any: for a call not wrapped here
// (starting a thread, see read/thread_start.h).
std::optional<int> injected_failure(SystemCall call);

}  // namespace trovik
