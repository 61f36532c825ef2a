#pragma once

#include <optional>
#include <string>

namespace trovik::git {

struct Snapshot {
  std::string commit;  // the snapshot commit id
  std::string branch;  // "run/" + run id
};

// Freezes the work tree (apart from the module's own root directory) as a commit whose only parent
// is `head_commit`, built in a private temporary index and made reachable as the branch
// "run/<run_id>". The user's index, work tree, HEAD and current branch are never touched. Nothing
// when any step fails or when the tree equals HEAD's. `status_output` is what `git status
// --porcelain --ignore-submodules` printed just before, byte for byte, when it answered: where it
// can be trusted, only the paths it lists are looked at again, instead of the whole work tree.
std::optional<Snapshot> snapshot_run_commit(
    const std::string& head_commit, const std::string& run_id,
    const std::optional<std::string>& status_output = std::nullopt);

}  // namespace trovik::git
