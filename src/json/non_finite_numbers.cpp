#include "json/non_finite_numbers.h"

namespace trovik::json {

bool holds_non_finite_number(std::string_view text) {
  bool in_string = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      if (c == '\\') {
        ++i;  // the escaped character, a quote included
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if ((c == 'N' && text.substr(i, 3) == "NaN") ||
               (c == 'I' && text.substr(i, 8) == "Infinity")) {
      return true;
    }
  }
  return false;
}

}  // namespace trovik::json
