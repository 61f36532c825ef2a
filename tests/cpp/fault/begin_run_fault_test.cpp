// Creating the runs directory while the k-th mkdir fails: the operating system's text as an
// OSError, except where the directory exists anyway, whoever made it.
#include <errno.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "fault_loop.h"
#include "run/run_creation.h"
#include "util/os_error.h"

namespace trovik::fault {
namespace {

namespace fs = std::filesystem;

struct MkdirCase {
  std::string name;
  int error;
  size_t count;
  const char* root;         // below the test directory
  bool runs_exists;         // <root>/runs is there before the run
  bool concurrent_creator;  // just before the failure another process creates <root>/runs
};

void PrintTo(const MkdirCase& c, std::ostream* out) { *out << c.name; }

class MkdirFaults : public testing::TestWithParam<MkdirCase> {
 protected:
  void SetUp() override {
    std::string pattern = testing::TempDir() + "trovik-mkdir-fault-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    directory_ = pattern;
    root_ = directory_ / GetParam().root;
    runs_ = root_ / "runs";
    const char* old = ::getenv("TROVIK_DIR");
    saved_root_ = old ? std::optional<std::string>(old) : std::nullopt;
    ::setenv("TROVIK_DIR", root_.c_str(), 1);
  }
  void TearDown() override {
    if (saved_root_) {
      ::setenv("TROVIK_DIR", saved_root_->c_str(), 1);
    } else {
      ::unsetenv("TROVIK_DIR");
    }
    fs::remove_all(directory_);
  }

  // The state every run starts from: only the test directory, plus what the case says.
  void reset_tree() {
    for (const auto& entry : fs::directory_iterator(directory_)) fs::remove_all(entry.path());
    if (GetParam().runs_exists) fs::create_directories(runs_);
  }

  fs::path directory_;
  fs::path root_;
  fs::path runs_;
  std::optional<std::string> saved_root_;
};

TEST_P(MkdirFaults, OSErrorWithTheTextUnlessTheDirectoryExists) {
  const MkdirCase& c = GetParam();
  FaultPlan plan;
  plan.call = SystemCall::kMkdir;
  plan.fault.error = c.error;
  plan.count = c.count;
  if (c.concurrent_creator) plan.before_failure = [&] { fs::create_directories(runs_); };

  const size_t injected = run_fault_loop(
      plan,
      [&] {
        reset_tree();
        return run::begin_run("demo");
      },
      [&](const Injection& injection, const Result<run::PendingRun>& run) {
        if (!injection.reached || c.runs_exists || c.concurrent_creator) {
          ASSERT_TRUE(run.ok()) << run.status().ToString();
          EXPECT_EQ(run.value().path, (runs_ / run.value().run_id).string() + ".jsonl");
          EXPECT_TRUE(fs::is_directory(runs_));
          return;
        }
        ASSERT_FALSE(run.ok());
        EXPECT_EQ(run.status().kind(), ErrorKind::kOSError);
        EXPECT_EQ(run.status().message(), os_error_text(c.error));
        EXPECT_FALSE(fs::exists(runs_));
        // The next run finds whatever ancestors this one made and completes the rest.
        const Result<run::PendingRun> again = run::begin_run("demo");
        ASSERT_TRUE(again.ok()) << again.status().ToString();
        EXPECT_TRUE(fs::is_directory(runs_));
      });
  RecordProperty("injected_faults", static_cast<int>(injected));
  EXPECT_GE(injected, 1u);
}

std::vector<MkdirCase> mkdir_cases() {
  struct Layout {
    const char* label;
    const char* root;
    bool runs_exists;
  };
  const Layout layouts[] = {
      {"FreshRoot", "root", false},
      {"FreshNestedRoot", "a/b/c", false},
      {"RunsExists", "root", true},
  };
  std::vector<MkdirCase> cases;
  for (const auto& [repeat, count] :
       {std::pair<std::string, size_t>{"Once", kOnce}, {"Persistent", kPersistent}}) {
    for (const Layout& layout : layouts) {
      for (int error : {EACCES, ENOSPC, EROFS, EDQUOT, ENOTDIR, EEXIST}) {
        cases.push_back({layout.label + errno_name(error) + repeat, error, count, layout.root,
                         layout.runs_exists, false});
      }
      if (!layout.runs_exists) {
        cases.push_back({layout.label + std::string("EEXISTFromConcurrentCreator") + repeat, EEXIST,
                         count, layout.root, false, true});
      }
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Faults, MkdirFaults, testing::ValuesIn(mkdir_cases()),
                         [](const testing::TestParamInfo<MkdirCase>& info) {
                           return info.param.name;
                         });

}  // namespace
}  // namespace trovik::fault
