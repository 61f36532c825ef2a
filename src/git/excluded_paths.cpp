#include "git/excluded_paths.h"

#include "git/root_pathspec.h"
#include "util/path.h"

namespace trovik::git {

std::optional<std::string> resolved_root_pathspec(const std::string& root_directory,
                                                  const std::string& top_level,
                                                  const std::string& working_directory) {
  std::optional<std::string> textual = root_pathspec(root_directory, top_level, working_directory);
  // An empty root is the working directory itself: the reset then fails as it always has.
  if (root_directory.empty()) return textual;
  const std::optional<std::string> root = real_path(root_directory);
  if (!root) return textual;
  const std::string top = real_path(top_level).value_or(top_level);
  if (!lies_within(top, *root)) return std::nullopt;
  if (textual &&
      normal_components(join_path(working_directory, *textual)) == normal_components(*root)) {
    return textual;
  }
  return relative_path(working_directory, *root);
}

std::optional<std::string> path_inside_work_tree(const std::string& file,
                                                 const std::string& top_level) {
  const size_t slash = file.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : file.substr(0, slash + 1);
  const std::optional<std::string> resolved = real_path(directory);
  if (!resolved) return std::nullopt;
  const std::string top = real_path(top_level).value_or(top_level);
  if (!lies_within(top, *resolved)) return std::nullopt;
  return join_path(relative_path(top, *resolved), file.substr(slash + 1));
}

std::string literal_exclusion(const std::string& path) { return ":(exclude,top,literal)" + path; }

std::string lock_file_exclusion(const std::string& index_path) {
  std::string pattern = ":(exclude,top,glob)";
  for (const char c : index_path + ".loc") {
    if (c == '*' || c == '?' || c == '[' || c == '\\') pattern += '\\';
    pattern += c;
  }
  return pattern + "[k]";
}

}  // namespace trovik::git
