#include "git/command_runner.h"

#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace trovik::git {
namespace {

namespace fs = std::filesystem;

// A private directory of small shell programs standing in for git.
class FakePrograms : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "trovik-runner-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    directory_ = pattern;
  }
  void TearDown() override { fs::remove_all(directory_); }

  std::string program(const std::string& name, const std::string& body) {
    const fs::path path = directory_ / name;
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(path, fs::perms::owner_all);
    return path.string();
  }

  fs::path directory_;
};

struct OutputCase {
  const char* name;
  const char* body;
  OptionalText expected;
};

class ChildOutput : public FakePrograms, public testing::WithParamInterface<OutputCase> {};

TEST_P(ChildOutput, BecomesTheExpectedText) {
  EXPECT_EQ(command_output(program("child", GetParam().body), {}), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Runner, ChildOutput,
    testing::Values(
        OutputCase{"answer", "printf 'true\\n'", "true"},
        OutputCase{"only_the_end_is_trimmed", "printf '  abc \\r\\n'", "  abc"},
        OutputCase{"silence_is_present_and_empty", "exit 0", ""},
        OutputCase{"white_space_only_is_present_and_empty", "printf ' \\n\\t\\r\\n'", ""},
        OutputCase{"inner_line_feeds_kept", "printf 'a\\n\\nb\\n\\n'", "a\n\nb"},
        OutputCase{"no_final_line_feed", "printf 'abc'", "abc"},
        OutputCase{"answer_with_failure", "printf 'abc\\n'; exit 1", std::nullopt},
        OutputCase{"silent_failure", "exit 2", std::nullopt},
        OutputCase{"high_exit_code", "exit 255", std::nullopt},
        OutputCase{"killed", "printf 'abc\\n'; kill -KILL $$", std::nullopt},
        OutputCase{"terminated", "printf 'abc\\n'; kill -TERM $$", std::nullopt},
        OutputCase{"invalid_byte", "printf 'a\\377b\\n'",
                   "a\xEF\xBF\xBD"
                   "b"},
        OutputCase{"truncated_sequence_at_end", "printf 'ab\\303'", "ab\xEF\xBF\xBD"},
        OutputCase{"no_break_space_trimmed", "printf 'x\\302\\240'", "x"},
        OutputCase{"ideographic_space_trimmed", "printf 'x\\343\\200\\200\\n'", "x"},
        OutputCase{"zero_width_space_kept", "printf 'x\\342\\200\\213'", "x\u200B"},
        OutputCase{"leading_white_space_kept", "printf '\\342\\200\\200 x'", "\u2000 x"},
        OutputCase{"standard_error_discarded", "echo noise >&2; echo out; echo more >&2", "out"},
        OutputCase{"standard_input_at_end", "if read line; then echo data; else echo eof; fi",
                   "eof"},
        OutputCase{"standard_input_is_null_device", "readlink /proc/$$/fd/0", "/dev/null"},
        OutputCase{"no_working_directory_change",
                   "[ \"$(pwd -P)\" = \"$(cd . && pwd -P)\" ] && "
                   "echo same",
                   "same"}),
    [](const testing::TestParamInfo<OutputCase>& info) { return std::string(info.param.name); });

// A child writing more than a pipe holds to both streams, in either order, only finishes when the
// parent drains both at once.
class Flood : public FakePrograms, public testing::WithParamInterface<const char*> {};

TEST_P(Flood, BothStreamsDrainedAndOutputComplete) {
  const std::string body = GetParam();
  const OptionalText text = command_output(program("flood", body), {});
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(text->size(), 3u * 1024 * 1024);
  EXPECT_EQ(text->find_first_not_of('a'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Runner, Flood,
    testing::Values("head -c 3145728 /dev/zero >&2; head -c 3145728 /dev/zero | tr '\\0' a",
                    "head -c 3145728 /dev/zero | tr '\\0' a; head -c 3145728 /dev/zero >&2",
                    "head -c 3145728 /dev/zero >&2 & head -c 3145728 /dev/zero | tr '\\0' a; "
                    "wait"));

TEST_F(FakePrograms, ArgumentsReachTheChildOneByOneWithoutAShell) {
  const std::string echo = program("args", "for a in \"$@\"; do printf '[%s]' \"$a\"; done");
  EXPECT_EQ(command_output(echo, {"", "a b", "*", "$HOME", "'q'", "--"}),
            "[][a b][*][$HOME]['q'][--]");
  EXPECT_EQ(command_output(echo, {}), "");
}

TEST_F(FakePrograms, ProgramsWithoutSlashAreFoundOnThePath) {
  program("trovik-test-answer", "echo found");
  const std::string saved = ::getenv("PATH");
  ::setenv("PATH", (directory_.string() + ":" + saved).c_str(), 1);
  const OptionalText found = command_output("trovik-test-answer", {});
  ::setenv("PATH", saved.c_str(), 1);
  EXPECT_EQ(found, "found");
}

TEST_F(FakePrograms, ProgramsThatCannotStartAreAbsent) {
  const fs::path plain_file = directory_ / "not-executable";
  std::ofstream(plain_file) << "#!/bin/sh\necho hi\n";
  fs::permissions(plain_file, fs::perms::owner_read | fs::perms::owner_write);
  for (const std::string& name :
       {std::string("trovik-no-such-program-anywhere"), (directory_ / "missing").string(),
        plain_file.string(), directory_.string(), std::string()}) {
    EXPECT_EQ(command_output(name, {"--version"}), std::nullopt) << name;
  }
}

// The interpreter ignores SIGPIPE and SIGXFSZ, and threads may block signals; a child must start
// with neither, or a pipeline inside it (or git writing to a closed pipe) behaves differently.
TEST_F(FakePrograms, ChildStartsWithDefaultSignalsAndEmptyMask) {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction saved_pipe {};
  struct sigaction saved_xfsz {};
  ASSERT_EQ(::sigaction(SIGPIPE, &ignore, &saved_pipe), 0);
  ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &saved_xfsz), 0);
  sigset_t blocked;
  sigset_t saved_mask;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGUSR1);
  sigaddset(&blocked, SIGTERM);
  ASSERT_EQ(::sigprocmask(SIG_BLOCK, &blocked, &saved_mask), 0);

  const OptionalText text =
      command_output(program("signals", "exec grep -E '^Sig(Blk|Ign):' /proc/self/status"), {});

  ::sigprocmask(SIG_SETMASK, &saved_mask, nullptr);
  ::sigaction(SIGPIPE, &saved_pipe, nullptr);
  ::sigaction(SIGXFSZ, &saved_xfsz, nullptr);
  EXPECT_EQ(text, "SigBlk:\t0000000000000000\nSigIgn:\t0000000000000000");
}

