#pragma once

#include <string>
#include <string_view>

namespace trovik::report {

// Appends `text` so that an HTML parser reads it back as exactly that text, in element content and
// in quoted attribute values alike: & < > " ' become character references. Invalid UTF-8 (a diff of
// a binary file, say) becomes U+FFFD, and so does NUL, which HTML would drop or mangle.
void append_escaped(std::string& out, std::string_view text);

std::string escape_html(std::string_view text);

}  // namespace trovik::report
