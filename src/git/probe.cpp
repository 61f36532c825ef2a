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
  // Kept as git wrote it: the snapshot reads the paths it names.
  const std::optional<std::string> status = command_bytes(
      "git", {"status", "--porcelain", "--ignore-submodules"}, {{"GIT_OPTIONAL_LOCKS", "0"}});
  // A status that fails tells nothing about the work tree: claiming it clean would claim HEAD's
  // code was run.
  state.dirty = !status || !trim_white_space(decode_utf8_lossy(*status)).empty();

  if (state.dirty) {
    if (std::optional<Snapshot> snapshot = snapshot_run_commit(head, run_id, status)) {
      state.commit = std::move(snapshot->commit);
      state.branch = std::move(snapshot->branch);
    }
  }
  return state;
}

}  // namespace trovik::git
