// trovik gc: snapshot branches whose runs are gone (or old) and temporary index files left by
// runs that ended during their snapshot; deleted only with --yes.

#include <CLI/CLI.hpp>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_context.h"
#include "cli/failure.h"
#include "cli/output.h"
#include "read/run_facts.h"
#include "read/run_summary_builder.h"
#include "read/snapshot_branches.h"
#include "read/timestamp.h"

namespace trovik::cli {
namespace {

// An index file whose run file is not found belongs to no run this command can ask about; a run
// being started holds its index for seconds, so one older than this is left over.
constexpr int64_t kOrphanIndexAgeNs = int64_t{3600} * 1'000'000'000;

struct GcOptions {
  std::string older_than;
  bool yes = false;
};

Status run_gc(const GcOptions& options, const CommandContext& context) {
  std::optional<int64_t> older_than;
  if (!options.older_than.empty()) {
    older_than = read::parse_duration(options.older_than);
    if (!older_than) {
      return usage_error("bad duration '" + options.older_than + "': use e.g. 30d, 12h, 90m, 2w");
    }
  }
  const int64_t now = read::now_ns();
  std::map<std::string, read::RunFileEntry> runs;
  for (read::RunFileEntry& entry : context.runs()) runs.emplace(entry.run_id, std::move(entry));
  auto is_old = [&](int64_t ns) { return !older_than || now - ns > *older_than; };

  // A branch goes when its run file is gone, or with --older-than when its run is that old
  // (when the file is gone, the snapshot commit's date tells its age).
  std::vector<read::SnapshotBranch> branches;
  std::vector<std::string> reasons;
  const std::optional<std::vector<read::SnapshotBranch>> listed = read::list_snapshot_branches();
  for (const read::SnapshotBranch& branch : listed.value_or(std::vector<read::SnapshotBranch>{})) {
    const auto run = runs.find(branch.run_id);
    if (run == runs.end()) {
      if (!is_old(branch.committed_ns)) continue;
      reasons.emplace_back("run file not found");
    } else {
      if (!older_than || !is_old(run->second.started_ns)) continue;
      reasons.push_back("run started " + read::format_age(run->second.started_ns, now));
    }
    branches.push_back(branch);
  }

  // An index goes when its run's process is gone.
  std::vector<read::LeftoverIndex> indexes;
  for (const read::LeftoverIndex& index : read::list_leftover_indexes()) {
    if (!is_old(index.modified_ns)) continue;
    const auto run = runs.find(index.run_id);
    if (run == runs.end()) {
      if (now - index.modified_ns < kOrphanIndexAgeNs) continue;
    } else {
      Result<read::RunSummary> summary =
          read::read_run_file(run->second.path, read::Detail::kSummary);
      if (!summary.ok() || read::run_is_live(summary.value())) continue;
    }
    indexes.push_back(index);
  }

  std::string out;
  if (!listed) out += "not in a git repository: no snapshot branches to look at\n";
  if (branches.empty() && indexes.empty()) {
    write_out(out + "nothing to clean up\n");
    return Status::Ok();
  }
  for (size_t i = 0; i < branches.size(); ++i) {
    out += "branch " + branches[i].ref.substr(11) + "  " + branches[i].commit.substr(0, 10) +
           "  (" + reasons[i] + ")\n";
  }
  for (const read::LeftoverIndex& index : indexes) out += "index  " + index.path + "\n";
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
  for (const read::SnapshotBranch& branch : branches) note(read::delete_snapshot_branch(branch));
  for (const read::LeftoverIndex& index : indexes) note(read::delete_leftover_index(index));
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
