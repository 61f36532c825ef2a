#pragma once

#include <optional>
#include <vector>

#include "git/large_files.h"
#include "git/snapshot_site.h"

namespace trovik::git {

// Fills the private index from a walk through the whole work tree: HEAD's entries, `add --all`,
// then the root directory put back as HEAD has it. `seeded` says whether the index is already a
// copy of the user's (its stat data spares `add` reading unchanged files); `list_untracked`,
// whether the work tree may hold untracked files worth looking at. Returns the large untracked
// files left out; nothing when a git command failed.
std::optional<std::vector<LargeFile>> fill_index_from_work_tree(const SnapshotSite& site,
                                                                bool seeded, bool list_untracked);

}  // namespace trovik::git
