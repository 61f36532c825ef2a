#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace trovik {

// Joins a relative name to a directory: a "/" goes between them only when the directory is
// non-empty and does not already end in "/". The result is never made absolute or normalised.
std::string join_path(std::string_view directory, std::string_view name);

// `path` with every symbolic link, "." and ".." resolved (realpath), decoded lossily; nothing when
// it does not exist or cannot be resolved. A relative path is taken from the working directory.
std::optional<std::string> real_path(const std::string& path);

}  // namespace trovik
