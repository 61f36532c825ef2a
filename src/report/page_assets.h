#pragma once

#include <string_view>

namespace trovik::report {

// The page's fixed style sheet and script, written into every report as they are, so that the file
// needs nothing else to be read.
extern const std::string_view kPageStyle;
extern const std::string_view kPageScript;

}  // namespace trovik::report
