#include "read/gc_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "git/recorded_names.h"
#include "support/fake_process_probe.h"

namespace trovik::read {
namespace {

constexpr int64_t kHour = int64_t{3600} * 1'000'000'000;
constexpr int64_t kNow = 1000 * kHour;
constexpr int64_t kDay = 24 * kHour;

RunBranch snapshot_of(const std::string& run_id, int64_t committed_ns) {
  return {git::run_branch_ref(run_id), "c0ffee" + run_id, committed_ns,
          git::snapshot_subject(run_id)};
}

RunFileEntry run_file(const std::string& run_id, int64_t started_ns, int64_t pid,
                      bool readable = true) {
  RunFileEntry entry;
  entry.path = ".trovik/runs/" + run_id + ".jsonl";
  entry.run_id = run_id;
  entry.started_ns = started_ns;
  entry.process = {"here", pid, started_ns};
  entry.readable = readable;
  return entry;
}

LeftoverIndex index_of(const std::string& run_id, int64_t modified_ns) {
  return {"/tmp/" + git::index_file_name(run_id), run_id, modified_ns};
}

class GcPlanning : public testing::Test {
 protected:
  GcPlanning() : probe_("here") {
    probe_.add(100, kNow - 90 * kDay);  // the process of "running", started before it
    runs_ = {run_file("running", kNow - 60 * kDay, 100), run_file("ended", kNow - 60 * kDay, 200),
             run_file("recent", kNow - kHour, 300),
             run_file("unreadable", kNow - 60 * kDay, 400, false)};
  }

  GcPlan plan(const std::vector<RunBranch>& branches, const std::vector<LeftoverIndex>& indexes,
              std::optional<int64_t> older_than) const {
    return plan_gc(branches, runs_, indexes, probe_, GcPolicy{kNow, older_than});
  }

  testing_support::FakeProcessProbe probe_;
  std::vector<RunFileEntry> runs_;
};

TEST_F(GcPlanning, TakesOnlySnapshotsOfRunsGoneOrOldAndEnded) {
  RunBranch users = {"refs/heads/run/mine", "abc", kNow - 90 * kDay, "my own work"};
  RunBranch impostor = snapshot_of("gone-a", kNow - 90 * kDay);
  impostor.subject = git::snapshot_subject("gone-b");  // another run's snapshot message
  const std::vector<RunBranch> branches = {users,
                                           impostor,
                                           snapshot_of("gone", kNow - 90 * kDay),
                                           snapshot_of("gone-young", kNow - kHour),
                                           snapshot_of("running", kNow),
                                           snapshot_of("ended", kNow),
                                           snapshot_of("recent", kNow),
                                           snapshot_of("unreadable", kNow)};
  using V = BranchVerdict;
  auto verdicts = [&](std::optional<int64_t> older_than) {
    std::vector<V> found;
    for (const BranchDecision& decision : plan(branches, {}, older_than).branches) {
      found.push_back(decision.verdict);
    }
    return found;
  };
  EXPECT_EQ(verdicts(std::nullopt),
            (std::vector<V>{V::kNotASnapshot, V::kNotASnapshot, V::kRunFileGone, V::kRunFileGone,
                            V::kRunFound, V::kRunFound, V::kRunFound, V::kRunFound}));
  EXPECT_EQ(verdicts(30 * kDay),
            (std::vector<V>{V::kNotASnapshot, V::kNotASnapshot, V::kRunFileGone, V::kTooRecent,
                            V::kRunStillRunning, V::kRunOld, V::kTooRecent, V::kRunUnreadable}));
  const GcPlan old = plan(branches, {}, 30 * kDay);
  EXPECT_EQ(old.branches[5].run_started_ns, kNow - 60 * kDay);
  EXPECT_TRUE(old.branches[5].taken());
  EXPECT_FALSE(old.branches[4].taken());
}

TEST_F(GcPlanning, TakesIndexFilesOfEndedRunsAndOldOrphans) {
  const std::vector<LeftoverIndex> indexes = {
      index_of("running", kNow - 2 * kHour),      index_of("ended", kNow - 2 * kHour),
      index_of("unreadable", kNow - 2 * kHour),   index_of("orphan-old", kNow - 2 * kHour),
      index_of("orphan-young", kNow - kHour / 2), index_of("ended", kNow - kHour / 2)};
  using V = IndexVerdict;
  auto verdicts = [&](std::optional<int64_t> older_than) {
    std::vector<V> found;
    for (const IndexDecision& decision : plan({}, indexes, older_than).indexes) {
      found.push_back(decision.verdict);
    }
    return found;
  };
  EXPECT_EQ(verdicts(std::nullopt),
            (std::vector<V>{V::kRunStillRunning, V::kRunEnded, V::kRunUnreadable, V::kOrphaned,
                            V::kTooRecent, V::kRunEnded}));
  EXPECT_EQ(verdicts(kHour), (std::vector<V>{V::kRunStillRunning, V::kRunEnded, V::kRunUnreadable,
                                             V::kOrphaned, V::kTooRecent, V::kTooRecent}));
}

// Roots without a single run are most likely the wrong roots: nothing of theirs is taken.
TEST_F(GcPlanning, TakesNothingWhenTheRootsHoldNoRuns) {
  runs_.clear();
  const GcPlan planned = plan({snapshot_of("gone", kNow - 90 * kDay)},
                              {index_of("orphan-old", kNow - 2 * kHour)}, std::nullopt);
  EXPECT_TRUE(planned.no_runs_found);
  EXPECT_EQ(planned.branches[0].verdict, BranchVerdict::kNoRunsFound);
  EXPECT_EQ(planned.indexes[0].verdict, IndexVerdict::kNoRunsFound);
  EXPECT_FALSE(planned.branches[0].taken() || planned.indexes[0].taken());
}

}  // namespace
}  // namespace trovik::read
