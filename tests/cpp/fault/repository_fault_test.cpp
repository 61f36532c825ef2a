// The repository probe and the snapshot in a real, dirty git repository while the k-th git child
// cannot be started (no process, or no pipe for it): each gives its documented fallback, leaves no
// temporary index behind and never touches the user's index, HEAD or branches.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "fault_loop.h"
#include "git/probe.h"
#include "git/snapshot.h"
#include "support/scratch_environment.h"

namespace trovik::fault {
namespace {

namespace fs = std::filesystem;

// Everything of the user's that neither the probe nor the snapshot may change.
struct UserState {
  std::string staged;       // git ls-files -s
  std::string staged_diff;  // git diff --cached
  std::string head;         // git rev-parse HEAD
  std::string branch;       // git symbolic-ref -q HEAD
  std::string status;       // git status --porcelain
  std::string refs;         // every ref but the snapshot branches
  bool operator==(const UserState&) const = default;
};

struct RepositoryCase {
  std::string name;
  SystemCall call;  // kSpawn or kPipe
  int error;
  size_t count;
  bool root_outside;  // TROVIK_DIR absolute and outside the work tree: the snapshot has no reset
};

void PrintTo(const RepositoryCase& c, std::ostream* out) { *out << c.name; }

class RepositoryFaults : public testing::TestWithParam<RepositoryCase> {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "trovik-fault-repo-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    base_ = fs::canonical(pattern);
    work_ = base_ / "work";
    temporary_ = base_ / "tmp";
    fs::create_directories(work_);
    fs::create_directories(temporary_);
    saved_directory_ = fs::current_path();

    // Nothing of the machine's git configuration or identity may reach these repositories.
    environment_.isolate_git(base_.string(), temporary_.string());
    set("TROVIK_DIR",
        GetParam().root_outside ? std::optional((base_ / "runs-root").string()) : std::nullopt);

    fs::current_path(work_);
    git("init -q -b main");
    write("tracked.txt", "first\n");
    write("staged.txt", "one\n");
    git("add -A");
    git("commit -q -m initial");
    head_ = git("rev-parse HEAD");
    // Dirty three ways: a staged change (which must stay staged), an unstaged one, a new file.
    write("staged.txt", "two\n");
    git("add staged.txt");
    write("tracked.txt", "changed\n");
    write("new.txt", "untracked\n");
    before_ = user_state();
  }

  void TearDown() override {
    fs::current_path(saved_directory_);
    environment_.restore();
    fs::remove_all(base_);
  }

  void set(const std::string& name, const std::optional<std::string>& value) {
    environment_.set(name, value);
  }

  void write(const std::string& relative, const std::string& content) {
    std::ofstream(work_ / relative, std::ios::binary) << content;
  }

  // Runs git through the shell, independently of the runner under test; fails the test on a
  // non-zero exit unless `exit_code` takes it.
  static std::string git(const std::string& arguments, int* exit_code = nullptr) {
    int code = 0;
    std::string output = testing_support::run_shell("git " + arguments, &code);
    if (exit_code != nullptr) {
      *exit_code = code;
    } else {
      EXPECT_EQ(code, 0) << "git " << arguments;
    }
    return output;
  }

  UserState user_state() {
    return {git("ls-files -s"),          git("diff --cached"),      git("rev-parse HEAD"),
            git("symbolic-ref -q HEAD"), git("status --porcelain"), other_refs()};
  }

  static std::string other_refs() {
    std::string kept;
    std::istringstream refs(git("for-each-ref '--format=%(refname) %(objectname)'"));
    for (std::string line; std::getline(refs, line);) {
      if (line.rfind("refs/heads/run/", 0) != 0) kept += line + "\n";
    }
    return kept;
  }

  std::string snapshot_ref(const std::string& run_id) {
    int exit_code = 0;
    std::string commit = git("rev-parse -q --verify refs/heads/run/" + run_id, &exit_code);
    return exit_code == 0 ? commit : "";
  }

  std::vector<std::string> temporary_files() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(temporary_)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  // A fresh run id for each run of a loop, so every snapshot gets a branch of its own.
  std::string next_run_id() {
    char id[37];
    std::snprintf(id, sizeof id, "00000000-0000-4000-8000-%012x", ++runs_);
    return id;
  }

  // The procedure's git commands played against one injection, in the order they run: each spawn
  // is one call, and each command makes its error pipe only once its output pipe exists.
  class CommandScript {
   public:
    explicit CommandScript(const Injection& injection) : injection_(injection) {}

    // Whether the next command's child was started.
    bool run() {
      if (injection_.hits(++calls_)) return false;
      return GetParam().call == SystemCall::kSpawn || !injection_.hits(++calls_);
    }
    size_t calls() const { return calls_; }

   private:
    const Injection& injection_;
    size_t calls_ = 0;
  };

  // Whether the snapshot is made: the repository's paths and HEAD's tree asked at once (else the
  // git directory, top level and user's index one by one, and HEAD's tree after write-tree); the
  // user's index copied. From status's listing where the settings, the copy's entries and its
  // differences from HEAD were had: read-tree --reset (for the staged change), the untracked
  // file's listing and update-index. Else the walk: the copy listed and reset to HEAD, or HEAD's
  // tree read and listed; add, and the reset for a root inside the work tree. Then write-tree,
  // commit-tree (tried a second time with a fixed identity) and update-ref.
  static bool snapshot_made(CommandScript& script, bool from_status) {
    const bool together = script.run();
    bool copied = true;
    if (!together) {
      if (!script.run() || !script.run()) return false;
      copied = script.run();
    }
    if (from_status && copied && script.run() && script.run() && script.run()) {
      if (!script.run() || !script.run() || !script.run()) return false;
    } else {
      const bool seeded = copied && script.run() && script.run();
      if (!seeded) {
        if (!script.run()) return false;
        (void)script.run();
      }
      if (!script.run()) return false;
      // The reset of the root directory is tried again without --no-refresh.
      if (!GetParam().root_outside && !script.run() && !script.run()) return false;
    }
    if (!script.run()) return false;
    if (!together && !script.run()) return false;
    if (!script.run() && !script.run()) return false;
    return script.run();
  }

