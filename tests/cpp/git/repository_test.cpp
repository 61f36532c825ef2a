// Snapshot and probe against real git repositories in private temporary directories, isolated
// from the machine's git configuration.
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "git/probe.h"
#include "git/snapshot.h"
#include "support/scratch_environment.h"

namespace trovik::git {
namespace {

namespace fs = std::filesystem;

constexpr char kRunId[] = "0b6e2a51-7c4d-4e0f-9a3b-5d8c1e2f3a4b";
// Just over the size from which untracked files stay out of snapshots; sparse, so it costs no disk.
constexpr std::uintmax_t kLarge = (std::uintmax_t{50} << 20) + 1;

// Everything a snapshot must leave exactly as it was.
struct UserState {
  std::string staged;       // git ls-files -s
  std::string staged_diff;  // git diff --cached
  std::string head;         // git rev-parse HEAD
  std::string branch;       // git symbolic-ref -q HEAD
  std::string status;       // git status --porcelain
  std::string refs;         // git for-each-ref
  bool operator==(const UserState&) const = default;
};

class Repository : public testing::Test {
 public:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "trovik-repo-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    base_ = fs::canonical(pattern);
    work_ = base_ / "work";
    temporary_ = base_ / "tmp";
    fs::create_directories(work_);
    fs::create_directories(temporary_);
    saved_directory_ = fs::current_path();

    environment_.isolate_git(base_.string(), temporary_.string());
    set("TROVIK_DIR", std::nullopt);
    set("GIT_CEILING_DIRECTORIES", base_.string());

    fs::current_path(work_);
    git("init -q -b main");
    write("tracked.txt", "first\n");
    write("src/code.py", "print(1)\n");
    write(".gitignore", "*.log\n");
    git("add -A");
    git("commit -q -m initial");
    head_ = git("rev-parse HEAD");
  }

  void TearDown() override {
    fs::current_path(saved_directory_);
    environment_.restore();
    fs::remove_all(base_);
  }

  // Sets (or with nothing, removes) a variable for this test only.
  void set(const std::string& name, const std::optional<std::string>& value) {
    environment_.set(name, value);
  }

  void write(const fs::path& relative, const std::string& content) {
    const fs::path path = fs::current_path() / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }

  // Runs a shell command line, independently of the runner under test.
  static std::string shell(const std::string& command, int* exit_code = nullptr) {
    int code = 0;
    std::string output = testing_support::run_shell(command, &code);
    if (exit_code != nullptr) *exit_code = code;
    return output;
  }

  std::string git(const std::string& arguments) {
    int exit_code = 0;
    std::string output = shell("git " + arguments, &exit_code);
    EXPECT_EQ(exit_code, 0) << "git " << arguments;
    return output;
  }

  std::string ref_names(const std::string& prefix = "") {
    return git("for-each-ref '--format=%(refname)' " + prefix);
  }

  bool object_exists(const std::string& name) {
    int exit_code = 0;
    shell("git cat-file -e '" + name + "'", &exit_code);
    return exit_code == 0;
  }

  UserState user_state() {
    return {git("ls-files -s"),          git("diff --cached"),
            shell("git rev-parse HEAD"), shell("git symbolic-ref -q HEAD"),
            git("status --porcelain"),   git("for-each-ref")};
  }

  std::vector<std::string> temporary_files() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(temporary_)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  // What the probe hands the snapshot: git status's output as it was written.
  std::string status_output() {
    std::string output = shell("git status --porcelain --ignore-submodules");
    return output.empty() ? output : output + "\n";
  }

  // An earlier run's file in the given root directory.
  void earlier_run(const fs::path& root) {
    const fs::path runs = root.is_absolute() ? root / "runs" : fs::current_path() / root / "runs";
    fs::create_directories(runs);
    std::ofstream(runs / "earlier.jsonl") << "{}\n";
  }

