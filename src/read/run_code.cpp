#include "read/run_code.h"

#include <vector>

#include "git/command_runner.h"
#include "git/recorded_names.h"
#include "read/short_names.h"
#include "util/path.h"

namespace trovik::read {
namespace {

git::OptionalText git_in(const std::string& repository, std::vector<std::string> arguments) {
  if (!repository.empty()) arguments.insert(arguments.begin(), {"-C", repository});
  return git::command_output("git", arguments);
}

std::optional<std::string> top_level_around(const std::string& directory) {
  git::OptionalText top = git_in(directory, {"rev-parse", "--show-toplevel"});
  if (!top || top->empty()) return std::nullopt;
  return top;
}

// The run's root: the directory that holds runs/<id>.jsonl; a file elsewhere counts from its own
// directory.
std::string root_of(const std::string& run_file_path) {
  const size_t slash = run_file_path.rfind('/');
  if (slash == std::string::npos) return ".";
  const std::string directory = slash == 0 ? "/" : run_file_path.substr(0, slash);
  const size_t parent_end = directory.rfind('/');
  const std::string_view name = parent_end == std::string::npos
                                    ? directory
                                    : std::string_view(directory).substr(parent_end + 1);
  if (name != "runs") return directory;
  if (parent_end == std::string::npos) return ".";
  return parent_end == 0 ? "/" : directory.substr(0, parent_end);
}

bool commit_exists(const std::string& repository, const std::string& commit) {
  const git::OptionalText type = git_in(repository, {"cat-file", "-t", commit});
  return type && *type == "commit";
}

bool is_snapshot_commit(const std::string& repository, const std::string& commit,
                        std::string_view run_id) {
  const git::OptionalText subject = git_in(repository, {"log", "-1", "--format=%s", commit});
  return subject && git::is_snapshot_subject(*subject, run_id);
}

}  // namespace

bool names_snapshot(const GitFacts& git, std::string_view run_id) {
  return git.dirty && git.branch == git::run_branch(run_id);
}

std::string RepositoryFinder::repository_of(const std::string& run_file_path) {
  const std::string root = root_of(run_file_path);
  if (auto known = by_root_.find(root); known != by_root_.end()) return known->second;
  std::optional<std::string> top = top_level_around(root);
  if (!top) {
    if (!around_working_directory_) {
      around_working_directory_ = top_level_around("").value_or("");
    }
    top = around_working_directory_;
  }
  by_root_.emplace(root, *top);
  return *top;
}

RunCode look_up_code(std::string_view run_id, const std::optional<GitFacts>& git,
                     const std::string& repository, CodeDetail detail) {
  RunCode code;
  if (!git) return code;
  code.git = *git;
  code.snapshot_named = names_snapshot(*git, run_id);
  if (git->commit.empty()) {
    code.state = CodeState::kBeforeFirstCommit;
    return code;
  }
  if (!commit_exists(repository, git->commit)) {
    code.state = CodeState::kCommitMissing;
    return code;
  }
  if (!code.snapshot_named || !is_snapshot_commit(repository, git->commit, run_id)) {
    code.state = git->dirty ? CodeState::kDirtyWithoutSnapshot : CodeState::kClean;
    return code;
  }
  code.state = CodeState::kSnapshot;
  if (detail == CodeDetail::kWithDiff) {
    code.diff = git_in(repository, {"diff", git->commit + "^", git->commit, "--"});
  }
  return code;
}

std::optional<std::string> snapshot_base(const std::string& repository,
                                         const std::string& snapshot_commit) {
  const git::OptionalText parent =
      git_in(repository, {"rev-parse", "--verify", "--quiet", snapshot_commit + "^{commit}^"});
  if (!parent || parent->empty()) return std::nullopt;
  std::string base = short_commit(*parent);
  const git::OptionalText branches = git_in(
      repository, {"for-each-ref", "--contains", *parent, "--format=%(objectname) %(refname:short)",
                   std::string(git::kBranchRefPrefix)});
  if (!branches) return base;
  std::string chosen;
  size_t from = 0;
  while (from < branches->size()) {
    size_t end = branches->find('\n', from);
    if (end == std::string::npos) end = branches->size();
    const std::string_view line = std::string_view(*branches).substr(from, end - from);
    from = end + 1;
    const size_t space = line.find(' ');
    if (space == std::string_view::npos) continue;
    const std::string_view name = line.substr(space + 1);
    if (name.starts_with(git::run_branch(""))) continue;
    if (line.substr(0, space) == *parent) {
      chosen = name;
      break;
    }
    if (chosen.empty()) chosen = name;
  }
  if (!chosen.empty()) base += " (" + chosen + ")";
  return base;
}

std::optional<std::string> describe_commit(const std::string& repository,
                                           const std::string& commit) {
  return git_in(repository, {"log", "-1", "--format=%an <%ae>, %ad%n%n    %s", commit});
}

std::optional<std::string> code_difference(const std::string& repository, const std::string& from,
                                           const std::string& to) {
  return git_in(repository, {"diff", "--stat", from, to, "--"});
}

Status add_worktree(const std::string& repository, const std::string& directory,
                    const std::string& commit) {
  if (!git_in(repository, {"worktree", "add", "--detach", absolute_path(directory), commit})) {
    return Status::OSError("git could not add a worktree at " + directory + " for commit " +
                           commit + " (does the directory exist already?)");
  }
  return Status::Ok();
}

std::string working_directory_in(const std::string& worktree, const std::string& repository,
                                 const std::string& recorded) {
  if (!repository.empty() && recorded.starts_with(repository) &&
      (recorded.size() == repository.size() || recorded[repository.size()] == '/')) {
    const std::string rest = recorded.substr(repository.size());
    return rest.empty() ? worktree : join_path(worktree, rest.substr(1));
  }
  return recorded;
}

}  // namespace trovik::read
