// trovik gc: snapshot branches whose runs are gone (or old) and temporary index files left by
// runs that ended during their snapshot; deleted only with --yes.

#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_context.h"
#include "cli/failure.h"
#include "cli/output.h"
#include "git/recorded_names.h"
#include "read/gc_plan.h"
#include "read/run_roots.h"
#include "read/short_names.h"
#include "read/snapshot_branches.h"
#include "read/timestamp.h"
#include "util/quote.h"

namespace trovik::cli {
namespace {

struct GcOptions {
  std::string older_than;
  bool yes = false;
};

std::string reason(const read::BranchDecision& decision, int64_t now) {
  if (decision.verdict == read::BranchVerdict::kRunFileGone) return "run file not found";
  return "run started " + read::format_age(decision.run_started_ns, now);
}

std::string roots_text(const std::vector<std::string>& roots) {
  std::string text;
  for (const std::string& root : roots) text += (text.empty() ? "" : ", ") + terminal_quoted(root);
  return text;
}

Status run_gc(const GcOptions& options, const CommandContext& context) {
  read::GcPolicy policy{read::now_ns(), std::nullopt};
  if (!options.older_than.empty()) {
    policy.older_than_ns = read::parse_duration(options.older_than);
    if (!policy.older_than_ns) {
      return usage_error("bad duration '" + options.older_than + "': use e.g. 30d, 12h, 90m, 2w");
    }
  }
  const std::optional<std::vector<read::RunBranch>> listed = read::list_run_branches();
  const std::vector<std::string> roots = read::find_run_roots(context.roots);
  const read::GcPlan plan =
      read::plan_gc(listed.value_or(std::vector<read::RunBranch>{}), context.runs(),
                    read::list_leftover_indexes(), read::system_process_probe(), policy);
  if (plan.no_runs_found) {
    write_out("no runs found in " + roots_text(roots) +
              ": nothing is deleted, since a snapshot branch may hold the only copy of its run's "
              "code; give --root DIR for each directory where runs are kept\n");
    return Status::Ok();
  }
  std::vector<const read::BranchDecision*> branches;
  for (const read::BranchDecision& decision : plan.branches) {
    if (decision.taken()) branches.push_back(&decision);
  }
  std::vector<const read::LeftoverIndex*> indexes;
  for (const read::IndexDecision& decision : plan.indexes) {
    if (decision.taken()) indexes.push_back(&decision.index);
  }

  std::string out = "runs searched for in " + roots_text(roots) + "\n";
  if (!listed) out += "not in a git repository: no snapshot branches to look at\n";
  if (branches.empty() && indexes.empty()) {
    write_out(out + "nothing to clean up\n");
    return Status::Ok();
  }
  for (const read::BranchDecision* decision : branches) {
    out += "branch " + terminal_quoted(decision->branch.ref.substr(git::kBranchRefPrefix.size())) +
           "  " + read::abbreviated_commit(decision->branch.commit) + "  made " +
           read::format_age(decision->branch.committed_ns, policy.now_ns) + "  (" +
           reason(*decision, policy.now_ns) + ")\n";
  }
  for (const read::LeftoverIndex* index : indexes) {
    out += "index  " + terminal_quoted(index->path) + "  made " +
           read::format_age(index->modified_ns, policy.now_ns) + "\n";
  }
  if (!options.yes) {
    out += std::to_string(branches.size()) + " branches and " + std::to_string(indexes.size()) +
           " index files would be deleted: run again with --yes to delete them\n";
    write_out(out);
    return Status::Ok();
  }
  write_out(out);
  Status first_failure;
  size_t deleted = 0;
  auto note = [&](Status status) {
    if (status.ok()) {
      ++deleted;
    } else if (first_failure.ok()) {
      first_failure = std::move(status);
    }
  };
  for (const read::BranchDecision* decision : branches) {
    note(read::delete_run_branch(decision->branch));
  }
  for (const read::LeftoverIndex* index : indexes) note(read::delete_leftover_index(*index));
  write_out("deleted " + std::to_string(deleted) + " of " +
            std::to_string(branches.size() + indexes.size()) + "\n");
  return first_failure;
}

}  // namespace

void register_gc(CLI::App& app, CommandContext& context) {
  auto options = std::make_shared<GcOptions>();
  CLI::App* gc = app.add_subcommand(
      "gc", "List (and with --yes delete) snapshot branches and index files of runs that are gone");
  gc->add_option("--older-than", options->older_than,
                 "also take snapshot branches of runs older than this (30d, 12h, 90m, 2w), and "
                 "only things older than this")
      ->type_name("DURATION");
  gc->add_flag("--yes", options->yes, "delete what is listed");
  gc->callback([options, &context] {
    context.command = [options, &context] { return run_gc(*options, context); };
  });
}

}  // namespace trovik::cli