  // Calls of the faulted kind when nothing fails: of the snapshot from a walk through the work
  // tree (with the reset of a root directory inside it), or from what git status listed.
  static size_t clean_calls(bool from_status = false) {
    const size_t commands = from_status ? 10 : GetParam().root_outside ? 7 : 8;
    return commands * (GetParam().call == SystemCall::kPipe ? 2 : 1);
  }

  // What every run must leave as it found it, and the snapshot branch it may add.
  void check_left_alone(const std::string& run_id, const std::optional<std::string>& commit,
                        int descriptors) {
    EXPECT_EQ(temporary_files(), std::vector<std::string>{}) << "temporary index left behind";
    EXPECT_EQ(user_state(), before_);
    EXPECT_EQ(open_descriptor_count(), descriptors) << "a descriptor was left open";
    EXPECT_FALSE(has_unreaped_child());
    EXPECT_EQ(snapshot_ref(run_id), commit.value_or(""));
    if (commit) {
      EXPECT_EQ(git("log -1 --format=%P " + *commit), head_);
      EXPECT_EQ(git("log -1 --format=%B " + *commit), "trovik: snapshot run " + run_id);
    }
  }

  FaultPlan plan() const {
    FaultPlan plan;
    plan.call = GetParam().call;
    plan.fault.error = GetParam().error;
    plan.count = GetParam().count;
    return plan;
  }

  size_t per_command() const { return GetParam().call == SystemCall::kPipe ? 2 : 1; }

  fs::path base_;
  fs::path work_;
  fs::path temporary_;
  fs::path saved_directory_;
  std::string head_;
  UserState before_;
  unsigned runs_ = 0;
  testing_support::ScopedEnvironment environment_;
};

TEST_P(RepositoryFaults, SnapshotYieldsNothingUnlessEveryStepRan) {
  std::string run_id;
  int descriptors = 0;
  const size_t injected = run_fault_loop(
      plan(),
      [&] {
        run_id = next_run_id();
        descriptors = open_descriptor_count();
        return git::snapshot_run_commit(head_, run_id);
      },
      [&](const Injection& injection, const std::optional<git::Snapshot>& snapshot) {
        CommandScript script(injection);
        ASSERT_EQ(snapshot.has_value(), snapshot_made(script, false));
        EXPECT_EQ(injection.calls, script.calls());
        if (snapshot) {
          EXPECT_EQ(snapshot->branch, "run/" + run_id);
        }
        check_left_alone(run_id, snapshot ? std::optional(snapshot->commit) : std::nullopt,
                         descriptors);
      });
  RecordProperty("injected_faults", static_cast<int>(injected));
  EXPECT_EQ(injected, clean_calls());
}

TEST_P(RepositoryFaults, ProbeFallsBackCommandByCommand) {
  std::string run_id;
  int descriptors = 0;
  const size_t injected = run_fault_loop(
      plan(),
      [&] {
        run_id = next_run_id();
        descriptors = open_descriptor_count();
        return git::probe_repository(run_id);
      },
      [&](const Injection& injection, const std::optional<git::RepositoryState>& state) {
        // Inside-work-tree, HEAD, branch, status; then the snapshot's.
        CommandScript script(injection);
        if (!script.run()) {
          EXPECT_FALSE(state.has_value()) << "no answer to inside-work-tree means git null";
          check_left_alone(run_id, std::nullopt, descriptors);
          return;
        }
        ASSERT_TRUE(state.has_value());
        const std::string head = script.run() ? head_ : "";
        const std::string branch = script.run() ? "main" : "";
        // A status that did not answer counts as dirty as well, and lists nothing.
        const bool listed = script.run();
        EXPECT_TRUE(state->dirty);
        const bool made = snapshot_made(script, listed) && !head.empty();
        if (made) {
          EXPECT_EQ(state->branch, "run/" + run_id);
          EXPECT_NE(state->commit, head_);
        } else {
          EXPECT_EQ(state->commit, head);
          EXPECT_EQ(state->branch, branch);
        }
        check_left_alone(run_id, made ? std::optional(state->commit) : std::nullopt, descriptors);
      });
  RecordProperty("injected_faults", static_cast<int>(injected));
  EXPECT_EQ(injected, clean_calls(true) + 4 * per_command());
}

std::vector<RepositoryCase> repository_cases() {
  std::vector<RepositoryCase> cases;
  for (const auto& [repeat, count] :
       {std::pair<std::string, size_t>{"Once", kOnce}, {"Persistent", kPersistent}}) {
    for (bool outside : {false, true}) {
      const std::string root = outside ? "RootOutside" : "RootInside";
      for (int error : {EAGAIN, ENOENT}) {
        cases.push_back({"Spawn" + errno_name(error) + root + repeat, SystemCall::kSpawn, error,
                         count, outside});
      }
      cases.push_back({"PipeEMFILE" + root + repeat, SystemCall::kPipe, EMFILE, count, outside});
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Faults, RepositoryFaults, testing::ValuesIn(repository_cases()),
                         [](const testing::TestParamInfo<RepositoryCase>& info) {
                           return info.param.name;
                         });

}  // namespace
}  // namespace trovik::fault