  fs::path base_;
  fs::path work_;
  fs::path temporary_;
  fs::path saved_directory_;
  std::string head_;
  testing_support::ScopedEnvironment environment_;
};

TEST_F(Repository, ModifiedTrackedFileBecomesASnapshotCommitOnItsOwnBranch) {
  write("tracked.txt", "second\n");
  git("add tracked.txt");  // something staged, which must stay staged
  write("src/code.py", "print(2)\n");
  const UserState before = user_state();

  const std::optional<Snapshot> snapshot = snapshot_run_commit(head_, kRunId);

  ASSERT_TRUE(snapshot.has_value());
  EXPECT_EQ(snapshot->branch, std::string("run/") + kRunId);
  EXPECT_EQ(git("rev-parse refs/heads/run/" + std::string(kRunId)), snapshot->commit);
  EXPECT_EQ(git("log -1 --format=%P " + snapshot->commit), head_);
  EXPECT_EQ(git("log -1 --format=%B " + snapshot->commit),
            std::string("trovik: snapshot run ") + kRunId);
  EXPECT_EQ(git("show " + snapshot->commit + ":tracked.txt"), "second");
  EXPECT_EQ(git("show " + snapshot->commit + ":src/code.py"), "print(2)");

  UserState after = user_state();
  EXPECT_EQ(ref_names(), "refs/heads/main\nrefs/heads/run/" + std::string(kRunId));
  after.refs = before.refs;
  EXPECT_EQ(after, before);
  EXPECT_EQ(temporary_files(), std::vector<std::string>{});
}

// One situation in the work tree, and what the snapshot should make of it.
// One situation in the work tree, and what the snapshot should make of it.
struct SnapshotCase {
  const char* name;
  void (*prepare)(Repository&);  // runs in the top level before the snapshot
  // TROVIK_DIR, with "$WORK" and "$BASE" standing for the top level and the directory above it;
  // nothing leaves it unset.
  std::optional<std::string> root;
  const char* subfolder;  // where the procedure runs, below the top level
  bool made;
  std::vector<std::string> present;  // paths that must be in the snapshot tree
  std::vector<std::string> absent;   // paths that must not
};

// Each case both ways: from a walk through the work tree, and from what git status listed.
class SnapshotOutcome : public Repository,
                        public testing::WithParamInterface<std::tuple<SnapshotCase, bool>> {};

std::string expand(std::string text, const fs::path& work, const fs::path& base) {
  for (const auto& [key, value] :
       std::map<std::string, std::string>{{"$WORK", work.string()}, {"$BASE", base.string()}}) {
    if (const size_t at = text.find(key); at != std::string::npos) {
      text.replace(at, key.size(), value);
    }
  }
  return text;
}

TEST_P(SnapshotOutcome, MatchesTheSituation) {
  const auto& [c, from_status] = GetParam();
  c.prepare(*this);
  if (c.root) set("TROVIK_DIR", expand(*c.root, work_, base_));
  fs::create_directories(work_ / c.subfolder);
  fs::current_path(work_ / c.subfolder);
  // As the probe passes it: empty when HEAD does not resolve.
  int head_exit = 0;
  std::string head = shell("git rev-parse HEAD", &head_exit);
  if (head_exit != 0) head.clear();
  const UserState before = user_state();

  const std::optional<Snapshot> snapshot = snapshot_run_commit(
      head, kRunId, from_status ? std::optional(status_output()) : std::nullopt);

  EXPECT_EQ(snapshot.has_value(), c.made);
  EXPECT_EQ(ref_names("refs/heads/run/"), c.made ? std::string("refs/heads/run/") + kRunId : "");
  if (snapshot) {
    EXPECT_EQ(git("log -1 --format=%P " + snapshot->commit), head);
    for (const std::string& path : c.present) {
      EXPECT_TRUE(object_exists(snapshot->commit + ":" + path)) << path;
    }
    for (const std::string& path : c.absent) {
      EXPECT_FALSE(object_exists(snapshot->commit + ":" + path)) << path;
    }
  }
  UserState after = user_state();
  after.refs = before.refs;
  EXPECT_EQ(after, before);
  EXPECT_EQ(temporary_files(), std::vector<std::string>{});
}

void nothing(Repository&) {}
void modify(Repository& r) { r.write("tracked.txt", "changed\n"); }
void untracked_and_ignored(Repository& r) {
  r.write("new/file.txt", "new\n");
  r.write("debug.log", "ignored\n");
}
void delete_file(Repository& r) { fs::remove(r.work_ / "src/code.py"); }
void earlier_runs_only(Repository& r) { r.earlier_run(".trovik"); }
void modify_with_earlier_runs(Repository& r) {
  modify(r);
  r.earlier_run(".trovik");
}
void no_commits(Repository& r) {
  fs::remove_all(r.work_ / ".git");
  r.git("init -q -b main");
}
void branch_named_run(Repository& r) {
  modify(r);
  r.git("branch run");
}
void no_identity(Repository& r) {
  modify(r);
  r.git("config user.useConfigOnly true");
  for (const char* name :
       {"GIT_AUTHOR_NAME", "GIT_AUTHOR_EMAIL", "GIT_COMMITTER_NAME", "GIT_COMMITTER_EMAIL"}) {
    r.set(name, std::nullopt);
  }
}
void runs_inside_only(Repository& r) { r.earlier_run(r.work_ / "out"); }
void modify_with_runs_inside(Repository& r) {
  modify(r);
  r.earlier_run(r.work_ / "out");
}
void modify_with_runs_outside(Repository& r) {
  modify(r);
  r.earlier_run(r.base_ / "runs");
  r.earlier_run(r.base_ / "work-runs");
}
void modify_with_runs_in_subfolder(Repository& r) {
  modify(r);
  r.earlier_run("src/out");
}

void modify_with_runs_behind_a_link(Repository& r) {
  modify_with_runs_inside(r);
  fs::create_directory_symlink(r.work_, r.base_ / "link");
}
void modify_with_a_link_leading_out(Repository& r) {
  modify(r);
  fs::create_directories(r.base_ / "elsewhere");
  fs::create_directory_symlink(r.base_ / "elsewhere", r.work_ / "outlink");
  r.earlier_run(r.base_ / "elsewhere" / "trovik");
}
// Glob characters in the name: the lock file's exclusion is a pattern.
void modify_with_temporary_directory_inside(Repository& r) {
  modify(r);
  fs::create_directories(r.work_ / "scratch [1]*");
  r.set("TMPDIR", (r.work_ / "scratch [1]*").string());
}
// git refuses an `add` that excludes an ignored path by name.
void modify_with_temporary_directory_ignored(Repository& r) {
  modify_with_temporary_directory_inside(r);
  r.write(".gitignore", "*.log\nscratch*\n");
}
void modify_with_lock_files_ignored(Repository& r) {
  modify_with_temporary_directory_inside(r);
  r.write(".gitignore", "*.log\n*.lock\n");
}

INSTANTIATE_TEST_SUITE_P(
    Snapshot, SnapshotOutcome,
    testing::Combine(
        testing::Values(
            SnapshotCase{"untracked_in_ignored_out",
                         untracked_and_ignored,
                         {},
                         "",
                         true,
                         {"new/file.txt", "tracked.txt"},
                         {"debug.log"}},
            SnapshotCase{
                "deletion_recorded", delete_file, {}, "", true, {"tracked.txt"}, {"src/code.py"}},
            SnapshotCase{"clean_tree", nothing, {}, "", false, {}, {}},
            SnapshotCase{
                "default_root_with_earlier_runs_only", earlier_runs_only, {}, "", false, {}, {}},
            SnapshotCase{"default_root_left_out",
                         modify_with_earlier_runs,
                         {},
                         "",
                         true,
                         {"tracked.txt"},
                         {".trovik"}},
            SnapshotCase{"no_commits_yet", no_commits, {}, "", false, {}, {}},
            SnapshotCase{
                "branch_named_run_blocks_the_ref", branch_named_run, {}, "", false, {}, {}},
            SnapshotCase{"no_committer_identity", no_identity, {}, "", true, {"tracked.txt"}, {}},
            SnapshotCase{"empty_root_rejected_by_git", modify, "", "", false, {}, {}},
            SnapshotCase{"absolute_root_equal_to_top_level", modify, "$WORK", "", false, {}, {}},
            SnapshotCase{"absolute_root_inside",
                         modify_with_runs_inside,
                         "$WORK/out",
                         "",
                         true,
                         {"tracked.txt"},
                         {"out"}},
            SnapshotCase{"absolute_root_inside_from_subfolder",
                         modify_with_runs_inside,
                         "$WORK/out",
                         "src",
                         true,
                         {"tracked.txt"},
                         {"out"}},
            SnapshotCase{"absolute_root_inside_from_subfolder_nothing_else",
                         runs_inside_only,
                         "$WORK/out",
                         "src",
                         false,
                         {},
                         {}},
            SnapshotCase{"absolute_root_outside",
                         modify_with_runs_outside,
                         "$BASE/runs",
                         "",
                         true,
                         {"tracked.txt"},
                         {}},
            SnapshotCase{"absolute_root_sharing_a_character_prefix",
                         modify_with_runs_outside,
                         "$WORK-runs",
                         "",
                         true,
                         {"tracked.txt"},
                         {}},
            SnapshotCase{"relative_root_outside",
                         modify_with_runs_outside,
                         "../runs",
                         "",
                         true,
                         {"tracked.txt"},
                         {}},
            SnapshotCase{"absolute_root_inside_through_a_symlink",
                         modify_with_runs_behind_a_link,
                         "$BASE/link/out",
                         "",
                         true,
                         {"tracked.txt"},
                         {"out"}},
            SnapshotCase{"relative_root_through_a_symlink_leading_out",
                         modify_with_a_link_leading_out,
                         "outlink/trovik",
                         "",
                         true,
                         {"tracked.txt", "outlink"},
                         {}},
            SnapshotCase{"temporary_directory_inside_the_tree",
                         modify_with_temporary_directory_inside,
                         {},
                         "",
                         true,
                         {"tracked.txt"},
                         {"scratch [1]*"}},
            SnapshotCase{"temporary_directory_inside_and_ignored",
                         modify_with_temporary_directory_ignored,
                         {},
                         "",
                         true,
                         {"tracked.txt"},
                         {"scratch [1]*"}},
            SnapshotCase{"temporary_directory_inside_with_lock_files_ignored",
                         modify_with_lock_files_ignored,
                         {},
                         "",
                         true,
                         {"tracked.txt"},
                         {"scratch [1]*"}},
            SnapshotCase{"relative_root_from_subfolder",
                         modify_with_runs_in_subfolder,
                         "out",
                         "src",
                         true,
                         {"tracked.txt", "src/code.py"},
                         {"src/out"}}),
        testing::Bool()),
    [](const testing::TestParamInfo<std::tuple<SnapshotCase, bool>>& info) {
      return std::string(std::get<0>(info.param).name) +
             (std::get<1>(info.param) ? "_from_status" : "_walked");
    });

constexpr char kListing[] =
    "ls-files|-v|-z|--sparse|--cached|--others|--exclude-standard|--full-name|--|:/|";
const std::string kAdd =
    "-c|core.fsmonitor=false|-c|core.trustctime=true|-c|core.checkStat=default|"
    "-c|core.splitIndex=false|add|--all|";

// A logging stand-in for git, first on the search path: records each command's arguments and the
// three variables that redirect git, then hands over to the real git.
class LoggedGit : public Repository {
 public:
  void SetUp() override {
    Repository::SetUp();
    const std::string real_git = shell("command -v git");
    ASSERT_FALSE(real_git.empty());
    fs::create_directories(base_ / "bin");
    log_ = base_ / "git.log";
    std::ofstream(base_ / "bin" / "git")
        << "#!/bin/sh\n"
        << "{ printf '%s|' \"$@\"; printf ' %s' \"$(tr '\\0' '\\n' < /proc/$$/environ | "
           "grep -E '^GIT_(INDEX_FILE|DIR|WORK_TREE)=' | tr '\\n' ' ')\"; echo; } >> '"
        << log_.string() << "'\nexec '" << real_git << "' \"$@\"\n";
    fs::permissions(base_ / "bin" / "git", fs::perms::owner_all);
    set("PATH", (base_ / "bin").string() + ":" + ::getenv("PATH"));
  }

