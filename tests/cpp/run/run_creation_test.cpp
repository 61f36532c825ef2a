#include "run/run_creation.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "run/run_id.h"

namespace trovik::run {
namespace {

namespace fs = std::filesystem;

TEST(RunId, VersionAndVariantBitsOverAnyBytes) {
  std::array<uint8_t, 16> ones;
  ones.fill(0xFF);
  EXPECT_EQ(format_uuid_v4(ones), "ffffffff-ffff-4fff-bfff-ffffffffffff");
  std::array<uint8_t, 16> zeros{};
  EXPECT_EQ(format_uuid_v4(zeros), "00000000-0000-4000-8000-000000000000");
  std::array<uint8_t, 16> counting{};
  for (size_t i = 0; i < counting.size(); ++i) counting[i] = static_cast<uint8_t>(i * 17);
  EXPECT_EQ(format_uuid_v4(counting), "00112233-4455-4677-8899-aabbccddeeff");
}

TEST(RunId, FreshIdsAreDistinctVersion4) {
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    Result<std::string> id = new_run_id();
    ASSERT_TRUE(id.ok());
    ASSERT_EQ(id.value().size(), 36u);
    EXPECT_EQ(id.value()[14], '4');
    EXPECT_NE(std::string("89ab").find(id.value()[19]), std::string::npos);
    seen.insert(id.value());
  }
  EXPECT_EQ(seen.size(), 200u);
}

// Runs each test in a fresh directory with TROVIK_DIR set as the test asks.
class BeginRun : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/trovik-run-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    directory_ = pattern;
    previous_ = fs::current_path();
    fs::current_path(directory_);
  }
  void TearDown() override {
    fs::current_path(previous_);
    fs::remove_all(directory_);
    ::unsetenv("TROVIK_DIR");
  }

  fs::path directory_;
  fs::path previous_;
};

TEST_F(BeginRun, RejectsNamesOfOnlyWhiteSpace) {
  ::unsetenv("TROVIK_DIR");
  for (const char* name : {"", "   ", "\t\n", "\u3000", " \u2028 "}) {
    Result<PendingRun> run = begin_run(name);
    ASSERT_FALSE(run.ok()) << name;
    EXPECT_EQ(run.status().kind(), ErrorKind::kValueError);
    EXPECT_EQ(run.status().message(), "experiment name cannot be empty");
  }
  EXPECT_FALSE(fs::exists(".trovik")) << "a rejected name must not touch the disk";
}

TEST_F(BeginRun, KeepsTheNameUntrimmed) {
  ::unsetenv("TROVIK_DIR");
  Result<PendingRun> run = begin_run(" demo ");
  ASSERT_TRUE(run.ok()) << run.status().ToString();
  EXPECT_EQ(run.value().name, " demo ");
  EXPECT_TRUE(begin_run("\u200B").ok());
}

struct RootCase {
  const char* trovik_dir;  // nullptr: unset
  std::string runs_directory;
};

class RootDirectory : public BeginRun, public testing::WithParamInterface<RootCase> {};

TEST_P(RootDirectory, PathIsBuiltNotNormalised) {
  if (GetParam().trovik_dir) {
    ::setenv("TROVIK_DIR", GetParam().trovik_dir, 1);
  } else {
    ::unsetenv("TROVIK_DIR");
  }
  Result<PendingRun> run = begin_run("demo");
  ASSERT_TRUE(run.ok()) << run.status().ToString();
  EXPECT_EQ(run.value().path, GetParam().runs_directory + run.value().run_id + ".jsonl");
  // What appends open: the same file, named so that a change of directory cannot move it.
  EXPECT_EQ(run.value().location, directory_.string() + "/" + run.value().path);
  EXPECT_TRUE(fs::is_directory(GetParam().runs_directory));
  EXPECT_FALSE(fs::exists(run.value().path)) << "the first record creates the run file";
}

INSTANTIATE_TEST_SUITE_P(Variants, RootDirectory,
                         testing::Values(RootCase{nullptr, ".trovik/runs/"}, RootCase{"", "runs/"},
                                         RootCase{"out/", "out/runs/"},
                                         RootCase{"a/b/c", "a/b/c/runs/"},
                                         RootCase{"./x/../y", "./x/../y/runs/"},
                                         RootCase{"\xFF\xFE", ".trovik/runs/"}));