// A process may run with its standard streams closed; the runner's own pipes then land on
// descriptors 0 to 2 and must still reach the child correctly.
TEST_F(FakePrograms, WorksWithTheStandardStreamsClosed) {
  const std::string both = program("both", "echo out; echo err >&2; cat");
  int saved[3];
  for (int fd = 0; fd < 3; ++fd) saved[fd] = ::dup(fd);
  for (int fd = 0; fd < 3; ++fd) ::close(fd);
  const OptionalText text = command_output(both, {});
  for (int fd = 0; fd < 3; ++fd) {
    ::dup2(saved[fd], fd);
    ::close(saved[fd]);
  }
  EXPECT_EQ(text, "out");
}

class Environment : public FakePrograms {
 protected:
  void SetUp() override {
    FakePrograms::SetUp();
    ::setenv("TROVIK_RUNNER_A", "inherited", 1);
    ::setenv("TROVIK_RUNNER_B", "kept", 1);
    ::unsetenv("TROVIK_RUNNER_C");
    // The environment block exactly as the child received it: a shell would re-sort its own.
    show_ = program("env", "tr '\\0' '\\n' < /proc/$$/environ | grep '^TROVIK_RUNNER_'");
  }
  void TearDown() override {
    ::unsetenv("TROVIK_RUNNER_A");
    ::unsetenv("TROVIK_RUNNER_B");
    FakePrograms::TearDown();
  }
  std::string show_;
};

TEST_F(Environment, PlainRunnerPassesTheProcessEnvironment) {
  EXPECT_EQ(command_output(show_, {}), "TROVIK_RUNNER_A=inherited\nTROVIK_RUNNER_B=kept");
}

