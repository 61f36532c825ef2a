#pragma once

#include <cstdint>
#include <cstring>

namespace trovik::json {

// The bytes that end a run of plain string content, both when reading and when writing: the
// double quote, the backslash and the control bytes below 0x20.
inline bool is_string_special(unsigned char byte) {
  return byte < 0x20 || byte == '"' || byte == '\\';
}

// The first special byte in [p, end), or end. Looks at eight bytes at a time: most string
// content has none, and records carry many long strings.
inline const char* find_string_special(const char* p, const char* end) {
  constexpr uint64_t kOnes = 0x0101010101010101;
  constexpr uint64_t kHighs = 0x8080808080808080;
  while (end - p >= 8) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    const uint64_t quote = word ^ (kOnes * '"');
    const uint64_t backslash = word ^ (kOnes * '\\');
    // A byte's high bit ends up set only if some byte of the word is zero after the xor (or below
    // 0x20 for the last term); bytes from 0x80 up never set it.
    const uint64_t hits = ((quote - kOnes) & ~quote) | ((backslash - kOnes) & ~backslash) |
                          ((word - kOnes * 0x20) & ~word);
    if ((hits & kHighs) != 0) break;
    p += 8;
  }
  while (p != end && !is_string_special(static_cast<unsigned char>(*p))) ++p;
  return p;
}

}  // namespace trovik::json
