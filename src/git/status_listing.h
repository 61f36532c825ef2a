#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trovik::git {

// One line of `git status --porcelain` (format 1): the state of a path in the index against HEAD
// (`staged`) and in the work tree against the index (`unstaged`), "??" for an untracked path.
// Paths are relative to the top level, unquoted; an untracked directory ends in "/".
struct StatusEntry {
  char staged;
  char unstaged;
  std::string path;
  // The path a rename or copy came from, else empty.
  std::string source;
};

// Reads the output exactly as git wrote it. git quotes every name holding a space, a quote, a
// backslash or a control character (and, with core.quotePath, any byte above 0x7f), so a line
// splits unambiguously. Nothing when a line has another shape.
std::optional<std::vector<StatusEntry>> parse_status_listing(std::string_view output);

}  // namespace trovik::git