  std::vector<std::string> logged() {
    std::vector<std::string> lines;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);) {
      while (!line.empty() && line.back() == ' ') line.pop_back();
      lines.push_back(line);
    }
    return lines;
  }

  fs::path log_;
};

TEST_F(LoggedGit, SnapshotRunsEachStepWithItsExactArguments) {
  write("tracked.txt", "changed\n");
  set("TROVIK_DIR", (work_ / "out").string());
  const std::optional<Snapshot> snapshot = snapshot_run_commit(head_, kRunId);
  ASSERT_TRUE(snapshot.has_value());

  const std::string index = (temporary_ / (std::string("trovik-") + kRunId + ".index")).string();
  const std::string redirected =
      " GIT_INDEX_FILE=" + index + " GIT_DIR=.git GIT_WORK_TREE=" + work_.string();
  const std::vector<std::string> commands = logged();
  const std::string tree = git("rev-parse " + snapshot->commit + "^{tree}");
  const std::string no_split = "-c|core.splitIndex=false|";
  EXPECT_EQ(commands,
            (std::vector<std::string>{
                "rev-parse|--git-dir|--show-toplevel|--git-path|index|" + head_ + "^{tree}|",
                kListing + redirected,
                no_split + "read-tree|--reset|--no-sparse-checkout|" + head_ + "|" + redirected,
                kAdd + redirected,
                no_split + "reset|--quiet|--no-refresh|--|out|" + redirected,
                no_split + "write-tree|" + redirected,
                "commit-tree|" + tree + "|-p|" + head_ + "|-m|trovik: snapshot run " + kRunId +
                    "|" + redirected,
                "update-ref|refs/heads/run/" + std::string(kRunId) + "|" + snapshot->commit + "|" +
                    redirected,
            }));
}

