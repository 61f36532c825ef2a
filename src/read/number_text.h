#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

namespace trovik::read {

// A number as a run file writes it, in 32 bytes. Every double and 64-bit integer fits inline, so
// that keeping the latest one of a series at each record costs a few moves and no allocation; a
// longer text (a big integer) gets a buffer of its own.
class NumberText {
 public:
  NumberText() = default;
  explicit NumberText(std::string_view text) { assign(text); }
  NumberText(const NumberText& other) { assign(other.view()); }
  NumberText(NumberText&& other) noexcept { take(other); }
  NumberText& operator=(const NumberText& other) {
    if (this != &other) assign(other.view());
    return *this;
  }
  NumberText& operator=(NumberText&& other) noexcept {
    if (this != &other) {
      release();
      take(other);
    }
    return *this;
  }
  ~NumberText() { release(); }

  void assign(std::string_view text) {
    if (text.size() <= kInlineSize) [[likely]] {
      release();
      copy_short(inline_, text.data(), text.size());
    } else {
      std::unique_ptr<char[]> copy = std::make_unique_for_overwrite<char[]>(text.size());
      std::memcpy(copy.get(), text.data(), text.size());
      release();
      heap_ = copy.release();
    }
    size_ = static_cast<uint32_t>(text.size());
  }
  std::string_view view() const { return {size_ <= kInlineSize ? inline_ : heap_, size_}; }
  bool empty() const { return size_ == 0; }
  friend bool operator==(const NumberText& a, const NumberText& b) { return a.view() == b.view(); }

 private:
  static constexpr size_t kInlineSize = 24;  // "-1.2345678901234567e-308" is the longest double

  void release() {
    if (size_ > kInlineSize) delete[] heap_;
    size_ = 0;
  }
  // Leaves `other` empty; this one holds nothing beforehand.
  void take(NumberText& other) {
    if (other.size_ > kInlineSize) {
      heap_ = other.heap_;
    } else {
      copy_short(inline_, other.inline_, other.size_);
    }
    size_ = std::exchange(other.size_, 0);
  }
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

  union {
    char inline_[kInlineSize];
    char* heap_;  // when size_ > kInlineSize
  };
  uint32_t size_ = 0;
};

}  // namespace trovik::read
