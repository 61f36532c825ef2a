#include "report/page_json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "json/writer.h"
#include "util/quote.h"
#include "util/unicode.h"

namespace trovik::report {
void append_page_json_string(std::string& out, std::string_view text) {
  // A JSON string literal first, then the page's escapes over it: one rule for what may stand in a
  // script element, util/quote's.
  std::string literal;
  if (is_valid_utf8(text)) {
    json::write_string(text, literal);
  } else {
    json::write_string(decode_utf8_lossy(text), literal);
  }
  append_json_for_page(out, literal);
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
