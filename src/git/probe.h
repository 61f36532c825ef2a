#pragma once

#include <optional>
#include <string>

namespace trovik::git {

struct RepositoryState {
  std::string commit;  // snapshot commit, else HEAD, else ""
  std::string branch;  // "run/<id>" after a snapshot, else the current branch, else ""
  bool dirty = false;
};

// Asks git, from the working directory, which commit and branch are current and whether the work
// tree is dirty; freezes a dirty tree as a snapshot. Nothing when the working directory is not in
// a work tree or git cannot be run.
std::optional<RepositoryState> probe_repository(const std::string& run_id);

}  // namespace trovik::git
