#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace trovik::report {

// Writers for JSON that travels inside an HTML page, in a <script type="application/json">
// element. The element's text ends at the first "</script" and changes meaning after "<!--", so a
// string from a run must never carry "<" there; U+2028 and U+2029 are escaped too, since some
// JavaScript parsers take them for line ends. Every "<", ">" and "&" becomes a \u escape, which
// JSON.parse reads back as the same character.

// Appends `text` as a JSON string literal, quotes included. Invalid UTF-8 becomes U+FFFD.
void append_page_json_string(std::string& out, std::string_view text);

// A finite double in its shortest form that reads back to the same value ("0.1", "1e+300").
// Not-finite values, which JSON cannot spell, become null.
void append_page_json_number(std::string& out, double value);

// A double rounded to `digits` significant digits: the page draws it, nobody reads it back exactly.
void append_page_json_rounded(std::string& out, double value, int digits);

void append_page_json_integer(std::string& out, int64_t value);

}  // namespace trovik::report
