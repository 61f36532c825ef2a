#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace trovik::read {

// One record line as one readable line: elapsed time, kind, then the gist of its value ("name,
// git, host" for run_start; "key=value ..." for a tracked object) and its note. Nothing for a line
// that is not a JSON object.
std::optional<std::string> record_text(std::string_view line);

}  // namespace trovik::read
