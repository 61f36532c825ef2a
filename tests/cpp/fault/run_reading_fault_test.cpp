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
  const std::string text =
      testing_support::joined_lines(testing_support::sample_run_lines(7, 20000));
  write(text.substr(0, 5000));
  Result<RunFollower> opened = RunFollower::open(path_, Detail::kPoints);
  ASSERT_TRUE(opened.ok());
  write(text.substr(5000), std::ios::app);
  const std::string whole = fresh(Detail::kPoints);
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
            Result<RunChange> again = outcome.second.refresh();
            ASSERT_TRUE(again.ok());
            EXPECT_EQ(again.value(), injection.reached ? RunChange::kAppended : RunChange::kNone);
            EXPECT_EQ(summary_text(outcome.second.summary()), whole);
          });
    }
  }
}

TEST_F(RunReadingFaults, ReadingGoesOnWhenNoThreadCanStart) {
  // Past the size at which a file is read in parts.
  const std::string block =
      testing_support::joined_lines(testing_support::sample_run_lines(8, 4000));
  std::string text = block;
  while (text.size() < (size_t{33} << 20)) text += block.substr(block.find('\n') + 1);
  write(text);
  const std::string whole = fresh(Detail::kSummary);
  const std::string small = path_ + ".small";
  std::ofstream(small, std::ios::binary) << block;
  Result<read::RunSummary> small_run = read::read_run_file(small, Detail::kSummary);
  ASSERT_TRUE(small_run.ok());
  const std::string small_whole = summary_text(small_run.value());
  const std::vector<std::string> paths(3, small);
  // No thread at all, then only the first one of each reading.
  for (size_t first_failure : {1, 2}) {
    ScriptedFaults faults(FaultPlan{SystemCall::kThread, Fault{EAGAIN, std::nullopt}, kPersistent,
                                    std::nullopt, nullptr},
                          first_failure);
    std::vector<std::string> texts;
    {
      InstalledInjector installed(&faults);
      Result<read::RunSummary> parted = read::read_run_file(path_, Detail::kSummary, 4);
      texts.push_back(parted.ok() ? summary_text(parted.value()) : "failed");
      for (Result<read::RunSummary>& run : read::read_run_files(paths, Detail::kSummary, 4)) {
        texts.push_back(run.ok() ? summary_text(run.value()) : "failed");
      }
    }
    // The batch stops starting helpers at the first that fails.
    EXPECT_EQ(faults.hits(), first_failure == 1 ? 4u : 3u);
    ASSERT_EQ(texts.size(), 1 + paths.size());
    EXPECT_EQ(texts[0], whole);
    for (size_t i = 1; i < texts.size(); ++i) EXPECT_EQ(texts[i], small_whole);
  }
  std::remove(small.c_str());
}

}  // namespace
}  // namespace trovik::fault