// Without an index of the user's to copy, HEAD's tree is read into a fresh one; a large untracked
// file is left out of `add` by a literal pathspec, once the user's index says it is not staged.
TEST_F(LoggedGit, WithoutAUserIndexTheSnapshotStartsFromHead) {
  write("tracked.txt", "changed\n");
  fs::remove(work_ / ".git" / "index");
  std::ofstream(work_ / "big*.bin").flush();
  fs::resize_file(work_ / "big*.bin", kLarge);
  const std::optional<Snapshot> snapshot = snapshot_run_commit(head_, kRunId);
  ASSERT_TRUE(snapshot.has_value());

  const std::string index = (temporary_ / (std::string("trovik-") + kRunId + ".index")).string();
  const std::string redirected =
      " GIT_INDEX_FILE=" + index + " GIT_DIR=.git GIT_WORK_TREE=" + work_.string();
  std::vector<std::string> commands = logged();
  ASSERT_GE(commands.size(), 6U);
  commands.resize(6);
  EXPECT_EQ(commands,
            (std::vector<std::string>{
                "rev-parse|--git-dir|--show-toplevel|--git-path|index|" + head_ + "^{tree}|",
                "-c|core.splitIndex=false|read-tree|" + head_ + "|" + redirected,
                kListing + redirected, "ls-files|-z|--full-name|--|:(top,literal)big*.bin|",
                kAdd + "--|:/|:(exclude,top,literal)big*.bin|" + redirected,
                "-c|core.splitIndex=false|reset|--quiet|--no-refresh|--|.trovik|" + redirected}));
}

