#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace trovik::read {

// A number as a run file writes it. Every double and 64-bit integer fits inline, so that keeping
// the latest one of a series at each record costs a few moves and no allocation; a longer text (a
// big integer) is kept on the heap.
class NumberText {
 public:
  NumberText() = default;
  explicit NumberText(std::string_view text) { assign(text); }

  void assign(std::string_view text) {
    if (text.size() <= kInlineSize) [[likely]] {
      copy_short(inline_, text.data(), text.size());
      size_ = static_cast<uint8_t>(text.size());
    } else {
      long_.assign(text);
      size_ = kOnHeap;
    }
  }
  std::string_view view() const {
    return size_ == kOnHeap ? std::string_view(long_) : std::string_view(inline_, size_);
  }
  bool empty() const { return size_ == 0; }
  friend bool operator==(const NumberText& a, const NumberText& b) { return a.view() == b.view(); }

 private:
  static constexpr size_t kInlineSize = 32;
  static constexpr uint8_t kOnHeap = 0xff;

  // Up to 32 bytes as two overlapping fixed-size copies (three single bytes below four), which
  // compile to a few moves where a memcpy of a variable size is a call.
  static void copy_short(char* to, const char* from, size_t size) {
    if (size >= 16) {
      std::memcpy(to, from, 16);
      std::memcpy(to + size - 16, from + size - 16, 16);
    } else if (size >= 8) {
      std::memcpy(to, from, 8);
      std::memcpy(to + size - 8, from + size - 8, 8);
    } else if (size >= 4) {
      std::memcpy(to, from, 4);
      std::memcpy(to + size - 4, from + size - 4, 4);
    } else if (size > 0) {
      to[0] = from[0];
      to[size / 2] = from[size / 2];
      to[size - 1] = from[size - 1];
    }
  }

  char inline_[kInlineSize] = {};
  uint8_t size_ = 0;
  std::string long_;
};

}  // namespace trovik::read
