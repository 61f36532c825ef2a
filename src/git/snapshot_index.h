#pragma once

#include <optional>
#include <string>
#include <vector>

#include "git/index_listing.h"
#include "git/large_files.h"
#include "git/snapshot_runner.h"

namespace trovik::git {

// The steps that fill a snapshot's private index before `add`. Each returns whether git did what
// was asked; none of them writes anything of the user's but objects.

// Options for every command that writes the private index: with a split index, git would
// otherwise leave a new shared index file in the user's git directory.
std::vector<std::string> writing_index(std::vector<std::string> arguments);

// Copies the user's index (found as git finds it: GIT_INDEX_FILE, linked work trees) into
// `index_file` and resets its entries to `head_commit`, keeping the stat data of unchanged files so
// that `add` need not read them again.
bool seed_from_user_index(const SnapshotRunner& snapshot_git, const std::string& index_file,
                          const std::string& head_commit, const std::string& working_directory);

// HEAD's tree in a fresh index without stat data: every tracked file is read again by `add`.
bool start_from_head(const SnapshotRunner& snapshot_git, const std::string& index_file,
                     const std::string& head_commit);

// The private index's entries with their bits, and the untracked files of the whole work tree.
std::optional<IndexListing> list_index(const SnapshotRunner& snapshot_git);

// Clears the assume-unchanged and skip-worktree bits that came with the user's index, so that
// `add` looks at those files as it does in a fresh index. `top_level` and `working_directory`
// anchor the listing's paths, which are relative to the top level.
bool clear_skipping_bits(const SnapshotRunner& snapshot_git, const IndexListing& listing,
                         const std::string& top_level, const std::string& working_directory);

// The untracked files too large for a snapshot: larger than kLargeFileBytes, and neither in HEAD
// (the listing's untracked files) nor staged in the user's index. Nothing when the user's index
// cannot be asked.
std::vector<LargeFile> large_untracked_files(const IndexListing& listing,
                                             const std::string& top_level);

// The arguments of the `add` that fills the private index from the work tree, with the given
// exclusion pathspecs.
std::vector<std::string> add_all_except(const std::vector<std::string>& exclusions);

}  // namespace trovik::git
