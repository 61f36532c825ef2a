#include "json/scanner.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>
#include <utility>

#include "json/string_scan.h"

namespace trovik::json {
namespace {

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void append_utf8(uint32_t code_point, std::string& out) {
  char bytes[4];
  int n;
  if (code_point < 0x80) {
    bytes[0] = static_cast<char>(code_point);
    n = 1;
  } else if (code_point < 0x800) {
    bytes[0] = static_cast<char>(0xC0 | (code_point >> 6));
    bytes[1] = static_cast<char>(0x80 | (code_point & 0x3F));
    n = 2;
  } else if (code_point < 0x10000) {
    bytes[0] = static_cast<char>(0xE0 | (code_point >> 12));
    bytes[1] = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    bytes[2] = static_cast<char>(0x80 | (code_point & 0x3F));
    n = 3;
  } else {
    bytes[0] = static_cast<char>(0xF0 | (code_point >> 18));
    bytes[1] = static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    bytes[2] = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    bytes[3] = static_cast<char>(0x80 | (code_point & 0x3F));
    n = 4;
  }
  out.append(bytes, n);
}

}  // namespace

double DoubleNumber::convert() const {
  double value = 0;
  std::from_chars(text_.data(), text_.data() + text_.size(), value, std::chars_format::general);
  return value;
}

bool Scanner::fail(const char* at, const char* description) {
  int64_t line = 1;
  const char* line_start = begin_;
  for (const char* q = begin_; q != at; ++q) {
    if (*q == '\n') {
      ++line;
      line_start = q + 1;
    }
  }
  std::string message(description);
  message += " at line ";
  message += std::to_string(line);
  message += " column ";
  message += std::to_string(at - line_start);
  error_ = Status::ValueError(std::move(message));
  return false;
}

bool Scanner::read_hex4(uint32_t& code) {
  code = 0;
  for (int i = 0; i < 4; ++i) {
    if (p_ == end_) return fail_eof("EOF while parsing a string");
    const int digit = hex_value(*p_);
    if (digit < 0) return fail_here("invalid escape");
    code = code * 16 + static_cast<uint32_t>(digit);
    ++p_;
  }
  return true;
}

// Decodes the escape after a backslash (p_ is on the letter) onto decoded_.
bool Scanner::read_escape() {
  if (p_ == end_) return fail_eof("EOF while parsing a string");
  char decoded;
  switch (*p_) {
    case '"':
    case '\\':
    case '/':
      decoded = *p_;
      break;
    case 'b':
      decoded = '\b';
      break;
    case 'f':
      decoded = '\f';
      break;
    case 'n':
      decoded = '\n';
      break;
    case 'r':
      decoded = '\r';
      break;
    case 't':
      decoded = '\t';
      break;
    case 'u': {
      ++p_;
      uint32_t code;
      if (!read_hex4(code)) return false;
      if (code >= 0xDC00 && code <= 0xDFFF) {
        return fail(p_, "lone leading surrogate in hex escape");
      }
      if (code >= 0xD800 && code <= 0xDBFF) {
        // A high surrogate counts only as the first half of a pair of \u escapes.
        for (const char expected : {'\\', 'u'}) {
          if (p_ == end_) return fail_eof("EOF while parsing a string");
          if (*p_ != expected) return fail_here("unexpected end of hex escape");
          ++p_;
        }
        uint32_t low;
        if (!read_hex4(low)) return false;
        if (low < 0xDC00 || low > 0xDFFF) {
          return fail(p_, "lone leading surrogate in hex escape");
        }
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
      }
      append_utf8(code, decoded_);
      return true;
    }
    default:
      return fail_here("invalid escape");
  }
  decoded_.push_back(decoded);
  ++p_;
  return true;
}

// Content without escapes, by far the most common, is handed out as a view of the text itself;
// raw bytes from 0x80 up are kept as they are.
bool Scanner::read_string(std::string_view& content, bool& escaped) {
  const char* run = p_;
  p_ = find_string_special(p_, end_);
  if (p_ != end_ && *p_ == '"') {
    content = std::string_view(run, static_cast<size_t>(p_ - run));
    escaped = false;
    ++p_;
    return true;
  }
  decoded_.clear();
  for (;;) {
    decoded_.append(run, p_);
    if (p_ == end_) return fail_eof("EOF while parsing a string");
    const char c = *p_;
    if (c == '"') {
      ++p_;
      content = decoded_;
      escaped = true;
      return true;
    }
    if (c != '\\') {
      return fail_here("control character (\\u0000-\\u001F) found while parsing a string");
    }
    ++p_;
    if (!read_escape()) return false;
    run = p_;
    p_ = find_string_special(p_, end_);
  }
}

bool Scanner::read_literal(const char* rest, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (p_ == end_) return fail_eof("EOF while parsing a value");
    if (*p_ != rest[i]) return fail_here("expected ident");
    ++p_;
  }
  return true;
}

bool Scanner::read_number(Number& number) {
  const char* const start = p_;
  if (!read_number_text(number)) return false;
  number.double_number.text_ = std::string_view(start, static_cast<size_t>(p_ - start));
  return true;
}