TEST_F(Environment, OverridesReplaceInheritedValuesAndComeLastInOrder) {
  EXPECT_EQ(command_output(show_, {}, {{"TROVIK_RUNNER_C", "added"}, {"TROVIK_RUNNER_A", "new"}}),
            "TROVIK_RUNNER_B=kept\nTROVIK_RUNNER_C=added\nTROVIK_RUNNER_A=new");
  EXPECT_EQ(command_output(show_, {}, {{"TROVIK_RUNNER_A", ""}}),
            "TROVIK_RUNNER_B=kept\nTROVIK_RUNNER_A=");
  // The process's own environment is left as it was.
  EXPECT_STREQ(::getenv("TROVIK_RUNNER_A"), "inherited");
  EXPECT_EQ(::getenv("TROVIK_RUNNER_C"), nullptr);
}

std::set<std::string> open_descriptors() {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    names.insert(entry.path().filename().string());
  }
  // The directory stream's own descriptor shows up in the listing while it is being read; take
  // the listing twice so only descriptors open both times count.
  std::set<std::string> again;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    if (names.count(entry.path().filename().string()) != 0) {
      again.insert(entry.path().filename().string());
    }
  }
  return again;
}

TEST_F(FakePrograms, NoDescriptorOutlivesACallOnAnyPath) {
  const std::vector<std::string> programs = {
      program("ok", "echo ok"),
      program("fails", "echo no; exit 3"),
      program("killed", "kill -KILL $$"),
      program("noisy", "head -c 200000 /dev/zero >&2; echo done"),
      (directory_ / "missing").string(),
  };
  const std::set<std::string> before = open_descriptors();
  for (int round = 0; round < 40; ++round) {
    for (const std::string& name : programs) {
      (void)command_output(name, {});
      (void)command_output(name, {}, {{"TROVIK_RUNNER_X", "1"}});
    }
  }
  EXPECT_EQ(open_descriptors(), before);
}

// Running out of descriptors at each point of starting a child (either pipe, or the child's own
// /dev/null) is a failure like any other: absent, and nothing left open.
class DescriptorLimit : public FakePrograms, public testing::WithParamInterface<int> {};

TEST_P(DescriptorLimit, StartFailureIsAbsent) {
  const std::string ok = program("ok", "echo ok");
  const std::set<std::string> before = open_descriptors();
  std::set<int> used;
  for (const std::string& name : before) used.insert(std::stoi(name));
  // The limit that leaves exactly GetParam() free descriptor numbers below it.
  int limit = 0;
  for (int free = 0; free < GetParam() || used.count(limit) != 0; ++limit) {
    if (used.count(limit) == 0) ++free;
  }
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit lowered = saved;
  lowered.rlim_cur = static_cast<rlim_t>(limit);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
  const OptionalText text = command_output(ok, {});
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);

  EXPECT_EQ(text, std::nullopt);
  EXPECT_EQ(open_descriptors(), before);
  EXPECT_EQ(command_output(ok, {}), "ok");
}

INSTANTIATE_TEST_SUITE_P(Runner, DescriptorLimit, testing::Values(0, 1, 2, 3, 4));

// True once `pid` has exited (gone, or a zombie waiting for init), polled for a bounded time.
bool ends_within_seconds(pid_t pid, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    if (line.substr(line.rfind(')') + 2, 1) == "Z") return true;
    std::this_thread::yield();
  }
  return false;
}

// A program that never answers, however it hangs: in itself, waiting for a process it started that
// holds the pipe, or after closing its output. Each is killed with everything it started.
class Deadline : public FakePrograms, public testing::WithParamInterface<const char*> {};

TEST_P(Deadline, HungProgramsAreAbsentKilledAndReaped) {
  const std::string pid_file = (directory_ / "started").string();
  const std::string hung = program(
      "hung", std::string(GetParam()) + "& echo $! > " + pid_file + "; exec >&- 2>&-; wait");
  const std::set<std::string> before = open_descriptors();
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(command_output_within(hung, {}, std::chrono::milliseconds(300)), std::nullopt);
  // Far beyond the limit and its grace, far below the program's minute.
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
  EXPECT_EQ(open_descriptors(), before);
  siginfo_t info{};
  EXPECT_TRUE(::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) < 0 && errno == ECHILD);
  pid_t grandchild = 0;
  std::ifstream(pid_file) >> grandchild;
  ASSERT_GT(grandchild, 0);
  EXPECT_TRUE(ends_within_seconds(grandchild, 20));
}

// The sleep in the background is the process started; the shell then waits for it.
INSTANTIATE_TEST_SUITE_P(Runner, Deadline,
                         testing::Values("sleep 60 ", "sleep 60 >/dev/null 2>&1 "));

}  // namespace
}  // namespace trovik::git
