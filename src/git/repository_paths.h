#pragma once

#include <optional>
#include <string>

namespace trovik::git {

// What the snapshot asks of the user's own environment before it starts, each as git printed it.
struct RepositoryPaths {
  std::string git_directory;
  std::string top_level;
  std::optional<std::string> user_index;  // the index file git would use
  std::optional<std::string> head_tree;   // the tree of the HEAD commit, when already known
};

// One `git rev-parse` answers all four: a child started costs more than git's answer. Where that
// fails (no HEAD yet), or where a name holds a line break so the lines cannot be told apart, each
// question is asked on its own and HEAD's tree is left to be asked later. Nothing without a git
// directory or top level.
std::optional<RepositoryPaths> repository_paths(const std::string& head_commit);

}  // namespace trovik::git
