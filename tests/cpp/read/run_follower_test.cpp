#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "read/run_follower.h"
#include "read/run_state_codec.h"
#include "support/run_file_samples.h"

namespace trovik::read {
namespace {

using testing_support::joined_lines;
using testing_support::sample_run_lines;
using testing_support::summary_text;

class RunFollowerTest : public ::testing::TestWithParam<Detail> {
 protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "/followed_" + std::to_string(::getpid()) + ".jsonl";
    write("");
  }
  void TearDown() override { std::remove(path_.c_str()); }

  void write(const std::string& text, std::ios::openmode mode = std::ios::trunc) {
    std::ofstream(path_, std::ios::binary | mode) << text;
  }
  void append(const std::string& text) { write(text, std::ios::app); }
  // What a reading from scratch gives now.
  std::string fresh() {
    Result<RunSummary> run = read_run_file(path_, GetParam());
    EXPECT_TRUE(run.ok());
    return run.ok() ? summary_text(run.value()) : "";
  }

  std::string path_;
};

// Fed a byte at a time, torn lines and all, it equals a fresh reading at every point.
TEST_P(RunFollowerTest, EqualsAFreshReadingAtEveryByte) {
  const std::string text = joined_lines(sample_run_lines(1, 12, 6));
  Result<RunFollower> follower = RunFollower::open(path_, GetParam());
  ASSERT_TRUE(follower.ok());
  for (size_t cut = 0; cut < text.size(); ++cut) {
    append(text.substr(cut, 1));
    Result<RunChange> change = follower.value().refresh();
    ASSERT_TRUE(change.ok());
    ASSERT_EQ(summary_text(follower.value().summary()), fresh()) << "after byte " << cut;
    const bool line_ended = text[cut] == '\n';
    const bool line_began = cut == 0 || text[cut - 1] == '\n';
    EXPECT_EQ(change.value(), line_ended || line_began ? RunChange::kAppended : RunChange::kNone);
    ASSERT_EQ(follower.value().offset(), text.rfind('\n', cut) + 1);
  }
  EXPECT_EQ(follower.value().refresh().value(), RunChange::kNone);
}

// Large appends, at line boundaries and between them, across the kept tail's size.
TEST_P(RunFollowerTest, EqualsAFreshReadingAfterEachAppend) {
  const std::string text = joined_lines(sample_run_lines(2, 3000));
  Result<RunFollower> follower = RunFollower::open(path_, GetParam());
  ASSERT_TRUE(follower.ok());
  for (size_t at = 0, step = 1; at < text.size(); at += step, step = step * 3 + 7) {
    append(text.substr(at, step));
    ASSERT_TRUE(follower.value().refresh().ok());
    ASSERT_EQ(summary_text(follower.value().summary()), fresh()) << "after " << at + step;
  }
}

// A file changed otherwise than by appending is read again, and only then.
TEST_P(RunFollowerTest, ReadsAgainWhatWasNotAnAppend) {
  const std::string text = joined_lines(sample_run_lines(3, 200));
  std::string changed = text;
  changed[text.size() - 30] = changed[text.size() - 30] == '1' ? '2' : '1';
  const std::string more = sample_run_lines(4, 1)[1] + "\n";
  struct Case {
    std::string contents;
    bool new_file;
    RunChange change;
  };
  for (const Case& c :
       {Case{text.substr(0, text.size() / 2), false, RunChange::kRestarted},
        Case{changed, true, RunChange::kRestarted},
        Case{changed + more, false, RunChange::kRestarted}, Case{text, false, RunChange::kNone},
        Case{text + more, true, RunChange::kRestarted}}) {
    write(text);
    Result<RunFollower> follower = RunFollower::open(path_, GetParam());
    ASSERT_TRUE(follower.ok());
    const std::string other = path_ + ".new";
    std::ofstream(c.new_file ? other : path_, std::ios::binary) << c.contents;
    if (c.new_file) {
      ASSERT_EQ(::rename(other.c_str(), path_.c_str()), 0);
    }
    EXPECT_EQ(follower.value().refresh().value(), c.change);
    EXPECT_EQ(summary_text(follower.value().summary()), fresh());
  }
}

// A stored state takes up where the reading stopped; any damage to it is refused.
TEST_P(RunFollowerTest, StoredStateGoesOnAndDamageIsRefused) {
  const std::vector<std::string> lines = sample_run_lines(5, 60, 8);
  const std::string text = joined_lines(lines);
  write(text.substr(0, text.size() / 2));
  Result<RunFollower> follower = RunFollower::open(path_, GetParam());
  ASSERT_TRUE(follower.ok());
  const std::string stored = encode_run_state(follower.value().state());

  Result<RunFollowerState> decoded = decode_run_state(stored);
  ASSERT_TRUE(decoded.ok()) << decoded.status().ToString();
  EXPECT_EQ(encode_run_state(decoded.value()), stored);
  RunFollower resumed(path_, std::move(decoded.value()));
  EXPECT_EQ(resumed.refresh().value(), RunChange::kNone);
  write(text);
  EXPECT_EQ(resumed.refresh().value(), RunChange::kAppended);
  EXPECT_EQ(summary_text(resumed.summary()), fresh());

  for (size_t at = 0; at < stored.size(); at += 1 + at / 64) {
    std::string damaged = stored;
    damaged[at] = static_cast<char>(damaged[at] ^ 0x20);
    EXPECT_FALSE(decode_run_state(damaged).ok()) << "byte " << at << " flipped";
    EXPECT_FALSE(decode_run_state(std::string_view(stored).substr(0, at)).ok()) << "cut at " << at;
  }
}

// At the summary level, what is kept grows with the series, not with the records (the texts of
// the numbers kept may differ in length).
TEST(RunFollowerState, SummaryStateDoesNotGrowWithRecords) {
  RunSummaryBuilder few("x", Detail::kSummary);
  RunSummaryBuilder many("x", Detail::kSummary);
  for (const std::string& line : sample_run_lines(6, 100, 10)) few.add_line(line);
  for (const std::string& line : sample_run_lines(6, 10000, 10)) many.add_line(line);
  ASSERT_EQ(many.summary().series.size(), few.summary().series.size());
  EXPECT_LT(encode_run_state({{}, many.state()}).size(),
            encode_run_state({{}, few.state()}).size() + 2000);
}

INSTANTIATE_TEST_SUITE_P(EveryDetail, RunFollowerTest,
                         ::testing::Values(Detail::kSummary, Detail::kPoints, Detail::kFull));

}  // namespace
}  // namespace trovik::read
