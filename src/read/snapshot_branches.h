#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "util/status.h"

namespace trovik::read {

// A branch "run/..." as git lists it: a run's snapshot branch, or a branch of the user's that
// happens to be named so. Which one it is, plan_gc decides (by its commit's subject).
struct RunBranch {
  std::string ref;     // "refs/heads/run/<...>"
  std::string commit;  // where the ref pointed when listed
  int64_t committed_ns = 0;
  std::string subject;  // the commit's subject line
};

// The branches "run/..." of the repository around the working directory; nothing outside a
// repository.
std::optional<std::vector<RunBranch>> list_run_branches();

// Deletes the branch only if it still points where it did when listed.
Status delete_run_branch(const RunBranch& branch);

// A temporary index file "trovik-<id>.index" left in the temporary directory.
struct LeftoverIndex {
  std::string path;
  std::string run_id;
  int64_t modified_ns = 0;
};
std::vector<LeftoverIndex> list_leftover_indexes();
Status delete_leftover_index(const LeftoverIndex& index);

}  // namespace trovik::read
