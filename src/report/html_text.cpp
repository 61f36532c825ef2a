#include "report/html_text.h"

#include "util/unicode.h"

namespace trovik::report {
namespace {

void append_escaped_valid(std::string& out, std::string_view text) {
  size_t plain_from = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    std::string_view reference;
    switch (text[i]) {
      case '&':
        reference = "&amp;";
        break;
      case '<':
        reference = "&lt;";
        break;
      case '>':
        reference = "&gt;";
        break;
      case '"':
        reference = "&quot;";
        break;
      case '\'':
        reference = "&#39;";
        break;
      case '\0':
        reference = "\xEF\xBF\xBD";
        break;
      default:
        continue;
    }
    out.append(text.substr(plain_from, i - plain_from));
    out.append(reference);
    plain_from = i + 1;
  }
  out.append(text.substr(plain_from));
}

}  // namespace

void append_escaped(std::string& out, std::string_view text) {
  if (is_valid_utf8(text)) {
    append_escaped_valid(out, text);
  } else {
    append_escaped_valid(out, decode_utf8_lossy(text));
  }
}

std::string escape_html(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  append_escaped(out, text);
  return out;
}

}  // namespace trovik::report
