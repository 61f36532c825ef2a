#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace trovik {

// Joins a relative name to a directory: a "/" goes between them only when the directory is
// non-empty and does not already end in "/". The result is never made absolute or normalised.
std::string join_path(std::string_view directory, std::string_view name);

// `path` joined to the working directory as it is now, so that it names the same file after the
// process changes directory. An absolute path, or any path while the working directory cannot be
// read, comes back unchanged. Not normalised: the kernel resolves "." and ".." as it would have.
std::string absolute_path(std::string_view path);

// `path` with every symbolic link, "." and ".." resolved (realpath), decoded lossily; nothing when
// it does not exist or cannot be resolved. A relative path is taken from the working directory.
std::optional<std::string> real_path(const std::string& path);

}  // namespace trovik
