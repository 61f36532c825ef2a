#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "git/large_files.h"
#include "git/snapshot_site.h"
#include "git/status_plan.h"

namespace trovik::git {

// The snapshot built from what `git status` already found, without a second walk through the
// work tree: only the paths it listed (and the few it cannot see) are looked at again.

// Whether `status_output` (the probe's `git status --porcelain`, as git wrote it) can stand in
// for the walk, and which paths it names. Asks git for the user's settings, the private index's
// entries (a copy of the user's, not yet changed) and their differences from HEAD; nothing when
// any of them rules the shortcut out, or when the root directory is a pathspec whose reach cannot
// be told from its text.
std::optional<StatusPlan> plan_snapshot_from_status(const SnapshotSite& site,
                                                    std::string_view status_output);

// Fills the private index as `add --all` and the root directory's reset would: HEAD's entries,
// then each planned path taken from the work tree or dropped. Returns the large untracked files
// left out; nothing when a git command failed.
std::optional<std::vector<LargeFile>> fill_index_from_status(const SnapshotSite& site,
                                                             const StatusPlan& plan);

}  // namespace trovik::git