// The commands of a snapshot that read or change the private index's entries, without their
// environment.
std::vector<std::string> index_commands(const std::vector<std::string>& commands) {
  std::vector<std::string> kept;
  for (const std::string& line : commands) {
    const std::string arguments = line.substr(0, line.find("| ") + 1);
    if (arguments.find("ls-files|") != std::string::npos ||
        arguments.find("update-index|") != std::string::npos ||
        arguments.find("|add|") != std::string::npos) {
      kept.push_back(arguments);
    }
  }
  return kept;
}

constexpr char kUpdate[] =
    "-c|core.fsmonitor=false|-c|core.trustctime=true|-c|core.checkStat=default|"
    "-c|core.splitIndex=false|update-index|--add|--remove|--replace|--|";

// Through the probe, only what git status listed is looked at again: the work tree is never
// walked, and an untracked file it showed is listed on its own.
TEST_F(LoggedGit, ProbeTakesAgainOnlyWhatStatusListed) {
  write("tracked.txt", "changed\n");
  ASSERT_TRUE(probe_repository(kRunId).has_value());
  write("new.txt", "new\n");
  const std::optional<RepositoryState> state =
      probe_repository("1b6e2a51-7c4d-4e0f-9a3b-5d8c1e2f3a4b");
  ASSERT_TRUE(state.has_value());
  EXPECT_EQ(git("show " + state->commit + ":new.txt"), "new");
  const std::string entries = "ls-files|-s|-v|-z|--sparse|--cached|--full-name|--|:/|";
  EXPECT_EQ(index_commands(logged()),
            (std::vector<std::string>{
                entries, kUpdate + std::string("tracked.txt|"), entries,
                "ls-files|-z|--others|--exclude-standard|--full-name|--|:(top,literal)new.txt|",
                kUpdate + std::string("tracked.txt|new.txt|")}));
}

