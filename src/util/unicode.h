#pragma once

#include <string>
#include <string_view>

namespace trovik {

// True for the characters with the Unicode White_Space property.
bool is_white_space(char32_t code_point);

// The text without White_Space characters at its end / at both ends. The input must be valid UTF-8.
std::string_view trim_trailing_white_space(std::string_view utf8);
std::string_view trim_white_space(std::string_view utf8);

bool is_valid_utf8(std::string_view bytes);

// The code point of the well-formed UTF-8 sequence of `length` bytes at the start of `bytes`.
char32_t decode_utf8_sequence(std::string_view bytes, size_t length);

// Decodes operating-system bytes as UTF-8, replacing each maximal invalid subpart with U+FFFD (the
// substitution Unicode recommends, and what Python's "replace" handler produces).
std::string decode_utf8_lossy(std::string_view bytes);

// The longest start / end of valid UTF-8 `text` that is at most `max_bytes` long and does not cut
// a character in two.
std::string_view utf8_head(std::string_view text, size_t max_bytes);
std::string_view utf8_tail(std::string_view text, size_t max_bytes);

}  // namespace trovik