TEST_F(BeginRun, CreatesWithMode0777BeforeTheUmask) {
  ::setenv("TROVIK_DIR", "modes", 1);
  mode_t previous = ::umask(022);
  Result<PendingRun> run = begin_run("demo");
  ::umask(previous);
  ASSERT_TRUE(run.ok());
  struct stat info {};
  ASSERT_EQ(::stat("modes/runs", &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0755u);
}

TEST_F(BeginRun, ExistingRunsDirectoryIsFine) {
  ::setenv("TROVIK_DIR", "again", 1);
  ASSERT_TRUE(begin_run("one").ok());
  ASSERT_TRUE(begin_run("two").ok());
}

struct IgnoreCase {
  const char* trovik_dir;   // nullptr: unset
  const char* existing;     // a directory there before the run, or nullptr
  const char* ignore_file;  // where the ignore file must be, or nullptr for nowhere
};

class RootIgnore : public BeginRun, public testing::WithParamInterface<IgnoreCase> {};

// Only a root directory that the run itself created ignores itself; nothing else gets the file.
TEST_P(RootIgnore, WrittenOnlyIntoARootTheRunCreated) {
  const IgnoreCase& c = GetParam();
  if (c.trovik_dir) {
    ::setenv("TROVIK_DIR", c.trovik_dir, 1);
  } else {
    ::unsetenv("TROVIK_DIR");
  }
  if (c.existing) fs::create_directories(c.existing);
  ASSERT_TRUE(begin_run("demo").ok());
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(".")) {
    if (entry.path().filename() == ".gitignore") found.push_back(entry.path().lexically_normal());
  }
  EXPECT_EQ(found,
            c.ignore_file ? std::vector<std::string>{c.ignore_file} : std::vector<std::string>{});
  if (c.ignore_file) {
    std::ifstream in(c.ignore_file);
    std::string comment, pattern, rest;
    std::getline(in, comment);
    std::getline(in, pattern);
    EXPECT_EQ(comment.rfind("# ", 0), 0u) << comment;
    EXPECT_EQ(pattern, "*");
    EXPECT_FALSE(std::getline(in, rest));
  }
}

INSTANTIATE_TEST_SUITE_P(Roots, RootIgnore,
                         testing::Values(IgnoreCase{nullptr, nullptr, ".trovik/.gitignore"},
                                         IgnoreCase{"out/", nullptr, "out/.gitignore"},
                                         IgnoreCase{"a/b/c", nullptr, "a/b/c/.gitignore"},
                                         IgnoreCase{"a/b/c", "a", "a/b/c/.gitignore"},
                                         IgnoreCase{nullptr, ".trovik", nullptr},
                                         IgnoreCase{"kept", "kept", nullptr},
                                         IgnoreCase{"", nullptr, nullptr},
                                         IgnoreCase{".", nullptr, nullptr}));

struct FailureCase {
  const char* trovik_dir;
  std::string message;
};

class CreationFailure : public BeginRun, public testing::WithParamInterface<FailureCase> {};

TEST_P(CreationFailure, CarriesTheOperatingSystemText) {
  std::ofstream("plain-file") << "x";
  fs::create_directory("taken");
  std::ofstream("taken/runs") << "x";
  ::setenv("TROVIK_DIR", GetParam().trovik_dir, 1);
  Result<PendingRun> run = begin_run("demo");
  ASSERT_FALSE(run.ok());
  EXPECT_EQ(run.status().kind(), ErrorKind::kOSError);
  EXPECT_EQ(run.status().message(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Roots, CreationFailure,
    testing::Values(FailureCase{"plain-file", "Not a directory (os error 20)"},
                    FailureCase{"plain-file/deeper", "Not a directory (os error 20)"},
                    FailureCase{"taken", "File exists (os error 17)"},
                    FailureCase{"/proc/self/trovik", "No such file or directory (os error 2)"}));

}  // namespace
}  // namespace trovik::run