// Past a few untracked entries, the work tree's untracked files are listed once and kept where
// status listed them: a file that appeared since stays out, as do the root's earlier runs.
TEST_F(LoggedGit, ManyUntrackedEntriesAreListedOnce) {
  git("config status.showUntrackedFiles all");
  for (int i = 0; i < 40; ++i) write("new/f" + std::to_string(i) + ".txt", "new\n");
  earlier_run(".trovik");
  const std::string status = status_output();
  write("late.txt", "late\n");
  const std::optional<Snapshot> snapshot = snapshot_run_commit(head_, kRunId, status);
  ASSERT_TRUE(snapshot.has_value());
  EXPECT_EQ(git("ls-tree -r --name-only " + snapshot->commit + " | grep -c '^new/f'"), "40");
  EXPECT_EQ(git("ls-tree -r --name-only " + snapshot->commit + " | grep -v '^new/'"),
            ".gitignore\nsrc/code.py\ntracked.txt");
  const std::vector<std::string> listings = index_commands(logged());
  EXPECT_NE(std::find(listings.begin(), listings.end(),
                      "ls-files|-z|--others|--exclude-standard|--full-name|--|:/|"),
            listings.end());
}

// Where a setting keeps status from seeing every change, the work tree is walked, and listed for
// untracked files only where status showed some.
TEST_F(LoggedGit, WalkListsUntrackedFilesOnlyWhereStatusShowedSome) {
  git("config core.trustctime false");
  write("tracked.txt", "changed\n");
  ASSERT_TRUE(snapshot_run_commit(head_, kRunId, status_output()).has_value());
  write("new.txt", "new\n");
  ASSERT_TRUE(snapshot_run_commit(head_, "1b6e2a51-7c4d-4e0f-9a3b-5d8c1e2f3a4b", status_output()));
  EXPECT_EQ(index_commands(logged()),
            (std::vector<std::string>{"ls-files|-v|-z|--sparse|--cached|--full-name|--|:/|", kAdd,
                                      kListing, kAdd}));
}

