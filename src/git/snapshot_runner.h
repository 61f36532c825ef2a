#pragma once

#include <string>
#include <vector>

#include "git/command_runner.h"

namespace trovik::git {

// Runs git against a private index: every command sees GIT_INDEX_FILE, GIT_DIR and GIT_WORK_TREE
// (set in that order, over any inherited values), so index writes never reach the user's index.
// The git directory is passed as git printed it; a relative one is read by git against the same
// working directory it was printed in.
class SnapshotRunner {
 public:
  SnapshotRunner(const std::string& index_file, const std::string& git_directory,
                 const std::string& work_tree);

  OptionalText run(const std::vector<std::string>& arguments) const;
  // As run, with `extra` set after the three variables above.
  OptionalText run(const std::vector<std::string>& arguments,
                   const EnvironmentOverrides& extra) const;
  // As run, with the output as git wrote it (see command_bytes).
  std::optional<std::string> run_bytes(const std::vector<std::string>& arguments) const;

 private:
  EnvironmentOverrides overrides_;
};

}  // namespace trovik::git
