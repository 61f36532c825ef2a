#include "run/host_facts.h"
#include "util/working_directory.h"

#include <fcntl.h>
#include <limits.h>
#include <sched.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "util/scoped_fd.h"
#include "util/unicode.h"

namespace trovik::run {
namespace {

struct CommandLineCase {
  const char* name;
  std::string contents;
  std::vector<std::string> expected;
};

void PrintTo(const CommandLineCase& c, std::ostream* os) { *os << c.name; }

class SplitCommandLine : public testing::TestWithParam<CommandLineCase> {};

TEST_P(SplitCommandLine, Elements) {
  EXPECT_EQ(split_command_line(GetParam().contents), GetParam().expected);
}

using Args = std::vector<std::string>;
using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitCommandLine,
    testing::Values(CommandLineCase{"Empty", "", Args{}},
                    CommandLineCase{"OneElement", "python\0"s, Args{"python"}},
                    CommandLineCase{"Several", "python3\0-u\0run.py\0--lr\0"s,
                                    Args{"python3", "-u", "run.py", "--lr"}},
                    CommandLineCase{"EmptyElementInside", "a\0\0b\0"s, Args{"a", "", "b"}},
                    CommandLineCase{"OnlyAnEmptyElement", "\0"s, Args{""}},
                    CommandLineCase{"TwoEmptyElements", "\0\0"s, Args{"", ""}},
                    CommandLineCase{"EmptyLastElement", "a\0\0"s, Args{"a", ""}},
                    CommandLineCase{"UnterminatedLastElement", "a\0bc"s, Args{"a", "bc"}},
                    CommandLineCase{"InvalidUtf8", "run\0caf\xFF\0\xE2\x82\0"s,
                                    Args{"run", "caf\uFFFD", "\uFFFD"}},
                    CommandLineCase{"ValidUtf8Kept", "\xC3\xA9t\xC3\xA9\0"s,
                                    Args{"\xC3\xA9t\xC3\xA9"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProcessArguments, MatchTheArgumentsThisProcessWasStartedWith) {
  std::vector<std::string> expected;
  for (const std::string& argument : testing::internal::GetArgvs()) {
    expected.push_back(decode_utf8_lossy(argument));
  }
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(process_arguments(), expected);
}

// Runs each case in a fresh temporary directory and returns to the original working directory
// afterwards, whatever the case did to its own.
class WorkingDirectory : public testing::Test {
 protected:
  void SetUp() override {
    original_ = ScopedFd(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(original_.valid());
    std::string pattern = (std::filesystem::temp_directory_path() / "host-facts-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    char resolved[PATH_MAX];
    ASSERT_NE(::realpath(pattern.c_str(), resolved), nullptr);
    temporary_ = resolved;
  }
  void TearDown() override {
    EXPECT_EQ(::fchdir(original_.get()), 0);
    std::error_code ignored;
    std::filesystem::remove_all(temporary_, ignored);
  }

  ScopedFd original_;
  std::string temporary_;
};

struct DirectoryCase {
  const char* name;
  std::vector<std::string> components;  // created below the temporary directory, then entered
  std::string expected_suffix;          // the text after the temporary directory's path
};

void PrintTo(const DirectoryCase& c, std::ostream* os) { *os << c.name; }

class CurrentDirectory : public WorkingDirectory,
                         public testing::WithParamInterface<DirectoryCase> {};

TEST_P(CurrentDirectory, IsTheDecodedAbsolutePath) {
  std::string path = temporary_;
  for (const std::string& component : GetParam().components) {
    path += "/" + component;
    ASSERT_EQ(::mkdir(path.c_str(), 0700), 0) << path;
  }
  ASSERT_EQ(::chdir(path.c_str()), 0);
  EXPECT_EQ(working_directory_text(), decode_utf8_lossy(temporary_) + GetParam().expected_suffix);
}

// Longer than the first buffers getcwd is tried with, so the buffer has to grow.
std::vector<std::string> deep_components() {
  return std::vector<std::string>(14, std::string(60, 'd'));
}
std::string deep_suffix() {
  std::string suffix;
  for (const std::string& component : deep_components()) suffix += "/" + component;
  return suffix;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CurrentDirectory,
    testing::Values(DirectoryCase{"Plain", {"plain"}, "/plain"},
                    DirectoryCase{"Utf8Name", {"caf\xC3\xA9"}, "/caf\xC3\xA9"},
                    DirectoryCase{"InvalidByte", {"caf\xFF", "x"}, "/caf\uFFFD/x"},
                    DirectoryCase{"LongerThanFirstBuffers", deep_components(), deep_suffix()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WorkingDirectory, RemovedDirectoryGivesNothing) {
  std::string gone = temporary_ + "/gone";
  ASSERT_EQ(::mkdir(gone.c_str(), 0700), 0);
  ASSERT_EQ(::chdir(gone.c_str()), 0);
  ASSERT_EQ(::rmdir(gone.c_str()), 0);
  EXPECT_EQ(working_directory_text(), std::nullopt);
}

// Narrows this thread's affinity mask to the first `count` allowed processors for one test and
// puts the original mask back afterwards.
class ProcessorCount : public testing::TestWithParam<int> {
 protected:
  void SetUp() override { ASSERT_EQ(::sched_getaffinity(0, sizeof original_, &original_), 0); }
  void TearDown() override { EXPECT_EQ(::sched_setaffinity(0, sizeof original_, &original_), 0); }

  int narrow_to(int count) {
    cpu_set_t narrowed;
    CPU_ZERO(&narrowed);
    int kept = 0;
    for (int cpu = 0; cpu < CPU_SETSIZE && kept < count; ++cpu) {
      if (CPU_ISSET(cpu, &original_)) {
        CPU_SET(cpu, &narrowed);
        ++kept;
      }
    }
    EXPECT_EQ(::sched_setaffinity(0, sizeof narrowed, &narrowed), 0);
    return kept;
  }

  cpu_set_t original_;
};

TEST_P(ProcessorCount, NeverExceedsTheAffinityMask) {
  int allowed = narrow_to(GetParam());
  ASSERT_GE(allowed, 1);
  auto count = processor_count();
  ASSERT_TRUE(count.has_value());
  EXPECT_GE(*count, 1u);
  EXPECT_LE(*count, static_cast<uint64_t>(allowed));
}

INSTANTIATE_TEST_SUITE_P(Masks, ProcessorCount, testing::Values(1, 2, CPU_SETSIZE));

TEST_F(ProcessorCount, OneProcessorMaskGivesOne) {
  ASSERT_EQ(narrow_to(1), 1);
  EXPECT_EQ(processor_count(), std::optional<uint64_t>(1));
}

}  // namespace
}  // namespace trovik::run
