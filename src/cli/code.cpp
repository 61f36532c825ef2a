// trovik code RUN: the code a run was made with, as a diff against its commit, or that commit;
// --checkout makes a worktree of it.

#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <string>

#include "cli/command_context.h"
#include "cli/output.h"
#include "git/command_runner.h"
#include "read/run_facts.h"
#include "read/run_summary_builder.h"
#include "read/text_format.h"
#include "util/path.h"

namespace trovik::cli {
namespace {

constexpr std::string_view kSnapshotMessage = "trovik: snapshot run ";

struct CodeOptions {
  std::string run;
  std::string checkout;
};

bool commit_exists(const std::string& commit) {
  const git::OptionalText type = git::command_output("git", {"cat-file", "-t", commit});
  return type && *type == "commit";
}

// The snapshot commit the run recorded, when its changes were kept as one.
bool is_snapshot(const read::RunSummary& run, const read::GitFacts& git) {
  if (!git.dirty || git.branch != "run/" + run.run_id) return false;
  const git::OptionalText subject =
      git::command_output("git", {"log", "-1", "--format=%s", git.commit});
  return subject && *subject == std::string(kSnapshotMessage) + run.run_id;
}

// The recorded working directory, moved into the worktree when it lay in this work tree.
std::string working_directory_in(const std::string& worktree, const std::string& recorded) {
  const git::OptionalText top = git::command_output("git", {"rev-parse", "--show-toplevel"});
  if (top && !top->empty() && recorded.starts_with(*top) &&
      (recorded.size() == top->size() || recorded[top->size()] == '/')) {
    const std::string rest = recorded.substr(top->size());
    return rest.empty() ? worktree : join_path(worktree, rest.substr(1));
  }
  return recorded;
}

Status checkout(const read::RunSummary& run, const read::GitFacts& git, const std::string& dir) {
  if (!git::command_output("git", {"worktree", "add", "--detach", dir, git.commit})) {
    return Status::OSError("git could not add a worktree at " + dir + " for commit " + git.commit +
                           " (does the directory exist already?)");
  }
  std::string out = "worktree at " + dir + ", commit " + git.commit + "\n";
  const std::optional<std::string> cwd = read::cwd_of(run);
  out += "to run it again:\n";
  if (cwd) out += "  cd " + read::shell_quote({working_directory_in(dir, *cwd)}) + "\n";
  out += "  " + read::shell_quote(read::argv_of(run)) + "\n";
  write_out(out);
  return Status::Ok();
}

Status run_code(const CodeOptions& options, const CommandContext& context) {
  Result<read::RunFileEntry> entry = context.find_run(options.run);
  if (!entry.ok()) return std::move(entry).status();
  Result<read::RunSummary> run = read::read_run_file(entry.value().path, read::Detail::kSummary);
  if (!run.ok()) return std::move(run).status();
  const read::RunSummary& summary = run.value();
  const std::optional<read::GitFacts> git = read::git_facts(summary);
  if (!git) return Status::OSError("run " + summary.run_id + " was not made in a git work tree");
  if (git->commit.empty()) {
    return Status::OSError("run " + summary.run_id +
                           " was made before the repository's first commit");
  }
  if (!commit_exists(git->commit)) {
    return Status::OSError("commit " + git->commit + " of run " + summary.run_id +
                           " is not in the repository here");
  }
  if (!options.checkout.empty()) return checkout(summary, *git, options.checkout);

  if (is_snapshot(summary, *git)) {
    const git::OptionalText diff =
        git::command_output("git", {"diff", git->commit + "^", git->commit, "--"});
    if (!diff) return Status::OSError("git could not show the changes of " + git->commit);
    write_out("run " + summary.run_id + ": uncommitted changes over " + git->commit + "^\n");
    write_out(*diff + "\n");
    return Status::Ok();
  }
  std::string out = "run " + summary.run_id + ": commit " + git->commit;
  if (!git->branch.empty()) out += " on " + git->branch;
  // A dirty tree without a snapshot: either only the runs directory had changed, so the commit
  // is the code, or the snapshot could not be made and the changes are not kept.
  out += git->dirty ? "; the work tree was dirty but no snapshot was kept (only run files had "
                      "changed, or the snapshot failed)\n"
                    : ", no uncommitted changes\n";
  if (const git::OptionalText log = git::command_output(
          "git", {"log", "-1", "--format=%an <%ae>, %ad%n%n    %s", git->commit})) {
    out += *log + "\n";
  }
  write_out(out);
  return Status::Ok();
}

}  // namespace

void register_code(CLI::App& app, CommandContext& context) {
  auto options = std::make_shared<CodeOptions>();
  CLI::App* code = app.add_subcommand(
      "code", "Show the code a run used: its uncommitted changes, or its clean commit");
  code->add_option("run", options->run, "run id, id prefix, @N or run file")
      ->required()
      ->type_name("RUN");
  code->add_option("--checkout", options->checkout,
                   "make a git worktree of the run's code at DIR and print how to run it again")
      ->type_name("DIR");
  code->callback([options, &context] {
    context.command = [options, &context] { return run_code(*options, context); };
  });
}

}  // namespace trovik::cli
