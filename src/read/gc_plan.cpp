#include "read/gc_plan.h"

#include <map>
#include <string>

#include "git/recorded_names.h"

namespace trovik::read {
namespace {

// An index file whose run file is not found belongs to no run this command can ask about; a run
// being started holds its index for seconds, so one older than this is left over.
constexpr int64_t kOrphanIndexAgeNs = int64_t{3600} * 1'000'000'000;

}  // namespace

GcPlan plan_gc(const std::vector<RunBranch>& branches, const std::vector<RunFileEntry>& runs,
               const std::vector<LeftoverIndex>& indexes, const ProcessProbe& probe,
               const GcPolicy& policy) {
  // Of two files of one run, the newest speaks for it.
  std::map<std::string, const RunFileEntry*, std::less<>> by_id;
  for (const RunFileEntry& run : runs) by_id.emplace(run.run_id, &run);
  auto is_old = [&](int64_t ns) {
    return !policy.older_than_ns || policy.now_ns - ns > *policy.older_than_ns;
  };
  auto still_running = [&](const RunFileEntry& run) { return is_live(run.process, probe); };

  GcPlan plan;
  plan.no_runs_found = runs.empty();
  for (const RunBranch& branch : branches) {
    BranchDecision& decision = plan.branches.emplace_back(BranchDecision{branch});
    // Only the module's own snapshot of this very run: never a branch a user made.
    const std::optional<std::string_view> run_id = git::run_id_of_branch_ref(branch.ref);
    if (!run_id || !git::is_snapshot_subject(branch.subject, *run_id)) continue;
    if (plan.no_runs_found) {
      decision.verdict = BranchVerdict::kNoRunsFound;
      continue;
    }
    const auto found = by_id.find(*run_id);
    if (found == by_id.end()) {
      // The run file is gone: the snapshot commit's date tells its age.
      decision.verdict =
          is_old(branch.committed_ns) ? BranchVerdict::kRunFileGone : BranchVerdict::kTooRecent;
      continue;
    }
    const RunFileEntry& run = *found->second;
    decision.run_started_ns = run.started_ns;
    if (!policy.older_than_ns) {
      decision.verdict = BranchVerdict::kRunFound;
    } else if (!is_old(run.started_ns)) {
      decision.verdict = BranchVerdict::kTooRecent;
    } else if (!run.readable) {
      decision.verdict = BranchVerdict::kRunUnreadable;
    } else if (still_running(run)) {
      decision.verdict = BranchVerdict::kRunStillRunning;
    } else {
      decision.verdict = BranchVerdict::kRunOld;
    }
  }

  for (const LeftoverIndex& index : indexes) {
    IndexDecision& decision = plan.indexes.emplace_back(IndexDecision{index});
    if (!is_old(index.modified_ns)) continue;
    if (plan.no_runs_found) {
      decision.verdict = IndexVerdict::kNoRunsFound;
      continue;
    }
    const auto found = by_id.find(index.run_id);
    if (found == by_id.end()) {
      decision.verdict = policy.now_ns - index.modified_ns < kOrphanIndexAgeNs
                             ? IndexVerdict::kTooRecent
                             : IndexVerdict::kOrphaned;
    } else if (!found->second->readable) {
      decision.verdict = IndexVerdict::kRunUnreadable;
    } else if (still_running(*found->second)) {
      decision.verdict = IndexVerdict::kRunStillRunning;
    } else {
      decision.verdict = IndexVerdict::kRunEnded;
    }
  }
  return plan;
}

}  // namespace trovik::read
