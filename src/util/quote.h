#pragma once

#include <string>
#include <string_view>

namespace trovik {

// One quoting function per place where text from run files and git ends up, so that it arrives
// there as text: never as markup, as script, or as a command to the terminal. Each appends to
// `out`; the second form returns a new string.

// HTML element content and quoted attribute values: & < > " ' become character references. Invalid
// UTF-8 (a diff of a binary file, say) becomes U+FFFD, and so does NUL, which HTML would drop.
void append_html_quoted(std::string& out, std::string_view text);
std::string html_quoted(std::string_view text);

// JSON text inside a page's script element: <, >, & and the line and paragraph separators U+2028
// and U+2029 become \u escapes. A JSON parser reads the same value, but "</script>" can no longer
// end the element, nor "<!--" change how the browser parses the rest of it. `json_text` must be
// JSON: those characters then only occur inside its strings, where an escape means the same.
void append_json_for_page(std::string& out, std::string_view json_text);
std::string json_for_page(std::string_view json_text);

// Text for a terminal: C0 and C1 control characters, DEL and the bidirectional overrides, isolates
// and marks (U+061C, U+200E, U+200F, U+202A-U+202E, U+2066-U+2069) are shown as escapes ("\n",
// "\t", "\r", "\x1b", "\u0085", "\u202e"), so a run file can neither move the cursor, set a title
// nor reorder what is printed after it. Invalid UTF-8 becomes U+FFFD; everything else, backslashes
// included, is left as it is.
void append_terminal_quoted(std::string& out, std::string_view text);
std::string terminal_quoted(std::string_view text);

}  // namespace trovik
