#pragma once

#include <optional>
#include <string>

namespace trovik::git {

// The process's working directory decoded lossily, the way git's own path answers reach us;
// nothing when it cannot be read (for example after it was removed).
std::optional<std::string> working_directory_text();

}  // namespace trovik::git
