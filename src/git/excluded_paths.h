#pragma once

#include <optional>
#include <string>
#include <vector>

namespace trovik::git {

// The pathspec that puts the root directory back as HEAD has it, as root_pathspec gives it, but
// decided on resolved paths: a root reached through a symbolic link that leads into the work tree
// is still kept out, and one whose spelling lies in the work tree but that leads elsewhere needs
// no reset. Where the root directory resolves to where its text says (the usual case), the
// pathspec is root_pathspec's unchanged. A root that cannot be resolved is judged by its text.
std::optional<std::string> resolved_root_pathspec(const std::string& root_directory,
                                                  const std::string& top_level,
                                                  const std::string& working_directory);

// The path of `file` relative to the top level when its directory resolves into the work tree,
// else nothing. `file` need not exist; its directory must.
std::optional<std::string> path_inside_work_tree(const std::string& file,
                                                 const std::string& top_level);

// A pathspec that excludes exactly `path` (relative to the top level) from any working
// directory, with no wildcard or other magic read into its characters. git refuses the whole `add`
// when an excluded path, or a directory leading to it, is ignored: only exclude paths git lists.
std::string literal_exclusion(const std::string& path);

// Excludes git's lock file for the index at `index_path` (relative to the top level), which
// exists only while git writes the index, so git cannot say beforehand whether it is ignored. A
// pattern whose literal part falls short of the lock's name keeps git from refusing the `add`
// when it is.
std::string lock_file_exclusion(const std::string& index_path);

}  // namespace trovik::git
