#include "json/reader.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "json/string_scan.h"

namespace trovik::json {
namespace {

// At most this many arrays and objects may be open at once.
constexpr int kMaxDepth = 127;

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

constexpr bool is_space(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

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

// One pass over the text with an explicit stack of open containers, so nesting costs no native
// recursion. Finished values wait on `values_` (array elements) or `entries_` (object members)
// until their container closes and takes them in one move.
class Reader {
 public:
  explicit Reader(std::string_view text)
      : begin_(text.data()), p_(text.data()), end_(text.data() + text.size()) {}

  Result<Value> read();

 private:
  enum class Frame : unsigned char { kArray, kObject };
  struct Open {
    Frame frame;
    size_t first;  // index of the container's first element in values_ or entries_
  };

  // Failure reporting. Every error sits at a byte of the text: `at` is one past that byte, so the
  // reported column counts it. At the end of the text it is the end itself, the last byte taken.
  bool fail(const char* at, const char* description);
  bool fail_here(const char* description) { return fail(p_ + 1, description); }
  bool fail_eof(const char* description) { return fail(end_, description); }

  void skip_space() {
    while (p_ != end_ && is_space(*p_)) ++p_;
  }

  bool read_string(std::string& out);
  bool read_escape(std::string& out);
  bool read_hex4(uint32_t& code);
  bool read_number(Value& out);
  bool read_double(const char* start, const char* first_digit, const char* integer_end,
                   const char* fraction_end, int64_t exponent, Value& out);
  bool read_literal(const char* rest, size_t length);
  bool read_key();

  bool open(Frame frame, size_t first);
  void close_array();
  void close_object();
  void finish(Value value);

  const char* const begin_;
  const char* p_;
  const char* const end_;

  Open stack_[kMaxDepth];
  int depth_ = 0;
  std::vector<Value> values_;
  std::vector<Object::Entry> entries_;
  Value root_;
  Status error_;
};

bool Reader::fail(const char* at, const char* description) {
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

bool Reader::read_hex4(uint32_t& code) {
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

// Reads the escape after a backslash (p_ is on the letter).
bool Reader::read_escape(std::string& out) {
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
      append_utf8(code, out);
      return true;
    }
    default:
      return fail_here("invalid escape");
  }
  out.push_back(decoded);
  ++p_;
  return true;
}

// Reads a string whose opening quote has been taken. Content without escapes is copied in one
// piece; raw bytes from 0x80 up are kept as they are.
bool Reader::read_string(std::string& out) {
  const char* run = p_;
  p_ = find_string_special(p_, end_);
  if (p_ != end_ && *p_ == '"') {
    out.assign(run, p_);
    ++p_;
    return true;
  }
  out.clear();
  for (;;) {
    out.append(run, p_);
    if (p_ == end_) return fail_eof("EOF while parsing a string");
    const char c = *p_;
    if (c == '"') {
      ++p_;
      return true;
    }
    if (c != '\\') {
      return fail_here("control character (\\u0000-\\u001F) found while parsing a string");
    }
    ++p_;
    if (!read_escape(out)) return false;
    run = p_;
    p_ = find_string_special(p_, end_);
  }
}

// Reads the rest of `null`, `true` or `false` after its first letter.
bool Reader::read_literal(const char* rest, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (p_ == end_) return fail_eof("EOF while parsing a value");
    if (*p_ != rest[i]) return fail_here("expected ident");
    ++p_;
  }
  return true;
}

// Reads an object member's key and the colon after it (p_ is on the key's first byte), and opens
// the member's entry; its value follows.
bool Reader::read_key() {
  if (*p_ != '"') return fail_here("key must be a string");
  ++p_;
  entries_.emplace_back();
  if (!read_string(entries_.back().first)) return false;
  skip_space();
  if (p_ == end_) return fail_eof("EOF while parsing an object");
  if (*p_ != ':') return fail_here("expected `:`");
  ++p_;
  return true;
}

bool Reader::read_number(Value& out) {
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

  if (integral && fits) {
    if (!negative) {
      out = Value::unsigned_integer(significand);
    } else if (significand == 0) {
      out = Value::number(-0.0);
    } else if (significand <= uint64_t{1} << 63) {
      // -(2^63) is representable although 2^63 is not: negate in unsigned arithmetic.
      out = Value::negative_integer(static_cast<int64_t>(~significand + 1));
    } else {
      out = Value::number(-static_cast<double>(significand));
    }
    return true;
  }
  return read_double(start, first_digit, integer_end, fraction_end, exponent, out);
}

// Converts the number text [start, p_) to the double nearest to it. The integer digits are
// [first_digit, integer_end), the fraction (with its point) runs to fraction_end, and `exponent` is
// the saturated value of the exponent part.
bool Reader::read_double(const char* start, const char* first_digit, const char* integer_end,
                         const char* fraction_end, int64_t exponent, Value& out) {
  const double zero = *start == '-' ? -0.0 : 0.0;

  // The value lies in [10^m, 10^(m+1)) for m = magnitude. Deciding overflow and underflow from it
  // keeps exponents of any length out of the library conversion, which caps them.
  const char* lead = first_digit;
  while (lead != fraction_end && (*lead == '0' || *lead == '.')) ++lead;
  if (lead == fraction_end) {
    out = Value::number(zero);
    return true;
  }
  const int64_t magnitude =
      (lead < integer_end ? integer_end - lead - 1 : -(lead - integer_end)) + exponent;
  if (magnitude > 308) return fail(p_, "number out of range");
  if (magnitude < -324) {
    out = Value::number(zero);
    return true;
  }

  double value = 0;
  const auto result = std::from_chars(start, p_, value, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    // The library leaves `value` alone here; which way it fell out of range follows from m.
    if (magnitude >= 0) return fail(p_, "number out of range");
    out = Value::number(zero);
    return true;
  }
  if (result.ec != std::errc() || result.ptr != p_ || !std::isfinite(value)) {
    return fail(p_, "number out of range");
  }
  out = Value::number(value);
  return true;
}

bool Reader::open(Frame frame, size_t first) {
  if (depth_ == kMaxDepth) return fail_here("recursion limit exceeded");
  stack_[depth_++] = Open{frame, first};
  ++p_;
  return true;
}

void Reader::close_array() {
  const size_t first = stack_[--depth_].first;
  Array elements(std::make_move_iterator(values_.begin() + static_cast<ptrdiff_t>(first)),
                 std::make_move_iterator(values_.end()));
  values_.erase(values_.begin() + static_cast<ptrdiff_t>(first), values_.end());
  finish(Value::array(std::move(elements)));
}

void Reader::close_object() {
  const size_t first = stack_[--depth_].first;
  std::vector<Object::Entry> members(
      std::make_move_iterator(entries_.begin() + static_cast<ptrdiff_t>(first)),
      std::make_move_iterator(entries_.end()));
  entries_.erase(entries_.begin() + static_cast<ptrdiff_t>(first), entries_.end());
  finish(Value::object(Object::from_entries(std::move(members))));
}

// Hands a finished value to the innermost open container (an object's entry already holds the
// key), or makes it the result.
void Reader::finish(Value value) {
  if (depth_ == 0) {
    root_ = std::move(value);
  } else if (stack_[depth_ - 1].frame == Frame::kArray) {
    values_.push_back(std::move(value));
  } else {
    entries_.back().second = std::move(value);
  }
}

Result<Value> Reader::read() {
  // Each pass of the loop reads one value where one is due, then takes the punctuation after it
  // up to the point where the next value is due.
  for (;;) {
    skip_space();
    if (p_ == end_) {
      fail_eof("EOF while parsing a value");
      return std::move(error_);
    }
    bool ok = true;
    switch (*p_) {
      case '[':
        if (!open(Frame::kArray, values_.size())) return std::move(error_);
        skip_space();
        if (p_ == end_) {
          fail_eof("EOF while parsing a list");
          return std::move(error_);
        }
        if (*p_ != ']') continue;
        ++p_;
        close_array();
        break;
      case '{':
        if (!open(Frame::kObject, entries_.size())) return std::move(error_);
        skip_space();
        if (p_ == end_) {
          fail_eof("EOF while parsing an object");
          return std::move(error_);
        }
        if (*p_ == '}') {
          ++p_;
          close_object();
          break;
        }
        if (!read_key()) return std::move(error_);
        continue;
      case '"': {
        ++p_;
        std::string text;
        ok = read_string(text);
        if (ok) finish(Value::string(std::move(text)));
        break;
      }
      case 'n':
        ++p_;
        ok = read_literal("ull", 3);
        if (ok) finish(Value::null());
        break;
      case 't':
        ++p_;
        ok = read_literal("rue", 3);
        if (ok) finish(Value::boolean(true));
        break;
      case 'f':
        ++p_;
        ok = read_literal("alse", 4);
        if (ok) finish(Value::boolean(false));
        break;
      default:
        if (*p_ == '-' || is_digit(*p_)) {
          Value number;
          ok = read_number(number);
          if (ok) finish(std::move(number));
        } else {
          ok = fail_here("expected value");
        }
        break;
    }
    if (!ok) return std::move(error_);

    // After a value: close containers until one continues with another value, or the text ends.
    for (;;) {
      skip_space();
      if (depth_ == 0) {
        if (p_ != end_) {
          fail_here("trailing characters");
          return std::move(error_);
        }
        return std::move(root_);
      }
      const bool in_array = stack_[depth_ - 1].frame == Frame::kArray;
      if (p_ == end_) {
        fail_eof(in_array ? "EOF while parsing a list" : "EOF while parsing an object");
        return std::move(error_);
      }
      const char close = in_array ? ']' : '}';
      if (*p_ == close) {
        ++p_;
        if (in_array) {
          close_array();
        } else {
          close_object();
        }
        continue;
      }
      if (*p_ != ',') {
        fail_here(in_array ? "expected `,` or `]`" : "expected `,` or `}`");
        return std::move(error_);
      }
      ++p_;
      skip_space();
      if (p_ == end_) {
        fail_eof(in_array ? "EOF while parsing a value" : "EOF while parsing an object");
        return std::move(error_);
      }
      if (*p_ == close) {
        fail_here("trailing comma");
        return std::move(error_);
      }
      if (!in_array && !read_key()) return std::move(error_);
      break;
    }
  }
}

}  // namespace

Result<Value> read_json(std::string_view text) { return Reader(text).read(); }

}  // namespace trovik::json
