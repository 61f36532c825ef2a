// trovik code RUN: the code a run was made with, as a diff against its commit, or that commit;
// --checkout makes a worktree of it.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <memory>
#include <optional>
#include <string>

#include "cli/command_context.h"
#include "cli/output.h"
#include "read/run_code.h"
#include "read/run_facts.h"
#include "read/run_summary_builder.h"
#include "read/short_names.h"
#include "read/text_format.h"
#include "util/quote.h"

namespace trovik::cli {
namespace {

struct CodeOptions {
  std::string run;
  std::string checkout;
};

// Text from git, several lines of it, each quoted for the terminal.
std::string quoted_lines(std::string_view text) {
  std::string out;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    append_terminal_quoted(out, text.substr(0, end));
    out += '\n';
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return out;
}

Status checkout(const read::RunSummary& run, const read::GitFacts& git,
                const std::string& repository, const std::string& dir) {
  if (Status added = read::add_worktree(repository, dir, git.commit); !added.ok()) return added;
  std::string out =
      "worktree at " + terminal_quoted(dir) + ", commit " + terminal_quoted(git.commit) + "\n";
  const std::optional<std::string> cwd = read::cwd_of(run);
  out += "to run it again:\n";
  if (cwd) {
    out += "  cd " +
           terminal_quoted(read::shell_quote({read::working_directory_in(dir, repository, *cwd)})) +
           "\n";
  }
  out += "  " + terminal_quoted(read::shell_quote(read::argv_of(run))) + "\n";
  write_out(out);
  return Status::Ok();
}

Status run_code(const CodeOptions& options, const CommandContext& context) {
  Result<read::RunFileEntry> entry = context.find_run(options.run);
  if (!entry.ok()) return std::move(entry).status();
  Result<read::RunSummary> run = read::read_run_file(entry.value().path, read::Detail::kSummary);
  if (!run.ok()) return std::move(run).status();
  const read::RunSummary& summary = run.value();
  const std::string repository = read::RepositoryFinder().repository_of(summary.path);
  const read::RunCode code = read::look_up_code(
      summary.run_id, read::git_facts(summary), repository,
      options.checkout.empty() ? read::CodeDetail::kWithDiff : read::CodeDetail::kState);
  const read::GitFacts& git = code.git;
  switch (code.state) {
    case read::CodeState::kNoWorkTree:
      return Status::OSError("run " + summary.run_id + " was not made in a git work tree");
    case read::CodeState::kBeforeFirstCommit:
      return Status::OSError("run " + summary.run_id +
                             " was made before the repository's first commit");
    case read::CodeState::kCommitMissing:
      return Status::OSError("commit " + git.commit + " of run " + summary.run_id +
                             " is not in the repository here");
    default:
      break;
  }
  if (!options.checkout.empty()) return checkout(summary, git, repository, options.checkout);

  if (code.state == read::CodeState::kSnapshot) {
    if (!code.diff) return Status::OSError("git could not show the changes of " + git.commit);
    const std::string base = read::snapshot_base(repository, git.commit).value_or(git.commit + "^");
    write_out(terminal_quoted("run " + summary.run_id + ": uncommitted changes over " + base +
                              ", kept as snapshot " + read::abbreviated_commit(git.commit)) +
              "\n");
    write_out(*code.diff + "\n");
    return Status::Ok();
  }
  std::string out =
      "run " + terminal_quoted(summary.run_id) + ": commit " + terminal_quoted(git.commit);
  if (!git.branch.empty()) out += " on " + terminal_quoted(git.branch);
  // A dirty tree without a snapshot: either only the runs directory had changed, so the commit
  // is the code, or the snapshot could not be made and the changes are not kept.
  out += code.state == read::CodeState::kDirtyWithoutSnapshot
             ? "; the work tree was dirty but no snapshot was kept (only run files had "
               "changed, or the snapshot failed)\n"
             : ", no uncommitted changes\n";
  if (const std::optional<std::string> log = read::describe_commit(repository, git.commit)) {
    out += quoted_lines(*log);
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
      ->type_name("DIR")
      ->check([](const std::string& dir) {
        return dir.empty() ? std::string("--checkout needs a directory") : std::string();
      });
  code->callback([options, &context] {
    context.command = [options, &context] { return run_code(*options, context); };
  });
}

}  // namespace trovik::cli