bool Scanner::read_number_text(Number& number) {
  const char* const start = p_;
  const bool negative = *p_ == '-';
  if (negative) {
    ++p_;
    if (p_ == end_) return fail_eof("EOF while parsing a value");
    if (!is_digit(*p_)) return fail_here("invalid number");
  }

  // Integer part, gathered into 64 bits while it fits; no leading zeros, so it fits exactly when
  // its value is at most 2^64 - 1.
  const char* const first_digit = p_;
  uint64_t significand = 0;
  bool fits = true;
  if (*p_ == '0') {
    ++p_;
    if (p_ != end_ && is_digit(*p_)) return fail_here("invalid number");
  } else {
    for (; p_ != end_ && is_digit(*p_); ++p_) {
      const auto digit = static_cast<uint64_t>(*p_ - '0');
      if (fits && significand <= (std::numeric_limits<uint64_t>::max() - digit) / 10) {
        significand = significand * 10 + digit;
      } else {
        fits = false;
      }
    }
  }
  const char* const integer_end = p_;

  bool integral = true;
  if (p_ != end_ && *p_ == '.') {
    integral = false;
    ++p_;
    if (p_ == end_) return fail_eof("EOF while parsing a value");
    if (!is_digit(*p_)) return fail_here("invalid number");
    while (p_ != end_ && is_digit(*p_)) ++p_;
  }
  const char* const fraction_end = p_;

  // The exponent saturates far beyond any exponent a finite non-zero double can need.
  constexpr int64_t kExponentCap = int64_t{1} << 50;
  int64_t exponent = 0;
  if (p_ != end_ && (*p_ == 'e' || *p_ == 'E')) {
    integral = false;
    ++p_;
    if (p_ == end_) return fail_eof("EOF while parsing a value");
    bool negative_exponent = false;
    if (*p_ == '+' || *p_ == '-') {
      negative_exponent = *p_ == '-';
      ++p_;
      if (p_ == end_) return fail_eof("EOF while parsing a value");
    }
    if (!is_digit(*p_)) return fail_here("invalid number");
    for (; p_ != end_ && is_digit(*p_); ++p_) {
      if (exponent < kExponentCap) exponent = exponent * 10 + (*p_ - '0');
    }
    if (negative_exponent) exponent = -exponent;
  }

  if (integral && !fits) {
    number.kind = Number::Kind::kBigInteger;
    return true;
  }
  if (integral) {
    if (!negative) {
      number.kind = Number::Kind::kUnsigned;
      number.unsigned_value = significand;
    } else if (significand == 0) {
      number.kind = Number::Kind::kDouble;
      number.double_number.value_ = -0.0;
    } else if (significand <= uint64_t{1} << 63) {
      // -(2^63) is representable although 2^63 is not: negate in unsigned arithmetic.
      number.kind = Number::Kind::kNegative;
      number.negative_value = static_cast<int64_t>(~significand + 1);
    } else {
      // Below -(2^63) but within 64 bits of magnitude: too wide for the signed form.
      number.kind = Number::Kind::kBigInteger;
    }
    return true;
  }
  return read_double(start, first_digit, integer_end, fraction_end, exponent, number);
}

// Converts the number text [start, p_) to the double nearest to it. The integer digits are
// [first_digit, integer_end), the fraction (with its point) runs to fraction_end, and `exponent` is
// the saturated value of the exponent part.
bool Scanner::read_double(const char* start, const char* first_digit, const char* integer_end,
                          const char* fraction_end, int64_t exponent, Number& number) {
  number.kind = Number::Kind::kDouble;
  const double zero = *start == '-' ? -0.0 : 0.0;

  // The value lies in [10^m, 10^(m+1)) for m = magnitude. Deciding overflow and underflow from it
  // keeps exponents of any length out of the library conversion, which caps them.
  const char* lead = first_digit;
  while (lead != fraction_end && (*lead == '0' || *lead == '.')) ++lead;
  if (lead == fraction_end) {
    number.double_number.value_ = zero;
    return true;
  }
  const int64_t magnitude =
      (lead < integer_end ? integer_end - lead - 1 : -(lead - integer_end)) + exponent;
  if (magnitude > 308) return fail(p_, "number out of range");
  if (magnitude < -324) {
    number.double_number.value_ = zero;
    return true;
  }

  // Well inside the range the conversion cannot fail (nor fall to zero), so it can wait.
  constexpr int64_t kSafeMagnitude = 307;
  if (magnitude >= -kSafeMagnitude && magnitude <= kSafeMagnitude) {
    number.double_number.pending_ = true;
    return true;
  }
  double value = 0;
  const auto result = std::from_chars(start, p_, value, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    // The library leaves `value` alone here; which way it fell out of range follows from m.
    if (magnitude >= 0) return fail(p_, "number out of range");
    number.double_number.value_ = zero;
    return true;
  }
  if (result.ec != std::errc() || result.ptr != p_ || !std::isfinite(value)) {
    return fail(p_, "number out of range");
  }
  number.double_number.value_ = value;
  return true;
}

}  // namespace trovik::json
