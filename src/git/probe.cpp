#include "git/probe.h"

#include "git/command_runner.h"
#include "git/snapshot.h"
#include "util/unicode.h"

namespace trovik::git {

std::optional<RepositoryState> probe_repository(const std::string& run_id) {
  // Inside the git directory or a bare repository git answers "false": no work tree to describe.
  const OptionalText inside = command_output("git", {"rev-parse", "--is-inside-work-tree"});
  if (!inside || *inside != "true") return std::nullopt;

  RepositoryState state;
  const std::string head = command_output("git", {"rev-parse", "HEAD"}).value_or("");
  state.commit = head;
  state.branch = command_output("git", {"rev-parse", "--abbrev-ref", "HEAD"}).value_or("");
  // Submodules are left out: their changes live in their own repositories. Without optional locks
  // git status only reads: otherwise it refreshes the stat data in the user's index, holding
  // index.lock meanwhile, so a git command the user runs at that moment would fail.
  const OptionalText status = command_output(
      "git", {"status", "--porcelain", "--ignore-submodules"}, {{"GIT_OPTIONAL_LOCKS", "0"}});
  // A status that fails tells nothing about the work tree: claiming it clean would claim HEAD's
  // code was run.
  state.dirty = !status || !trim_white_space(*status).empty();

  if (state.dirty) {
    // Untracked files show as "??" lines; a status that failed showed nothing either way.
    const bool untracked =
        !status || status->starts_with("??") || status->find("\n??") != std::string::npos;
    if (std::optional<Snapshot> snapshot = snapshot_run_commit(head, run_id, untracked)) {
      state.commit = std::move(snapshot->commit);
      state.branch = std::move(snapshot->branch);
    }
  }
  return state;
}

}  // namespace trovik::git
