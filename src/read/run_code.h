#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "read/run_facts.h"
#include "util/status.h"

namespace trovik::read {

// The code a run was made with, looked up in the git repository that holds it. Git runs in that
// repository's directory (`git -C`), never wherever the command happens to be.

// True when the run's record names its own snapshot: a dirty tree committed to branch "run/<id>".
// The one place that decides whether a run has a snapshot; the lookup below then checks that the
// commit is really that snapshot.
bool names_snapshot(const GitFacts& git, std::string_view run_id);

// Finds the repository of each run: the git work tree around the run file's root directory (the
// directory holding runs/), else the one around the working directory. Answers are kept, so a
// root's repository is asked for once.
class RepositoryFinder {
 public:
  // The work tree's top level, or empty when neither place is in one (git then runs in the working
  // directory, and fails as it would have there).
  std::string repository_of(const std::string& run_file_path);

 private:
  std::map<std::string, std::string> by_root_;
  std::optional<std::string> around_working_directory_;
};

enum class CodeState {
  kNoWorkTree,            // the run was not made in a git work tree
  kBeforeFirstCommit,     // the repository had no commit yet
  kCommitMissing,         // its commit is not in this repository
  kClean,                 // the commit is the code
  kDirtyWithoutSnapshot,  // the tree had changes that no snapshot kept
  kSnapshot,              // the changes were committed as the run's snapshot
};

struct RunCode {
  CodeState state = CodeState::kNoWorkTree;
  GitFacts git;                     // as recorded; empty for kNoWorkTree
  bool snapshot_named = false;      // names_snapshot(git, run id)
  std::optional<std::string> diff;  // kSnapshot with the diff asked for, when git could show it
};

enum class CodeDetail { kState, kWithDiff };

// What the code of run `run_id` with recorded `git` facts is, in `repository`
// (RepositoryFinder::repository_of). With kWithDiff, a snapshot's changes against its parent.
RunCode look_up_code(std::string_view run_id, const std::optional<GitFacts>& git,
                     const std::string& repository, CodeDetail detail);

// What a snapshot's changes were made over, as a reader knows it: its parent's short commit and
// a branch that contains that commit when there is one ("f9c116b (feature-wd)"), preferring one
// whose tip it is; snapshot branches are never named. Nothing when git can't tell.
std::optional<std::string> snapshot_base(const std::string& repository,
                                         const std::string& snapshot_commit);

// "Author <email>, date" and the subject of a commit, as `git log` writes them.
std::optional<std::string> describe_commit(const std::string& repository,
                                           const std::string& commit);
// `git diff --stat` from one commit to another; nothing when git can't compare them here.
std::optional<std::string> code_difference(const std::string& repository, const std::string& from,
                                           const std::string& to);
// A detached git worktree of `commit` at `directory` (relative to the working directory).
Status add_worktree(const std::string& repository, const std::string& directory,
                    const std::string& commit);
// A working directory recorded by a run, moved into a worktree of its repository when it lay in the
// repository's work tree; else as recorded.
std::string working_directory_in(const std::string& worktree, const std::string& repository,
                                 const std::string& recorded);

}  // namespace trovik::read
