#include "read/line_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
  Result<LineReader> reader = from_descriptor(ScopedFd(fd), path, begin);
  if (reader.ok() && end != UINT64_MAX) reader.value().remaining_ = end > begin ? end - begin : 0;
  return reader;
}

Result<LineReader> LineReader::from_descriptor(ScopedFd fd, std::string path, uint64_t begin,
                                               bool keep_tail) {
  // A few bytes to read get a buffer their size, so that reading many small runs, or what was
  // appended to a large one, costs no large blocks.
  size_t capacity = kBlockSize;
  struct stat info {};
  if (::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode)) {
    const uint64_t size = static_cast<uint64_t>(info.st_size);
    const uint64_t to_read = size > begin ? size - begin : 0;
    if (to_read < kBlockSize / 2) {
      capacity = static_cast<size_t>(to_read) + kMinimumCapacity + (keep_tail ? kTailSize : 0);
    }
  }
  LineReader reader(std::move(fd), std::move(path), capacity, keep_tail ? kTailSize : 0);
  Status status = reader.seek(begin);
  if (!status.ok()) return status;
  return reader;
}

Status LineReader::seek(uint64_t offset) {
  if (::lseek(fd_.get(), static_cast<off_t>(offset), SEEK_SET) < 0) {
    return Status::OSError("cannot read " + path_ + ": " + os_error_text(errno));
  }
  buffer_offset_ = offset;
  begin_ = end_ = scanned_ = 0;
  return Status::Ok();
}

Result<std::string_view> LineReader::read_bytes(size_t size) {
  while (end_ - begin_ < size) {
    make_room();
    Result<size_t> count = fill();
    if (!count.ok()) return std::move(count).status();
    if (count.value() == 0) break;
  }
  const size_t taken = std::min(size, end_ - begin_);
  const std::string_view bytes(buffer_.get() + begin_, taken);
  begin_ += taken;
  scanned_ = 0;
  return bytes;
}

void LineReader::make_room() {
  if (!buffer_) {
    capacity_ = first_capacity_;
    buffer_ = std::make_unique_for_overwrite<char[]>(capacity_);
    return;
  }
  // The bytes before begin_ are dropped, but for the consumed tail a reader keeps.
  if (begin_ > kept_before_) {
    const size_t dropped = begin_ - kept_before_;
    std::memmove(buffer_.get(), buffer_.get() + dropped, end_ - dropped);
    buffer_offset_ += dropped;
    end_ -= dropped;
    begin_ -= dropped;
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
