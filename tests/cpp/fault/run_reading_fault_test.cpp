// A reading that fails part way keeps what it read and goes on correctly; a thread that cannot
// start leaves its work to the calling thread.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "fault_loop.h"
#include "read/run_batch.h"
#include "read/run_follower.h"
#include "support/run_file_samples.h"

namespace trovik::fault {
namespace {

using read::Detail;
using read::RunChange;
using read::RunFollower;
using testing_support::summary_text;

class RunReadingFaults : public testing::Test {
 protected:
  void SetUp() override {
    path_ = testing::TempDir() + "/faulted_" + std::to_string(::getpid()) + ".jsonl";
  }
  void TearDown() override { std::remove(path_.c_str()); }
  void write(const std::string& text, std::ios::openmode mode = std::ios::trunc) {
    std::ofstream(path_, std::ios::binary | mode) << text;
  }
  std::string fresh(Detail detail) {
    Result<read::RunSummary> run = read::read_run_file(path_, detail);
    return run.ok() ? summary_text(run.value()) : run.status().ToString();
  }
  std::string path_;
};

TEST_F(RunReadingFaults, AFollowerGoesOnAfterAFailedRefresh) {
  // Enough appended for a read after lines were handed over, before the end was seen.
  const std::string text =
      testing_support::joined_lines(testing_support::sample_run_lines(7, 5000));
  write(text.substr(0, 5000));
  Result<RunFollower> opened = RunFollower::open(path_, Detail::kSummary);
  ASSERT_TRUE(opened.ok());
  write(text.substr(5000), std::ios::app);
  const std::string whole = fresh(Detail::kSummary);
  bool failed_after_lines = false;
  for (SystemCall call : {SystemCall::kOpen, SystemCall::kStat, SystemCall::kRead}) {
    for (size_t count : {kOnce, kPersistent}) {
      const FaultPlan plan{call, Fault{EIO, std::nullopt}, count, std::nullopt, nullptr};
      run_fault_loop(
          plan,
          [&] {
            RunFollower follower = opened.value();
            const bool failed = !follower.refresh().ok();
            return std::make_pair(failed, follower);
          },
          [&](const Injection& injection, std::pair<bool, RunFollower>& outcome) {
            EXPECT_EQ(outcome.first, injection.reached);
            failed_after_lines |= outcome.first && outcome.second.offset() > 5000;
            Result<RunChange> again = outcome.second.refresh();
            ASSERT_TRUE(again.ok());
            EXPECT_EQ(again.value(), injection.reached ? RunChange::kAppended : RunChange::kNone);
            EXPECT_EQ(summary_text(outcome.second.summary()), whole);
          });
    }
  }
  EXPECT_TRUE(failed_after_lines);
}

TEST_F(RunReadingFaults, ReadingGoesOnWhenNoThreadCanStart) {
  // A file past the size at which it is read in parts, and a batch of two small ones.
  const std::string block =
      testing_support::joined_lines(testing_support::sample_run_lines(8, 4000));
  const std::string small = path_ + ".small";
  std::ofstream(small, std::ios::binary) << block;
  std::string text = block;
  while (text.size() < (size_t{33} << 20)) text += block.substr(block.find('\n') + 1);
  write(text);
  const std::string whole = fresh(Detail::kSummary);
  const std::string small_whole =
      summary_text(read::read_run_file(small, Detail::kSummary).value());
  // No thread at all (the batch stops at the first failure), then the batch's and one part's.
  for (size_t first_failure : {1, 3}) {
    ScriptedFaults faults(FaultPlan{SystemCall::kThread, Fault{EAGAIN, std::nullopt}, kPersistent,
                                    std::nullopt, nullptr},
                          first_failure);
    InstalledInjector installed(&faults);
    std::vector<Result<read::RunSummary>> runs =
        read::read_run_files({small, small}, Detail::kSummary, 4);
    runs.push_back(read::read_run_file(path_, Detail::kSummary, 4));
    EXPECT_EQ(faults.hits(), first_failure == 1 ? 4u : 2u);
    for (size_t i = 0; i < runs.size(); ++i) {
      ASSERT_TRUE(runs[i].ok());
      EXPECT_EQ(summary_text(runs[i].value()), i < 2 ? small_whole : whole);
    }
  }
  std::remove(small.c_str());
}

}  // namespace
}  // namespace trovik::fault
