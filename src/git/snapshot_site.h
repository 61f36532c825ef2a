#pragma once

#include <optional>
#include <string>

#include "git/snapshot_runner.h"

namespace trovik::git {

// Where a snapshot is built: its private index, the work tree, and what anchors paths there.
struct SnapshotSite {
  const SnapshotRunner& git;  // runs git against the private index
  std::string index_file;     // the private index, absolute
  std::string top_level;      // as git printed it
  std::string working_directory;
  std::string head_commit;
  // The pathspec that puts the root directory back as HEAD has it (resolved_root_pathspec); none
  // when the root lies outside the work tree.
  std::optional<std::string> root_spec;
  // The private index's path from the top level, when it lies inside the work tree.
  std::optional<std::string> index_inside;
};

}  // namespace trovik::git
