#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "util/scoped_fd.h"
#include "util/status.h"

namespace trovik::read {

// Reads a file's lines in large blocks, without a copy per line. A line is complete once its line
// feed is on disk; the bytes after the last line feed are an unfinished line, kept for the next
// call, which hands it over once it has been completed (a file that is still being written).
class LineReader {
 public:
  // How many of the bytes just before consumed() a reader that keeps its tail holds on to.
  static constexpr size_t kTailSize = 4096;

  // Opens `path` for reading the bytes from `begin` to `end` (the end of the file as it grows when
  // `end` is UINT64_MAX). A failure is an OSError naming the path.
  static Result<LineReader> open(const std::string& path, uint64_t begin = 0,
                                 uint64_t end = UINT64_MAX);
  // The same over a descriptor already open on `path`, from `begin` to the end of the file. With
  // `keep_tail`, consumed_tail() holds the last kTailSize bytes consumed.
  static Result<LineReader> from_descriptor(ScopedFd fd, std::string path, uint64_t begin,
                                            bool keep_tail = false);

  // Calls `on_line(line)` (without its line feed) for each complete line from where the last call
  // stopped to the current end of the file. `on_line` returns false to stop early.
  template <typename OnLine>
  Status read_available(OnLine&& on_line);

  // Consumes the next `size` bytes whatever they hold, and returns them (fewer at the end of the
  // file); valid until the next read. Lines are then read from just after them.
  Result<std::string_view> read_bytes(size_t size);

  // The unfinished line the last read_available left: empty when the file ended in a line feed.
  std::string_view unfinished() const { return {buffer_.get() + begin_, end_ - begin_}; }

  // The absolute offset in the file just past the last byte handed over: where a reading that
  // resumes later starts.
  uint64_t consumed() const { return buffer_offset_ + begin_; }
  // Up to kTailSize bytes just before consumed() that this reader read (fewer when it began
  // later); only for a reader that keeps its tail.
  std::string_view consumed_tail() const {
    const size_t size = begin_ < kTailSize ? begin_ : kTailSize;
    return {buffer_.get() + begin_ - size, size};
  }

  // Drops what is buffered and reads on from `offset`.
  Status seek(uint64_t offset);

 private:
  static constexpr size_t kBlockSize = size_t{1} << 20;
  static constexpr size_t kMinimumCapacity = 4096;

  LineReader(ScopedFd fd, std::string path, size_t first_capacity, size_t kept_before)
      : fd_(std::move(fd)),
        path_(std::move(path)),
        first_capacity_(first_capacity),
        kept_before_(kept_before) {}
  // Makes room after the buffered bytes, moving them to the front or growing the buffer.
  void make_room();
  // Reads once into the free space: the byte count, 0 at the end of the file.
  Result<size_t> fill();

  ScopedFd fd_;
  std::string path_;
  // Not value-initialised: a block is always read into before it is looked at.
  std::unique_ptr<char[]> buffer_;
  size_t capacity_ = 0;
  size_t first_capacity_;
  size_t kept_before_;               // consumed bytes kept before begin_ when room is made
  uint64_t remaining_ = UINT64_MAX;  // bytes still to read before the end of the range
  uint64_t buffer_offset_ = 0;       // the file offset of buffer_[0]
  size_t begin_ = 0;                 // first byte not yet handed over
  size_t end_ = 0;                   // one past the last byte read
  size_t scanned_ = 0;               // bytes from begin_ known to hold no line feed
};

template <typename OnLine>
Status LineReader::read_available(OnLine&& on_line) {
  for (;;) {
    while (begin_ + scanned_ < end_) {
      const char* start = buffer_.get() + begin_;
      const void* feed = std::memchr(start + scanned_, '\n', end_ - begin_ - scanned_);
      if (feed == nullptr) {
        scanned_ = end_ - begin_;
        break;
      }
      const size_t length = static_cast<const char*>(feed) - start;
      begin_ += length + 1;
      scanned_ = 0;
      if (!on_line(std::string_view(start, length))) return Status::Ok();
    }
    make_room();
    Result<size_t> count = fill();
    if (!count.ok()) return std::move(count).status();
    if (count.value() == 0) return Status::Ok();
  }
}

}  // namespace trovik::read
