#pragma once

#include <utility>

#include "util/system_calls.h"

namespace trovik {

// Owns a file descriptor and closes it when it goes out of scope. A failed close is ignored: by
// then nothing can be done about it, and retrying close after EINTR would risk closing a
// descriptor another thread has just been given.
class ScopedFd {
 public:
  ScopedFd() = default;
  explicit ScopedFd(int fd) : fd_(fd) {}
  ScopedFd(ScopedFd&& other) noexcept : fd_(other.release()) {}
  ScopedFd& operator=(ScopedFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  ~ScopedFd() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }
  void reset(int fd = -1) {
    if (fd_ >= 0) sys_close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

}  // namespace trovik
