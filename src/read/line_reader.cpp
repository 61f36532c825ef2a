#include "read/line_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "util/os_error.h"
#include "util/system_calls.h"

namespace trovik::read {

Result<LineReader> LineReader::open(const std::string& path, uint64_t begin, uint64_t end) {
  int fd;
  do {
    fd = sys_open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Status::OSError("cannot open " + path + ": " + os_error_text(errno));
  // A small file gets a buffer its size, so that reading many small runs costs no large blocks.
  ScopedFd owned(fd);
  size_t capacity = kBlockSize;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<uint64_t>(info.st_size) < kBlockSize / 2) {
    capacity = static_cast<size_t>(info.st_size) + kMinimumCapacity;
  }
  if (begin > 0 && ::lseek(fd, static_cast<off_t>(begin), SEEK_SET) < 0) {
    return Status::OSError("cannot read " + path + ": " + os_error_text(errno));
  }
  LineReader reader(std::move(owned), path, capacity);
  if (end != UINT64_MAX) reader.remaining_ = end > begin ? end - begin : 0;
  return reader;
}

void LineReader::make_room() {
  if (!buffer_) {
    capacity_ = first_capacity_;
    buffer_ = std::make_unique_for_overwrite<char[]>(capacity_);
    return;
  }
  if (begin_ > 0) {
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  // Too little room for a good read (a line longer than the buffer, or a file that grew): the
  // buffer grows, so a line of any length is held whole.
  if (capacity_ - end_ < capacity_ / 2) {
    const size_t capacity = capacity_ * 2;
    std::unique_ptr<char[]> grown = std::make_unique_for_overwrite<char[]>(capacity);
    std::memcpy(grown.get(), buffer_.get(), end_);
    buffer_ = std::move(grown);
    capacity_ = capacity;
  }
}

Result<size_t> LineReader::fill() {
  const size_t room = capacity_ - end_;
  const size_t wanted = remaining_ < room ? static_cast<size_t>(remaining_) : room;
  if (wanted == 0) return size_t{0};
  ssize_t count;
  do {
    count = sys_read(fd_.get(), buffer_.get() + end_, wanted);
  } while (count < 0 && errno == EINTR);
  if (count < 0) return Status::OSError("cannot read " + path_ + ": " + os_error_text(errno));
  end_ += static_cast<size_t>(count);
  if (remaining_ != UINT64_MAX) remaining_ -= static_cast<uint64_t>(count);
  return static_cast<size_t>(count);
}

}  // namespace trovik::read
