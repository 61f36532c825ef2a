#include "util/quote.h"

#include <cstdint>
#include <cstdio>
#include <optional>

#include "util/unicode.h"

namespace trovik {
namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// Appends `text` with each byte that `replacement` names replaced, copying the runs between them
// in one piece. `replacement(i)` returns the text for byte i, or an empty view to keep the byte.
template <typename Replacement>
void append_replacing(std::string& out, std::string_view text, Replacement&& replacement) {
  size_t plain_from = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const std::string_view replaced = replacement(i);
    if (replaced.empty()) continue;
    out.append(text.substr(plain_from, i - plain_from));
    out.append(replaced);
    plain_from = i + 1;
  }
  out.append(text.substr(plain_from));
}

void append_html_quoted_valid(std::string& out, std::string_view text) {
  append_replacing(out, text, [&](size_t i) -> std::string_view {
    switch (text[i]) {
      case '&':
        return "&amp;";
      case '<':
        return "&lt;";
      case '>':
        return "&gt;";
      case '"':
        return "&quot;";
      case '\'':
        return "&#39;";
      case '\0':
        return kReplacementCharacter;
      default:
        return {};
    }
  });
}

// The length of the UTF-8 sequence that `lead` starts, in text already known to be valid.
size_t sequence_length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
}

bool changes_direction(char32_t c) {
  return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069);
}

// How `c` is shown on a terminal: as an escape, or (nothing) as it is.
std::optional<std::string> terminal_escape(char32_t c) {
  switch (c) {
    case '\n':
      return "\\n";
    case '\t':
      return "\\t";
    case '\r':
      return "\\r";
    default:
      break;
  }
  char escape[16];
  if (c < 0x20 || c == 0x7F) {
    (void)std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned>(c));
    return escape;
  }
  if ((c >= 0x80 && c <= 0x9F) || changes_direction(c)) {
    (void)std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
    return escape;
  }
  return std::nullopt;
}

void append_terminal_quoted_valid(std::string& out, std::string_view text) {
  size_t plain_from = 0;
  for (size_t i = 0; i < text.size();) {
    const size_t length = sequence_length(static_cast<unsigned char>(text[i]));
    if (const std::optional<std::string> escape =
            terminal_escape(decode_utf8_sequence(text.substr(i), length))) {
      out.append(text.substr(plain_from, i - plain_from));
      out.append(*escape);
      plain_from = i + length;
    }
    i += length;
  }
  out.append(text.substr(plain_from));
}

}  // namespace

void append_html_quoted(std::string& out, std::string_view text) {
  if (is_valid_utf8(text)) {
    append_html_quoted_valid(out, text);
  } else {
    append_html_quoted_valid(out, decode_utf8_lossy(text));
  }
}

std::string html_quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  append_html_quoted(out, text);
  return out;
}

void append_json_for_page(std::string& out, std::string_view json_text) {
  size_t plain_from = 0;
  for (size_t i = 0; i < json_text.size(); ++i) {
    std::string_view escape;
    size_t length = 1;
    switch (json_text[i]) {
      case '<':
        escape = "\\u003c";
        break;
      case '>':
        escape = "\\u003e";
        break;
      case '&':
        escape = "\\u0026";
        break;
      case '\xE2':  // U+2028 and U+2029 are E2 80 A8 and E2 80 A9
        length = 3;
        if (json_text.substr(i, 3) == "\xE2\x80\xA8") escape = "\\u2028";
        if (json_text.substr(i, 3) == "\xE2\x80\xA9") escape = "\\u2029";
        break;
      default:
        break;
    }
    if (escape.empty()) continue;
    out.append(json_text.substr(plain_from, i - plain_from));
    out.append(escape);
    i += length - 1;
    plain_from = i + 1;
  }
  out.append(json_text.substr(plain_from));
}

std::string json_for_page(std::string_view json_text) {
  std::string out;
  out.reserve(json_text.size());
  append_json_for_page(out, json_text);
  return out;
}

void append_terminal_quoted(std::string& out, std::string_view text) {
  if (is_valid_utf8(text)) {
    append_terminal_quoted_valid(out, text);
  } else {
    append_terminal_quoted_valid(out, decode_utf8_lossy(text));
  }
}

std::string terminal_quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  append_terminal_quoted(out, text);
  return out;
}

}  // namespace trovik