TEST_F(LoggedGit, ProbeAsksFourQuestionsOfACleanTree) {
  const std::optional<RepositoryState> state = probe_repository(kRunId);
  ASSERT_TRUE(state.has_value());
  EXPECT_EQ(state->commit, head_);
  EXPECT_EQ(state->branch, "main");
  EXPECT_FALSE(state->dirty);
  EXPECT_EQ(logged(), (std::vector<std::string>{"rev-parse|--is-inside-work-tree|",
                                                "rev-parse|HEAD|", "rev-parse|--abbrev-ref|HEAD|",
                                                "status|--porcelain|--ignore-submodules|"}));
}

TEST_F(LoggedGit, ProbeStopsAfterOneQuestionOutsideARepository) {
  fs::current_path(base_);
  EXPECT_EQ(probe_repository(kRunId), std::nullopt);
  EXPECT_EQ(logged(), std::vector<std::string>{"rev-parse|--is-inside-work-tree|"});
}

TEST_F(Repository, ProbeOfADirtyTreeReportsTheSnapshot) {
  write("tracked.txt", "changed\n");
  const std::optional<RepositoryState> state = probe_repository(kRunId);
  ASSERT_TRUE(state.has_value());
  EXPECT_EQ(state->branch, std::string("run/") + kRunId);
  EXPECT_EQ(state->commit, git("rev-parse run/" + std::string(kRunId)));
  EXPECT_NE(state->commit, head_);
  EXPECT_TRUE(state->dirty);
}

TEST_F(Repository, ProbeKeepsHeadWhenTheSnapshotFails) {
  write("tracked.txt", "changed\n");
  git("branch run");
  const std::optional<RepositoryState> state = probe_repository(kRunId);
  ASSERT_TRUE(state.has_value());
  EXPECT_EQ(state->commit, head_);
  EXPECT_EQ(state->branch, "main");
  EXPECT_TRUE(state->dirty);
}

TEST_F(Repository, ProbeOfADetachedHeadReportsGitsAnswer) {
  git("checkout -q --detach");
  const std::optional<RepositoryState> state = probe_repository(kRunId);
  ASSERT_TRUE(state.has_value());
  EXPECT_EQ(state->commit, head_);
  EXPECT_EQ(state->branch, "HEAD");
  EXPECT_FALSE(state->dirty);
}

TEST_F(Repository, ProbeWithoutCommitsHasEmptyTexts) {
  fs::remove_all(work_ / ".git");
  git("init -q -b main");
  const std::optional<RepositoryState> state = probe_repository(kRunId);
  ASSERT_TRUE(state.has_value());
  EXPECT_EQ(state->commit, "");
  EXPECT_EQ(state->branch, "");
  EXPECT_TRUE(state->dirty);
  EXPECT_EQ(temporary_files(), std::vector<std::string>{});
}

// git status fails on it: nothing is known, so the tree counts as dirty, and the snapshot,
// built without the user's index, still holds the change.
TEST_F(Repository, ProbeOfADamagedIndexTakesASnapshot) {
  write("tracked.txt", "changed\n");
  std::ofstream(work_ / ".git" / "index", std::ios::binary | std::ios::trunc) << "garbage";
  const std::optional<RepositoryState> state = probe_repository(kRunId);
  ASSERT_TRUE(state.has_value());
  EXPECT_TRUE(state->dirty);
  EXPECT_EQ(state->branch, std::string("run/") + kRunId);
  EXPECT_EQ(git("show " + state->commit + ":tracked.txt"), "changed");
  std::ifstream index(work_ / ".git" / "index", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(index), {}), "garbage");
}

TEST_F(Repository, ProbeOfADamagedIndexWithoutASnapshotIsStillDirty) {
  write("tracked.txt", "changed\n");
  git("branch run");
  std::ofstream(work_ / ".git" / "index", std::ios::binary | std::ios::trunc) << "garbage";
  const std::optional<RepositoryState> state = probe_repository(kRunId);
  ASSERT_TRUE(state.has_value());
  EXPECT_EQ(state->commit, head_);
  EXPECT_EQ(state->branch, "main");
  EXPECT_TRUE(state->dirty);
}

