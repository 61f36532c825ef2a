#pragma once

#include <functional>
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

// Copies the user's index, `user_index` as `git rev-parse --git-path index` answered in the user's
// environment (GIT_INDEX_FILE, linked work trees), into `index_file`. A relative answer is taken
// from `working_directory`.
bool copy_user_index(const std::optional<std::string>& user_index, const std::string& index_file,
                     const std::string& working_directory);

// Runs `command` (git's arguments up to "--", an update-index) on `paths` (relative to the top
// level), in as many calls as keep each command line well below the kernel's limit.
bool update_index_in_batches(const SnapshotRunner& snapshot_git,
                             const std::vector<std::string>& command,
                             const std::vector<std::string>& paths, const std::string& top_level,
                             const std::string& working_directory);

// Resets the copied index's entries to `head_commit`, keeping the stat data of unchanged files so
// that `add` need not read them again. Unlike `read-tree -m`, a reset accepts unmerged and
// modified entries; skip-worktree entries must have lost their bit first (a reset refuses
// them when they differ from HEAD).
bool reset_to_head(const SnapshotRunner& snapshot_git, const std::string& head_commit);

// HEAD's tree in a fresh index without stat data: every tracked file is read again by `add`.
bool start_from_head(const SnapshotRunner& snapshot_git, const std::string& index_file,
                     const std::string& head_commit);

// The private index's entries with their bits and, when asked for (it takes a walk through the
// work tree), the files of the whole work tree it lacks.
std::optional<IndexListing> list_index(const SnapshotRunner& snapshot_git, bool with_untracked);

// Clears the assume-unchanged and skip-worktree bits that came with the user's index, so that
// `add` looks at those files as it does in a fresh index. `top_level` and `working_directory`
// anchor the listing's paths, which are relative to the top level.
bool clear_skipping_bits(const SnapshotRunner& snapshot_git, const IndexListing& listing,
                         const std::string& top_level, const std::string& working_directory);

// Runs `git ls-files` with the given arguments against one index or the other; the output as git
// wrote it.
using IndexQuery = std::function<std::optional<std::string>(const std::vector<std::string>&)>;

// The files too large for a snapshot: larger than kLargeFileBytes, missing from the listed index
// and from the one `other_index` asks (HEAD's and the user's, in either role): a file in either is
// tracked, and always belongs in the snapshot. Nothing when `other_index` cannot answer.
std::vector<LargeFile> large_untracked_files(const IndexListing& listing,
                                             const std::string& top_level,
                                             const IndexQuery& other_index);

// Puts the entries below `root_spec` back as HEAD has them. The stat data that a reset refreshes
// afterwards (reading every file of the work tree) does not enter the tree; git before 2.38 did
// not refresh after a quiet reset and does not know the option that skips it.
bool reset_root_directory(const SnapshotRunner& snapshot_git, const std::string& root_spec);

// `arguments` with options that keep git from trusting stale stat data in the seeded index,
// whatever the user's settings.
std::vector<std::string> checking_stat_data(std::vector<std::string> arguments);

// The arguments of the `add` that fills the private index from the work tree, with the given
// exclusion pathspecs.
std::vector<std::string> add_all_except(const std::vector<std::string>& exclusions);

}  // namespace trovik::git
