#include "read/line_reader.h"

#include <fcntl.h>

#include <cerrno>
#include <utility>

#include "util/os_error.h"
#include "util/system_calls.h"

namespace trovik::read {

Result<LineReader> LineReader::open(const std::string& path) {
  int fd;
  do {
    fd = sys_open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Status::OSError("cannot open " + path + ": " + os_error_text(errno));
  return LineReader(ScopedFd(fd), path);
}

void LineReader::make_room() {
  if (buffer_.empty()) {
    buffer_.resize(kBlockSize);
    return;
  }
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  // One line longer than the buffer: the buffer grows to hold it whole.
  if (buffer_.size() - end_ < kBlockSize / 2) buffer_.resize(buffer_.size() * 2);
}

Result<size_t> LineReader::fill() {
  ssize_t count;
  do {
    count = sys_read(fd_.get(), buffer_.data() + end_, buffer_.size() - end_);
  } while (count < 0 && errno == EINTR);
  if (count < 0) return Status::OSError("cannot read " + path_ + ": " + os_error_text(errno));
  end_ += static_cast<size_t>(count);
  return static_cast<size_t>(count);
}

}  // namespace trovik::read
