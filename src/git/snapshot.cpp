#include "git/snapshot.h"

#include <algorithm>

#include "git/command_runner.h"
#include "git/excluded_paths.h"
#include "git/large_files.h"
#include "git/recorded_names.h"
#include "git/scoped_file_removal.h"
#include "git/snapshot_index.h"
#include "git/snapshot_runner.h"
#include "util/environment.h"
#include "util/path.h"
#include "util/working_directory.h"

namespace trovik::git {
namespace {

// An identity for commits where git has none (fresh containers, CI, a uid without a passwd entry);
// the user's own is always tried first.
const EnvironmentOverrides kFallbackIdentity = {{"GIT_AUTHOR_NAME", "trovik"},
                                                {"GIT_AUTHOR_EMAIL", "trovik@localhost"},
                                                {"GIT_COMMITTER_NAME", "trovik"},
                                                {"GIT_COMMITTER_EMAIL", "trovik@localhost"}};

}  // namespace

// Any failing step ends the procedure with nothing: the caller then records HEAD and the current
// branch instead. The order of the steps matters, as each one relies on the index the previous one
// left behind.
std::optional<Snapshot> snapshot_run_commit(const std::string& head_commit,
                                            const std::string& run_id, bool untracked_files) {
  const OptionalText git_directory = command_output("git", {"rev-parse", "--git-dir"});
  if (!git_directory) return std::nullopt;
  const OptionalText top_level = command_output("git", {"rev-parse", "--show-toplevel"});
  if (!top_level) return std::nullopt;

  // Read afresh rather than passed down from run creation, so both agree on one rule only.
  const std::string root_directory = trovik_root_directory();
  const std::optional<std::string> working_directory = working_directory_text();
  if (!working_directory) return std::nullopt;
  const std::optional<std::string> root_spec =
      resolved_root_pathspec(root_directory, *top_level, *working_directory);

  // git resolves a relative index path from the top level, the module from its working directory:
  // anchor it here so both name the same file.
  std::string temporary = temporary_directory();
  if (temporary.front() != '/') temporary = join_path(*working_directory, temporary);
  const std::string index_file = join_path(temporary, index_file_name(run_id));
  const SnapshotRunner snapshot_git(index_file, *git_directory, *top_level);
  // The index file is made below, as a copy or by git; whichever step stops the procedure, the file
  // goes with it.
  const ScopedFileRemoval remove_index(index_file);
  // The index file itself is untracked when the temporary directory lies inside the work tree.
  const std::optional<std::string> index_inside = path_inside_work_tree(index_file, *top_level);
  const bool list_untracked = untracked_files || index_inside.has_value();

  // HEAD's tree, with the stat data of the user's index where it can be had, so that `add` reads
  // only what changed; the work tree itself is not touched. The listing of the copy shows the
  // bits to clear, and the files the user's index lacks.
  std::optional<IndexListing> listing;
  bool seeded = copy_user_index(index_file, *working_directory);
  if (seeded) listing = list_index(snapshot_git, list_untracked);
  // git 2.39's update-index garbles a sparse index when it unmarks a file inside one of its
  // directories: such an index is not used.
  seeded = seeded && listing && !listing->sparse_directories &&
           clear_skipping_bits(snapshot_git, *listing, *top_level, *working_directory) &&
           reset_to_head(snapshot_git, head_commit);
  if (!seeded) {
    if (!start_from_head(snapshot_git, index_file, head_commit)) return std::nullopt;
    listing = list_index(snapshot_git, list_untracked);
  }
  // Untracked files too large to keep are never read; a file in HEAD or in the user's index is
  // tracked, and without a listing nothing is left out.
  const IndexQuery other_index = [&](const std::vector<std::string>& arguments) {
    return seeded ? snapshot_git.run(arguments) : command_output("git", arguments);
  };
  const std::vector<LargeFile> left_out =
      listing ? large_untracked_files(*listing, *top_level, other_index) : std::vector<LargeFile>{};
  std::vector<std::string> exclusions;
  exclusions.reserve(left_out.size() + 2);
  for (const LargeFile& file : left_out) exclusions.push_back(literal_exclusion(file.path));
  // A temporary directory inside the work tree must not put the index, or git's lock on it, into
  // the snapshot; where git ignores them, there is nothing to exclude.
  if (index_inside && listing && std::ranges::count(listing->untracked, *index_inside) != 0) {
    exclusions.push_back(literal_exclusion(*index_inside));
    exclusions.push_back(lock_file_exclusion(*index_inside));
  }

  // Every other non-ignored file, tracked or not, with deletions.
  if (!snapshot_git.run(add_all_except(exclusions))) return std::nullopt;
  // Put the root directory back as HEAD has it, so earlier run files stay out. A root directory
  // outside the work tree has nothing to put back, and git would refuse the pathspec.
  if (root_spec && !reset_root_directory(snapshot_git, *root_spec)) return std::nullopt;
  const OptionalText tree = snapshot_git.run(writing_index({"write-tree"}));
  if (!tree) return std::nullopt;

  // HEAD's tree through the user's own environment; an identical tree needs no commit.
  const OptionalText head_tree = command_output("git", {"rev-parse", head_commit + "^{tree}"});
  if (!head_tree || *head_tree == *tree) return std::nullopt;

  const std::vector<std::string> commit_tree = {
      "commit-tree", *tree, "-p", head_commit, "-m", snapshot_message(run_id, left_out)};
  OptionalText commit = snapshot_git.run(commit_tree);
  if (!commit) commit = snapshot_git.run(commit_tree, kFallbackIdentity);
  if (!commit) return std::nullopt;
  if (!snapshot_git.run({"update-ref", run_branch_ref(run_id), *commit})) return std::nullopt;
  return Snapshot{*commit, run_branch(run_id)};
}

}  // namespace trovik::git
