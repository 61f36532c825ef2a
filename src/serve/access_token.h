#pragma once

#include <string>
#include <string_view>

#include "util/status.h"

namespace trovik::serve {

// Whether `a` and `b` hold the same bytes, in a time that depends on their lengths only, never on
// where they first differ: a token guessed byte by byte learns nothing from how fast it is refused.
bool constant_time_equal(std::string_view a, std::string_view b);

// The secret that every request must carry: 128 random bits drawn once per start, as 32 hex digits.
class AccessToken {
 public:
  static Result<AccessToken> generate();
  explicit AccessToken(std::string text) : text_(std::move(text)) {}

  const std::string& text() const { return text_; }
  bool matches(std::string_view candidate) const { return constant_time_equal(text_, candidate); }

 private:
  std::string text_;
};

}  // namespace trovik::serve
