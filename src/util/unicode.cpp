#include "util/unicode.h"

#include <cstddef>
#include <cstdint>

namespace trovik {
namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// Length of the well-formed UTF-8 sequence at the start of `bytes`, or 0 if it is ill-formed; in
// that case `*valid_prefix` is the length of its maximal subpart (at least 1).
size_t sequence_length(std::string_view bytes, size_t* valid_prefix) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
  const uint8_t lead = byte(0);
  size_t length = 0;
  uint8_t low = 0x80;
  uint8_t high = 0xBF;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    *valid_prefix = 1;
    return 0;
  }
  for (size_t i = 1; i < length; ++i) {
    if (i >= bytes.size() || byte(i) < low || byte(i) > high) {
      *valid_prefix = i;
      return 0;
    }
    low = 0x80;
    high = 0xBF;
  }
  return length;
}

}  // namespace

bool is_white_space(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

std::string_view trim_trailing_white_space(std::string_view utf8) {
  // Walk forward (UTF-8 is only decodable reliably from the front) and remember where the last
  // character that is not white space ends.
  size_t keep = 0;
  size_t i = 0;
  while (i < utf8.size()) {
    size_t prefix = 0;
    size_t length = sequence_length(utf8.substr(i), &prefix);
    if (length == 0) {  // not expected for valid input; keep such bytes
      i += prefix;
      keep = i;
      continue;
    }
    if (!is_white_space(decode_utf8_sequence(utf8.substr(i), length))) keep = i + length;
    i += length;
  }
  return utf8.substr(0, keep);
}

std::string_view trim_white_space(std::string_view utf8) {
  size_t start = 0;
  while (start < utf8.size()) {
    size_t prefix = 0;
    size_t length = sequence_length(utf8.substr(start), &prefix);
    if (length == 0 || !is_white_space(decode_utf8_sequence(utf8.substr(start), length))) break;
    start += length;
  }
  return trim_trailing_white_space(utf8.substr(start));
}

bool is_valid_utf8(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    if (static_cast<uint8_t>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    size_t prefix = 0;
    size_t length = sequence_length(bytes.substr(i), &prefix);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string decode_utf8_lossy(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  size_t i = 0;
  size_t run_start = 0;  // start of the current run of well-formed bytes, copied in one piece
  while (i < bytes.size()) {
    if (static_cast<uint8_t>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    size_t prefix = 0;
    size_t length = sequence_length(bytes.substr(i), &prefix);
    if (length != 0) {
      i += length;
      continue;
    }
    text.append(bytes.substr(run_start, i - run_start));
    text.append(kReplacementCharacter);
    i += prefix;
    run_start = i;
  }
  text.append(bytes.substr(run_start));
  return text;
}

namespace {

bool is_continuation_byte(char byte) { return (static_cast<uint8_t>(byte) & 0xC0) == 0x80; }

}  // namespace

std::string_view utf8_head(std::string_view text, size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  size_t end = max_bytes;
  while (end > 0 && is_continuation_byte(text[end])) --end;
  return text.substr(0, end);
}

std::string_view utf8_tail(std::string_view text, size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  size_t start = text.size() - max_bytes;
  while (start < text.size() && is_continuation_byte(text[start])) ++start;
  return text.substr(start);
}

char32_t decode_utf8_sequence(std::string_view bytes, size_t length) {
  const auto byte = [&](size_t i) { return static_cast<char32_t>(static_cast<uint8_t>(bytes[i])); };
  switch (length) {
    case 1:
      return byte(0);
    case 2:
      return ((byte(0) & 0x1F) << 6) | (byte(1) & 0x3F);
    case 3:
      return ((byte(0) & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
    default:
      return ((byte(0) & 0x07) << 18) | ((byte(1) & 0x3F) << 12) | ((byte(2) & 0x3F) << 6) |
             (byte(3) & 0x3F);
  }
}

}  // namespace trovik
