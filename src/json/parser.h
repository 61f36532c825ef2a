#pragma once

#include <string_view>

#include "json/scanner.h"
#include "util/status.h"

namespace trovik::json {

// The JSON grammar, reporting what it reads to a handler as it goes. The handler is a template
// parameter, so every event is a direct (usually inlined) call. Its member functions:
//
//   void null_value();
//   void boolean(bool value);
//   void unsigned_integer(uint64_t value);
//   void negative_integer(int64_t value);    // below zero
//   void number(const DoubleNumber& number);   // finite
//   void big_integer(std::string_view digits);  // an integer beyond 64 bits, '-' included
//   void string(std::string_view content, bool escaped);
//   void begin_array();
//   void end_array();
//   void begin_object();
//   void key(std::string_view content, bool escaped);   // then the member's value
//   void end_object();
//
// A handler that also has `void number_token(std::string_view text)` is told each number's text,
// as it stands, just before the number's own event.
//
// `content` and `escaped` are as Scanner::read_string gives them: escaped content is only valid
// during the call, unescaped content as long as the text. Events arrive in text order and always
// nest properly up to the point of a failure; after a failure no further event arrives and the
// handler's state is of no use. At most kMaxDepth containers are open at once.
template <typename Handler>
class Parser {
 public:
  Parser(std::string_view text, Handler& handler) : scanner_(text), handler_(handler) {}

  // Reads exactly one value, optionally surrounded by whitespace. A failure is a ValueError: a
  // description, then " at line L column C" (see reader.h).
  Status parse();

 private:
  bool open(bool array) {
    if (depth_ == kMaxDepth) return scanner_.fail_here("recursion limit exceeded");
    in_array_[depth_++] = array;
    scanner_.take();
    return true;
  }
  void close() {
    if (in_array_[--depth_]) {
      handler_.end_array();
    } else {
      handler_.end_object();
    }
  }
  // Reads an object member's key and the colon after it (the current byte is the key's first).
  bool read_key();
  bool read_scalar();

  Scanner scanner_;
  Handler& handler_;
  bool in_array_[kMaxDepth];
  int depth_ = 0;
};

template <typename Handler>
Status parse_json(std::string_view text, Handler& handler) {
  return Parser<Handler>(text, handler).parse();
}

template <typename Handler>
bool Parser<Handler>::read_key() {
  if (scanner_.current() != '"') return scanner_.fail_here("key must be a string");
  scanner_.take();
  std::string_view key;
  bool escaped;
  if (!scanner_.read_string(key, escaped)) return false;
  handler_.key(key, escaped);
  scanner_.skip_space();
  if (scanner_.done()) return scanner_.fail_eof("EOF while parsing an object");
  if (scanner_.current() != ':') return scanner_.fail_here("expected `:`");
  scanner_.take();
  return true;
}

// A string, literal or number at the current byte.
template <typename Handler>
bool Parser<Handler>::read_scalar() {
  switch (scanner_.current()) {
    case '"': {
      scanner_.take();
      std::string_view content;
      bool escaped;
      if (!scanner_.read_string(content, escaped)) return false;
      handler_.string(content, escaped);
      return true;
    }
    case 'n':
      scanner_.take();
      if (!scanner_.read_literal("ull", 3)) return false;
      handler_.null_value();
      return true;
    case 't':
      scanner_.take();
      if (!scanner_.read_literal("rue", 3)) return false;
      handler_.boolean(true);
      return true;
    case 'f':
      scanner_.take();
      if (!scanner_.read_literal("alse", 4)) return false;
      handler_.boolean(false);
      return true;
    default: {
      const char c = scanner_.current();
      if (c != '-' && (c < '0' || c > '9')) return scanner_.fail_here("expected value");
      Number number;
      if (!scanner_.read_number(number)) return false;
      if constexpr (requires { handler_.number_token(number.text()); }) {
        handler_.number_token(number.text());
      }
      switch (number.kind) {
        case Number::Kind::kUnsigned:
          handler_.unsigned_integer(number.unsigned_value);
          break;
        case Number::Kind::kNegative:
          handler_.negative_integer(number.negative_value);
          break;
        case Number::Kind::kDouble:
          handler_.number(number.double_number);
          break;
        case Number::Kind::kBigInteger:
          handler_.big_integer(number.text());
          break;
      }
      return true;
    }
  }
}

template <typename Handler>
Status Parser<Handler>::parse() {
  // Each pass of the loop reads one value where one is due, then takes the punctuation after it
  // up to the point where the next value is due.
  for (;;) {
    scanner_.skip_space();
    if (scanner_.done()) {
      scanner_.fail_eof("EOF while parsing a value");
      return scanner_.take_error();
    }
    switch (scanner_.current()) {
      case '[':
        if (!open(true)) return scanner_.take_error();
        handler_.begin_array();
        scanner_.skip_space();
        if (scanner_.done()) {
          scanner_.fail_eof("EOF while parsing a list");
          return scanner_.take_error();
        }
        if (scanner_.current() != ']') continue;
        scanner_.take();
        close();
        break;
      case '{':
        if (!open(false)) return scanner_.take_error();
        handler_.begin_object();
        scanner_.skip_space();
        if (scanner_.done()) {
          scanner_.fail_eof("EOF while parsing an object");
          return scanner_.take_error();
        }
        if (scanner_.current() == '}') {
          scanner_.take();
          close();
          break;
        }
        if (!read_key()) return scanner_.take_error();
        continue;
      default:
        if (!read_scalar()) return scanner_.take_error();
        break;
    }

    // After a value: close containers until one continues with another value, or the text ends.
    for (;;) {
      scanner_.skip_space();
      if (depth_ == 0) {
        if (!scanner_.done()) {
          scanner_.fail_here("trailing characters");
          return scanner_.take_error();
        }
        return Status::Ok();
      }
      const bool in_array = in_array_[depth_ - 1];
      if (scanner_.done()) {
        scanner_.fail_eof(in_array ? "EOF while parsing a list" : "EOF while parsing an object");
        return scanner_.take_error();
      }
      const char close_bracket = in_array ? ']' : '}';
      if (scanner_.current() == close_bracket) {
        scanner_.take();
        close();
        continue;
      }
      if (scanner_.current() != ',') {
        scanner_.fail_here(in_array ? "expected `,` or `]`" : "expected `,` or `}`");
        return scanner_.take_error();
      }
      scanner_.take();
      scanner_.skip_space();
      if (scanner_.done()) {
        scanner_.fail_eof(in_array ? "EOF while parsing a value" : "EOF while parsing an object");
        return scanner_.take_error();
      }
      if (scanner_.current() == close_bracket) {
        scanner_.fail_here("trailing comma");
        return scanner_.take_error();
      }
      if (!in_array && !read_key()) return scanner_.take_error();
      break;
    }
  }
}

}  // namespace trovik::json
