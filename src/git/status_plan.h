#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "git/index_listing.h"
#include "git/status_listing.h"

namespace trovik::git {

// The paths where a snapshot index can differ from HEAD, from what `git status` listed (the work
// tree against the user's index, the index against HEAD) and from the user's index against HEAD
// as `git diff-index --cached` shows it, which also sees the submodule entries status was told to
// ignore. Every other path is the same in HEAD, the user's index and the work tree, provided
// status saw every change (status_sees_every_change) and trusted no bit of the index's.
struct StatusPlan {
  // Paths HEAD holds: each is taken from the work tree, or dropped where the work tree lacks it.
  std::set<std::string> tracked;
  // Paths HEAD lacks, untracked directories ending in "/": whatever git does not ignore there
  // is added.
  std::set<std::string> untracked;
  // Those of `untracked` that the user's index holds, so they are tracked to the user however
  // large.
  std::set<std::string> staged;
  // HEAD's submodule entries: the only paths of `tracked` that may be directories in the work tree.
  std::set<std::string> gitlinks;
  // Whether the copy of the user's index must first be put back to HEAD.
  bool reset_to_head = false;
  // The root directory from the top level, when it lies inside: nothing at or below it is taken.
  std::optional<std::string> root;
};

// Nothing when the plan cannot be trusted: an entry is unmerged, or the listing of the user's
// index (with `-s`) shows bits that hide files from status or a sparse index. Paths at or below
// `root` (the root directory from the top level, when it lies inside) are left out, so that it
// stays as HEAD has it. `head_differences` is the output of `diff-index --cached -z
// --no-renames`.
std::optional<StatusPlan> plan_from_status(const std::vector<StatusEntry>& status,
                                           std::string_view head_differences,
                                           const IndexListing& listing,
                                           const std::optional<std::string>& root);

}  // namespace trovik::git
