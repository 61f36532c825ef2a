#include "git/snapshot_runner.h"

namespace trovik::git {

SnapshotRunner::SnapshotRunner(const std::string& index_file, const std::string& git_directory,
                               const std::string& work_tree)
    : overrides_{{"GIT_INDEX_FILE", index_file},
                 {"GIT_DIR", git_directory},
                 {"GIT_WORK_TREE", work_tree}} {}

OptionalText SnapshotRunner::run(const std::vector<std::string>& arguments) const {
  return command_output("git", arguments, overrides_);
}

std::optional<std::string> SnapshotRunner::run_bytes(
    const std::vector<std::string>& arguments) const {
  return command_bytes("git", arguments, overrides_);
}

OptionalText SnapshotRunner::run(const std::vector<std::string>& arguments,
                                 const EnvironmentOverrides& extra) const {
  EnvironmentOverrides overrides = overrides_;
  overrides.insert(overrides.end(), extra.begin(), extra.end());
  return command_output("git", arguments, overrides);
}

}  // namespace trovik::git
