#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "read/run_catalog.h"
#include "read/summary_cache.h"
#include "support/run_file_samples.h"

namespace trovik::read {
namespace {

namespace fs = std::filesystem;
using testing_support::joined_lines;
using testing_support::sample_run_lines;
using testing_support::summary_text;

class SummaryCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = fs::path(::testing::TempDir()) / ("summary_cache_" + std::to_string(::getpid()));
    fs::remove_all(base_);
    fs::create_directories(base_ / "root" / "runs");
    cache_.directory = (base_ / "cache" / "trovik").string();
    cache_.complete_listing = true;
  }
  void TearDown() override { fs::remove_all(base_); }

  std::string run_path(int run) const {
    return (base_ / "root" / "runs" / ("run" + std::to_string(run) + ".jsonl")).string();
  }
  void write(int run, const std::string& text, std::ios::openmode mode = std::ios::trunc) const {
    std::ofstream(run_path(run), std::ios::binary | mode) << text;
  }
  // Each run's summary as text, in the listing's order, read through `use`.
  std::vector<std::string> read_all(const SummaryCacheUse& use) const {
    const std::vector<RunFileEntry> entries = list_run_files({(base_ / "root").string()}, false);
    std::vector<std::string> texts(entries.size());
    read_run_summaries(entries, use, 2, [&](size_t index, Result<RunSummary>&& run) {
      texts[index] = run.ok() ? summary_text(run.value()) : "failed: " + run.status().message();
    });
    return texts;
  }
  std::vector<std::string> fresh() const { return read_all({}); }
  std::vector<fs::path> cache_files() const {
    std::vector<fs::path> files;
    for (const auto& file : fs::directory_iterator(*cache_.directory)) files.push_back(file.path());
    return files;
  }
  // Rewrites a run's bytes in place, keeping its size, inode and modification time.
  void rewrite_unseen(int run, size_t at, char byte) const {
    struct stat before {};
    ASSERT_EQ(::stat(run_path(run).c_str(), &before), 0);
    std::fstream file(run_path(run), std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(static_cast<std::streamoff>(at));
    file.put(byte);
    file.close();
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, run_path(run).c_str(), times, 0), 0);
  }

  fs::path base_;
  SummaryCacheUse cache_;
};

TEST_F(SummaryCacheTest, GivesWhatAFreshReadingGivesColdAndWarm) {
  for (int run = 0; run < 5; ++run) write(run, joined_lines(sample_run_lines(run, 20 + run, 3)));
  write(5, joined_lines(sample_run_lines(9, 5)) + "{\"torn");
  EXPECT_EQ(read_all(cache_), fresh());
  EXPECT_FALSE(cache_files().empty());
  EXPECT_EQ(read_all(cache_), fresh());
}

// A state is used while the file's identity holds: a change that keeps size, inode and time
// unseen is not read. Once the file grows, only the appended bytes are read.
TEST_F(SummaryCacheTest, UsesTheStateWhileTheFileLooksUnchangedAndReadsOnlyWhatGrew) {
  const std::string text = joined_lines(sample_run_lines(1, 400));
  write(1, text);
  const std::vector<std::string> before = read_all(cache_);
  const size_t line = text.find("\n{", text.size() / 4) + 1;  // made a bad line unseen
  rewrite_unseen(1, line, 'x');
  EXPECT_EQ(read_all(cache_), before);
  EXPECT_NE(fresh(), before);

  const std::vector<std::string> more = sample_run_lines(2, 30);
  write(1, joined_lines(std::vector<std::string>(more.begin() + 1, more.end())), std::ios::app);
  const std::vector<std::string> resumed = read_all(cache_);
  rewrite_unseen(1, line, '{');  // the reading went on from the state, not the start
  EXPECT_EQ(resumed, fresh());
}

TEST_F(SummaryCacheTest, ReadsAgainAFileReplacedOrShortened) {
  write(1, joined_lines(sample_run_lines(1, 50)));
  (void)read_all(cache_);
  const std::string other = joined_lines(sample_run_lines(2, 60));
  const std::string replacement = run_path(1) + ".new";
  std::ofstream(replacement, std::ios::binary) << other;
  fs::rename(replacement, run_path(1));
  EXPECT_EQ(read_all(cache_), fresh());
  write(1, other.substr(0, other.size() / 2));
  EXPECT_EQ(read_all(cache_), fresh());
}

// Every byte of a small cache file flipped, and the file cut at every length: never trusted,
// never fatal.
TEST_F(SummaryCacheTest, IgnoresADamagedCache) {
  write(1, joined_lines(sample_run_lines(1, 4, 2)));
  const std::vector<std::string> expected = read_all(cache_);
  const std::vector<fs::path> files = cache_files();
  ASSERT_EQ(files.size(), 1u);
  std::string good;
  {
    std::ifstream in(files[0], std::ios::binary);
    good.assign(std::istreambuf_iterator<char>(in), {});
  }
  for (size_t at = 0; at < good.size(); ++at) {
    for (const bool cut : {false, true}) {
      std::string damaged = good;
      if (cut) {
        damaged.resize(at);
      } else {
        damaged[at] = static_cast<char>(damaged[at] ^ 0x5a);
      }
      std::ofstream(files[0], std::ios::binary | std::ios::trunc) << damaged;
      ASSERT_EQ(read_all(cache_), expected) << (cut ? "cut at " : "flipped at ") << at;
    }
  }
}

TEST_F(SummaryCacheTest, ReadsAsWithoutACacheWhereNoneCanBeWritten) {
  write(1, joined_lines(sample_run_lines(1, 10)));
  std::ofstream(base_ / "cache", std::ios::binary) << "a file where a folder would be";
  EXPECT_EQ(read_all(cache_), fresh());
}

TEST_F(SummaryCacheTest, ForgetsRunsThatAreGone) {
  for (int run = 0; run < 40; ++run) write(run, joined_lines(sample_run_lines(run, 3)));
  (void)read_all(cache_);
  uintmax_t held = 0;
  for (const fs::path& file : cache_files()) held += fs::file_size(file);
  for (int run = 1; run < 40; ++run) fs::remove(run_path(run));
  EXPECT_EQ(read_all(cache_), fresh());
  uintmax_t left = 0;
  for (const fs::path& file : cache_files()) left += fs::file_size(file);
  EXPECT_LT(left * 10, held);
}

}  // namespace
}  // namespace trovik::read