TEST_F(Repository, SnapshotCommitTakesTheUsersIdentityElseAFixedOne) {
  write("tracked.txt", "changed\n");
  const std::optional<Snapshot> own = snapshot_run_commit(head_, kRunId);
  ASSERT_TRUE(own.has_value());
  EXPECT_EQ(git("log -1 '--format=%an <%ae>|%cn <%ce>' " + own->commit),
            "Test Author <author@example.com>|Test Committer <committer@example.com>");

  no_identity(*this);
  const std::string other_run = "1b6e2a51-7c4d-4e0f-9a3b-5d8c1e2f3a4b";
  const std::optional<Snapshot> fixed = snapshot_run_commit(head_, other_run);
  ASSERT_TRUE(fixed.has_value());
  EXPECT_EQ(git("log -1 '--format=%an <%ae>|%cn <%ce>' " + fixed->commit),
            "trovik <trovik@localhost>|trovik <trovik@localhost>");
}

// Large untracked files are never added, whatever their names hold (pathspec magic, wildcards,
// a line feed); smaller ones and large staged ones are.
TEST_F(Repository, LargeUntrackedFilesAreLeftOutAndListedInTheMessage) {
  const auto large = [&](const std::string& name) {
    std::ofstream(work_ / name).flush();
    fs::resize_file(work_ / name, kLarge);
  };
  write("tracked.txt", "changed\n");
  large("*.bin");
  large(":(top)weird\nname");
  write("small.bin", "small\n");
  large("staged.bin");
  git("add staged.bin");
  const UserState before = user_state();

  // From a walk, and from what status listed.
  for (const std::optional<std::string>& status :
       {std::optional<std::string>(), std::optional(status_output())}) {
    const std::string run_id = status ? "1b6e2a51-7c4d-4e0f-9a3b-5d8c1e2f3a4b" : kRunId;
    const std::optional<Snapshot> snapshot = snapshot_run_commit(head_, run_id, status);

    ASSERT_TRUE(snapshot.has_value());
    EXPECT_EQ(git("ls-tree -r --name-only " + snapshot->commit),
              ".gitignore\nsmall.bin\nsrc/code.py\nstaged.bin\ntracked.txt");
    const std::string size = std::to_string(kLarge);
    EXPECT_EQ(git("log -1 --format=%B " + snapshot->commit),
              "trovik: snapshot run " + run_id + "\n\nleft out: *.bin (" + size +
                  " bytes)\nleft out: \":(top)weird\\nname\" (" + size + " bytes)");
  }
  EXPECT_EQ(user_state(), (UserState{before.staged, before.staged_diff, before.head, before.branch,
                                     before.status, user_state().refs}));
}

// Every file in the git directory but objects, with its content.
std::map<std::string, std::string> git_directory_files(const fs::path& git_directory) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(git_directory)) {
    const std::string relative = fs::relative(entry.path(), git_directory).string();
    if (!entry.is_regular_file() || relative.rfind("objects/", 0) == 0) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    files[relative] = std::string(std::istreambuf_iterator<char>(in), {});
  }
  return files;
}

TEST_F(Repository, SplitIndexLeavesNothingNewInTheGitDirectory) {
  git("config core.splitIndex true");
  git("update-index --split-index");
  write("tracked.txt", "changed\n");
  write("new.txt", "new\n");
  std::map<std::string, std::string> before = git_directory_files(work_ / ".git");

  const std::optional<Snapshot> snapshot = snapshot_run_commit(head_, kRunId);

  ASSERT_TRUE(snapshot.has_value());
  std::map<std::string, std::string> after = git_directory_files(work_ / ".git");
  const std::string ref = std::string("refs/heads/run/") + kRunId;
  EXPECT_EQ(after[ref], snapshot->commit + "\n");
  after.erase(ref);
  after.erase("logs/" + ref);
  EXPECT_EQ(after, before);
}

TEST_F(Repository, ProbeInsideTheGitDirectoryFindsNoWorkTree) {
  fs::current_path(work_ / ".git");
  EXPECT_EQ(probe_repository(kRunId), std::nullopt);
}

}  // namespace
}  // namespace trovik::git
