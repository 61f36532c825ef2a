#include "git/snapshot.h"

#include "git/command_runner.h"
#include "git/excluded_paths.h"
#include "git/large_files.h"
#include "git/recorded_names.h"
#include "git/repository_paths.h"
#include "git/scoped_file_removal.h"
#include "git/snapshot_from_status.h"
#include "git/snapshot_from_work_tree.h"
#include "git/snapshot_index.h"
#include "git/snapshot_runner.h"
#include "git/snapshot_site.h"
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

// Whether the work tree may hold untracked files worth listing: status showed some ("??" lines),
// or could not tell, or the private index itself lies inside the work tree.
bool lists_untracked(const std::optional<std::string>& status_output, const SnapshotSite& site) {
  return !status_output || status_output->starts_with("??") ||
         status_output->find("\n??") != std::string::npos || site.index_inside.has_value();
}

}  // namespace

// Any failing step ends the procedure with nothing: the caller then records HEAD and the current
// branch instead. The order of the steps matters, as each one relies on the index the previous one
// left behind.
std::optional<Snapshot> snapshot_run_commit(const std::string& head_commit,
                                            const std::string& run_id,
                                            const std::optional<std::string>& status_output) {
  const std::optional<RepositoryPaths> repository = repository_paths(head_commit);
  if (!repository) return std::nullopt;
  const std::string& top_level = repository->top_level;

  // Read afresh rather than passed down from run creation, so both agree on one rule only.
  const std::string root_directory = trovik_root_directory();
  const std::optional<std::string> working_directory = working_directory_text();
  if (!working_directory) return std::nullopt;
  const std::optional<std::string> root_spec =
      resolved_root_pathspec(root_directory, top_level, *working_directory);

  // git resolves a relative index path from the top level, the module from its working directory:
  // anchor it here so both name the same file.
  std::string temporary = temporary_directory();
  if (temporary.front() != '/') temporary = join_path(*working_directory, temporary);
  const std::string index_file = join_path(temporary, index_file_name(run_id));
  const SnapshotRunner snapshot_git(index_file, repository->git_directory, top_level);
  // The index file is made below, as a copy or by git; whichever step stops the procedure, the file
  // goes with it.
  const ScopedFileRemoval remove_index(index_file);
  const SnapshotSite site{snapshot_git, index_file, top_level, *working_directory, head_commit,
                          root_spec,
                          // The index file itself is untracked when the temporary directory lies
                          // inside the work tree.
                          path_inside_work_tree(index_file, top_level)};

  // The user's index holds the stat data that spares git reading unchanged files again.
  const bool seeded = copy_user_index(repository->user_index, index_file, *working_directory);
  const std::optional<StatusPlan> plan =
      seeded && status_output ? plan_snapshot_from_status(site, *status_output) : std::nullopt;
  const std::optional<std::vector<LargeFile>> left_out =
      plan ? fill_index_from_status(site, *plan)
           : fill_index_from_work_tree(site, seeded, lists_untracked(status_output, site));
  if (!left_out) return std::nullopt;
  const OptionalText tree = snapshot_git.run(writing_index({"write-tree"}));
  if (!tree) return std::nullopt;

  // HEAD's tree through the user's own environment; an identical tree needs no commit.
  const OptionalText head_tree =
      repository->head_tree ? repository->head_tree
                            : command_output("git", {"rev-parse", head_commit + "^{tree}"});
  if (!head_tree || *head_tree == *tree) return std::nullopt;

  const std::vector<std::string> commit_tree = {
      "commit-tree", *tree, "-p", head_commit, "-m", snapshot_message(run_id, *left_out)};
  OptionalText commit = snapshot_git.run(commit_tree);
  if (!commit) commit = snapshot_git.run(commit_tree, kFallbackIdentity);
  if (!commit) return std::nullopt;
  if (!snapshot_git.run({"update-ref", run_branch_ref(run_id), *commit})) return std::nullopt;
  return Snapshot{*commit, run_branch(run_id)};
}

}  // namespace trovik::git
