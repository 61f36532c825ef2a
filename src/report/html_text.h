#pragma once

#include <string>
#include <string_view>

#include "util/quote.h"

namespace trovik::report {

// The page's names for the HTML quoter of util/quote.h, its one definition: `text` reads back as
// exactly that text in element content and quoted attribute values alike.
inline void append_escaped(std::string& out, std::string_view text) {
  append_html_quoted(out, text);
}
inline std::string escape_html(std::string_view text) { return html_quoted(text); }

}  // namespace trovik::report
