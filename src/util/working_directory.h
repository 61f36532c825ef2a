#pragma once

#include <optional>
#include <string>

namespace trovik {

// The process's working directory as the kernel gives it (bytes, not decoded); nothing when it
// cannot be read (for example after it was removed) or is not an absolute path (a directory
// outside the process's root).
std::optional<std::string> working_directory();

// The same, decoded lossily.
std::optional<std::string> working_directory_text();

}  // namespace trovik
