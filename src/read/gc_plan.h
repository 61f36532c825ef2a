#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "read/process_probe.h"
#include "read/run_catalog.h"
#include "read/snapshot_branches.h"

namespace trovik::read {

// What `gc` deletes, decided apart from listing and deleting so that the policy can be checked on
// its own: a pure function of what was listed, the time, --older-than and a process probe.

struct GcPolicy {
  int64_t now_ns = 0;
  // --older-than: also take the snapshots of runs this old, and only take things this old.
  std::optional<int64_t> older_than_ns;
};

enum class BranchVerdict {
  kNotASnapshot,     // kept: not trovik's snapshot of the run it names (a branch of the user's)
  kRunFound,         // kept: its run file is there
  kTooRecent,        // kept: its run, or its commit when the run file is gone, is not that old
  kRunUnreadable,    // kept: whether its run still runs can't be told
  kRunStillRunning,  // kept: an old run that is still running keeps its code
  kNoRunsFound,      // kept: the roots searched hold no runs at all, so absence tells nothing
  kRunFileGone,      // taken: no run file of its run was found
  kRunOld,           // taken: its run is older than --older-than
};

enum class IndexVerdict {
  kTooRecent,        // kept: newer than --older-than, or an orphan younger than an hour
  kRunUnreadable,    // kept
  kRunStillRunning,  // kept: its run may be taking its snapshot right now
  kNoRunsFound,      // kept: as BranchVerdict::kNoRunsFound
  kRunEnded,         // taken: its run's process is gone
  kOrphaned,         // taken: no run file of its run was found, and it is over an hour old
};

struct BranchDecision {
  RunBranch branch;
  BranchVerdict verdict = BranchVerdict::kNotASnapshot;
  int64_t run_started_ns = 0;  // for kRunOld
  bool taken() const {
    return verdict == BranchVerdict::kRunFileGone || verdict == BranchVerdict::kRunOld;
  }
};

struct IndexDecision {
  LeftoverIndex index;
  IndexVerdict verdict = IndexVerdict::kTooRecent;
  bool taken() const {
    return verdict == IndexVerdict::kRunEnded || verdict == IndexVerdict::kOrphaned;
  }
};

// A decision for every branch and index file listed, in their order. `runs` are the run files
// found, newest first (read with their first lines: their ids, starts and processes). When there
// are none, nothing is taken: roots that hold no runs are most likely not where the runs are kept
// (another TROVIK_DIR), and a snapshot may be the only copy of a run's code.
struct GcPlan {
  std::vector<BranchDecision> branches;
  std::vector<IndexDecision> indexes;
  bool no_runs_found = false;
};
GcPlan plan_gc(const std::vector<RunBranch>& branches, const std::vector<RunFileEntry>& runs,
               const std::vector<LeftoverIndex>& indexes, const ProcessProbe& probe,
               const GcPolicy& policy);

}  // namespace trovik::read
