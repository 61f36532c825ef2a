#include "report/page_json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "util/unicode.h"

namespace trovik::report {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

void append_unicode_escape(std::string& out, unsigned code) {
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHexDigits[(code >> shift) & 0xF];
}

void append_valid_string(std::string& out, std::string_view text) {
  out += '"';
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    switch (byte) {
      case '"':
        out += "\\\"";
        continue;
      case '\\':
        out += "\\\\";
        continue;
      case '\n':
        out += "\\n";
        continue;
      case '<':
      case '>':
      case '&':
        append_unicode_escape(out, byte);
        continue;
      default:
        break;
    }
    if (byte < 0x20) {
      append_unicode_escape(out, byte);
    } else if (byte == 0xE2 && i + 2 < text.size() && text[i + 1] == '\x80' &&
               (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
      // U+2028 LINE SEPARATOR and U+2029 PARAGRAPH SEPARATOR.
      append_unicode_escape(out, text[i + 2] == '\xA8' ? 0x2028 : 0x2029);
      i += 2;
    } else {
      out += static_cast<char>(byte);
    }
  }
  out += '"';
}

}  // namespace

void append_page_json_string(std::string& out, std::string_view text) {
  if (is_valid_utf8(text)) {
    append_valid_string(out, text);
  } else {
    append_valid_string(out, decode_utf8_lossy(text));
  }
}

void append_page_json_number(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  char digits[32];
  const auto result = std::to_chars(std::begin(digits), std::end(digits), value);
  out.append(digits, result.ptr);
}

void append_page_json_rounded(std::string& out, double value, int digits) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  char text[40];
  const auto result =
      std::to_chars(std::begin(text), std::end(text), value, std::chars_format::general, digits);
  // "%g" style keeps trailing zeros out but spells exponents as "e-05"; JSON takes "e-5" as well.
  std::string_view number(text, static_cast<size_t>(result.ptr - text));
  const size_t exponent = number.find('e');
  if (exponent == std::string_view::npos) {
    out += number;
    return;
  }
  out += number.substr(0, exponent + 1);
  std::string_view power = number.substr(exponent + 1);
  if (power.front() == '+') power.remove_prefix(1);
  if (power.front() == '-') {
    out += '-';
    power.remove_prefix(1);
  }
  while (power.size() > 1 && power.front() == '0') power.remove_prefix(1);
  out += power;
}

void append_page_json_integer(std::string& out, int64_t value) {
  char digits[24];
  const auto result = std::to_chars(std::begin(digits), std::end(digits), value);
  out.append(digits, result.ptr);
}

}  // namespace trovik::report
