#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "util/status.h"

namespace trovik::read {

// A branch "run/<id>" that holds a trovik snapshot of run <id>.
struct SnapshotBranch {
  std::string ref;  // "refs/heads/run/<id>"
  std::string run_id;
  std::string commit;  // where the ref pointed when listed
  int64_t committed_ns = 0;
};

// The snapshot branches of the repository around the working directory: refs "run/<id>" whose
// commit message is exactly "trovik: snapshot run <id>" for that same id, so a user's own branch
// named "run/..." is never one. Nothing outside a repository.
std::optional<std::vector<SnapshotBranch>> list_snapshot_branches();

// Deletes the branch only if it still points where it did when listed.
Status delete_snapshot_branch(const SnapshotBranch& branch);

// A temporary index file "trovik-<id>.index" left in the temporary directory.
struct LeftoverIndex {
  std::string path;
  std::string run_id;
  int64_t modified_ns = 0;
};
std::vector<LeftoverIndex> list_leftover_indexes();
Status delete_leftover_index(const LeftoverIndex& index);

}  // namespace trovik::read
