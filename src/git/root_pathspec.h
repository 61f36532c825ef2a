#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trovik::git {

// Path arithmetic for keeping the module's own root directory out of a snapshot. All of it is
// lexical: nothing touches the file system, and symbolic links are not followed.

// The components of `path` taken as absolute: empty and "." components dropped, each ".." removing
// the component before it (".." at the root stays at the root).
std::vector<std::string> normal_components(std::string_view path);

// Whether `path` is `directory` or lies below it, comparing whole components ("/a/bc" is not under
// "/a/b"). Both are taken as absolute.
bool lies_within(std::string_view directory, std::string_view path);

// `target` spelled relative to `base` (both absolute): "../" for each component of `base` beyond
// their common part, then the rest of `target`. Equal paths give the empty text.
std::string relative_path(std::string_view base, std::string_view target);

// The pathspec that drops the root directory from the snapshot index, or nothing when the root
// directory lies outside the work tree and the reset must not run at all. git resolves pathspecs
// against the working directory (also with GIT_DIR and GIT_WORK_TREE set), so:
// - an absolute root under the top level becomes relative to `working_directory` (from the top
//   level, the part below it; the top level itself gives the empty text, which git rejects);
// - a relative root is returned unchanged, as git will read it from the same working directory,
//   unless it leads outside the top level once joined to the working directory.
// `top_level` and `working_directory` are absolute.
std::optional<std::string> root_pathspec(std::string_view root_directory,
                                         std::string_view top_level,
                                         std::string_view working_directory);

}  // namespace trovik::git
