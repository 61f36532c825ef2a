// The code lookup against a real repository, from a working directory outside it.
#include "read/run_code.h"

#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/scratch_environment.h"

namespace trovik::read {
namespace {

namespace fs = std::filesystem;
constexpr char kRunId[] = "6a1f0c2e-9b7d-4e3a-8c5f-2d4b6e8a0c1f";

class CodeLookup : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "trovik-code-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    base_ = fs::canonical(pattern);
    fs::create_directories(base_ / "project" / ".trovik" / "runs");
    fs::create_directories(base_ / "elsewhere");
    environment_.isolate_git(base_.string(), base_.string());
    saved_directory_ = fs::current_path();
    fs::current_path(base_ / "elsewhere");
    shell("git init -q -b main && echo one > train.py && git add -A && git commit -q -m initial");
    head_ = shell("git rev-parse HEAD");
    // A snapshot as the writer makes it: the changed tree, over HEAD, with its subject.
    snapshot_ = shell("echo two > train.py && git add -A && git commit -q -m '" +
                      std::string("trovik: snapshot run ") + kRunId +
                      "' && git rev-parse HEAD && git reset -q --hard " + head_);
  }
  void TearDown() override {
    fs::current_path(saved_directory_);
    environment_.restore();
    fs::remove_all(base_);
  }

  std::string shell(const std::string& command) {
    int exit_code = 0;
    const std::string out = testing_support::run_shell(
        "cd '" + (base_ / "project").string() + "' && " + command, &exit_code);
    EXPECT_EQ(exit_code, 0) << command;
    return out;
  }

  RunCode look_up(const std::optional<GitFacts>& git) {
    const std::string repository =
        RepositoryFinder().repository_of((base_ / "project/.trovik/runs/x.jsonl").string());
    EXPECT_EQ(repository, (base_ / "project").string());
    return look_up_code(kRunId, git, repository, CodeDetail::kWithDiff);
  }

  fs::path base_;
  fs::path saved_directory_;
  testing_support::ScopedEnvironment environment_;
  std::string head_;
  std::string snapshot_;
};

TEST_F(CodeLookup, TellsEachStateOfARunsCode) {
  const std::string branch = std::string("run/") + kRunId;
  EXPECT_EQ(look_up(std::nullopt).state, CodeState::kNoWorkTree);
  EXPECT_EQ(look_up(GitFacts{"", "", true}).state, CodeState::kBeforeFirstCommit);
  EXPECT_EQ(look_up(GitFacts{std::string(40, 'f'), "main", false}).state,
            CodeState::kCommitMissing);
  EXPECT_EQ(look_up(GitFacts{head_, "main", false}).state, CodeState::kClean);
  EXPECT_EQ(look_up(GitFacts{head_, "main", true}).state, CodeState::kDirtyWithoutSnapshot);
  // Named as the snapshot, but the commit is not one: no snapshot.
  const RunCode claimed = look_up(GitFacts{head_, branch, true});
  EXPECT_TRUE(claimed.snapshot_named);
  EXPECT_EQ(claimed.state, CodeState::kDirtyWithoutSnapshot);
  // Another run's branch never names this run's snapshot.
  EXPECT_FALSE(look_up(GitFacts{snapshot_, "run/other", true}).snapshot_named);

  const RunCode snapshot = look_up(GitFacts{snapshot_, branch, true});
  EXPECT_EQ(snapshot.state, CodeState::kSnapshot);
  ASSERT_TRUE(snapshot.diff.has_value());
  EXPECT_NE(snapshot.diff->find("-one\n+two"), std::string::npos) << *snapshot.diff;
}

}  // namespace
}  // namespace trovik::read
