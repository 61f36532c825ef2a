#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "util/status.h"

namespace trovik::json {

// At most this many arrays and objects may be open at once.
inline constexpr int kMaxDepth = 127;

// A double as read. When its text lies well inside the range of doubles, so that reading it cannot
// fail, the conversion waits until the value is asked for: a writer that lays the double out from
// the text's own digits never needs it.
class DoubleNumber {
 public:
  std::string_view text() const { return text_; }  // as it stands in the text
  double value() const { return pending_ ? convert() : value_; }

 private:
  friend class Scanner;
  double convert() const;

  std::string_view text_;
  double value_ = 0;
  bool pending_ = false;
};

// A number as read. Its kind decides how it is written back: integers keep their digits, doubles
// take the float form. An integer beyond 64 bits (no fraction, no exponent) is a kBigInteger and
// only its text, `-` and all, carries it: a seed or an id must come back with every digit.
struct Number {
  enum class Kind : unsigned char { kUnsigned, kNegative, kDouble, kBigInteger };
  Kind kind = Kind::kUnsigned;
  uint64_t unsigned_value = 0;
  int64_t negative_value = 0;  // below zero
  DoubleNumber double_number;
  std::string_view text() const { return double_number.text(); }  // as it stands in the text
};

// The token half of the JSON reader: whitespace, literals, numbers and strings, and the position
// of a failure. The grammar half (parser.h) is a template over the consumer of the values; this
// half is not, so it is compiled once whatever consumes the text.
//
// Every read_* function returns false on failure and keeps the error for take_error().
class Scanner {
 public:
  explicit Scanner(std::string_view text)
      : begin_(text.data()), p_(text.data()), end_(text.data() + text.size()) {}

  Scanner(const Scanner&) = delete;
  Scanner& operator=(const Scanner&) = delete;

  bool done() const { return p_ == end_; }
  // The byte at the current position; only when !done().
  char current() const { return *p_; }
  void take() { ++p_; }
  void skip_space() {
    while (p_ != end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t')) ++p_;
  }

  // Reads a string whose opening quote has been taken. `content` is its decoded UTF-8 text.
  // `escaped` is false when the text held no escape: then `content` is a view of the very bytes
  // between the quotes, valid as long as the text, and holds none that a writer must escape.
  // Otherwise it is valid until the next read_string.
  bool read_string(std::string_view& content, bool& escaped);
  // Reads a number starting at the current byte ('-' or a digit).
  bool read_number(Number& number);
  // Reads the rest of `null`, `true` or `false` after its first letter.
  bool read_literal(const char* rest, size_t length);

  // Failures at the current byte, which was looked at but not taken, and at the end of the text.
  bool fail_here(const char* description) { return fail(p_ + 1, description); }
  bool fail_eof(const char* description) { return fail(end_, description); }
  Status take_error() { return std::move(error_); }

 private:
  // Every error sits at a byte of the text: `at` is one past that byte, so the reported column
  // counts it. At the end of the text it is the end itself, the last byte taken.
  bool fail(const char* at, const char* description);
  bool read_number_text(Number& number);
  bool read_escape();
  bool read_hex4(uint32_t& code);
  bool read_double(const char* start, const char* first_digit, const char* integer_end,
                   const char* fraction_end, int64_t exponent, Number& number);

  const char* const begin_;
  const char* p_;
  const char* const end_;
  std::string decoded_;  // the content of the last string that held escapes
  Status error_;
};

}  // namespace trovik::json
