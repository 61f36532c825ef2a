#include "json/append_jsonl.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "json/writer.h"

namespace trovik::json {
namespace {

namespace fs = std::filesystem;

class AppendJsonl : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = testing::TempDir() + "append_jsonl_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  static std::string contents(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  static Value record(std::string text) {
    Object object;
    object.insert("kind", Value::string("track"));
    object.insert("value", Value::string(std::move(text)));
    return Value::object(std::move(object));
  }

  fs::path dir_;
};

int open_descriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

TEST_F(AppendJsonl, CreatesThenAppendsOneLinePerRecord) {
  const std::string file = path("run.jsonl");
  ASSERT_TRUE(append_jsonl(file, record("first")).ok());
  EXPECT_EQ(contents(file), "{\"kind\":\"track\",\"value\":\"first\"}\n");
  ASSERT_TRUE(append_jsonl(file, record("two\nlines")).ok());
  EXPECT_EQ(contents(file),
            "{\"kind\":\"track\",\"value\":\"first\"}\n"
            "{\"kind\":\"track\",\"value\":\"two\\nlines\"}\n");
}

TEST_F(AppendJsonl, ContinuesALineWithoutLineFeed) {
  const std::string file = path("run.jsonl");
  std::ofstream(file, std::ios::binary) << "{\"partial\":";
  ASSERT_TRUE(append_jsonl(file, Value::array({})).ok());
  EXPECT_EQ(contents(file), "{\"partial\":[]\n");
}

class AppendJsonlMode : public AppendJsonl, public testing::WithParamInterface<mode_t> {};

TEST_P(AppendJsonlMode, NewFileIsReadWriteForAllLessTheUmask) {
  const mode_t previous = umask(GetParam());
  const Status status = append_jsonl(path("run.jsonl"), Value::null());
  umask(previous);
  ASSERT_TRUE(status.ok()) << status.ToString();
  struct stat info;
  ASSERT_EQ(stat(path("run.jsonl").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~GetParam());
}

INSTANTIATE_TEST_SUITE_P(Umasks, AppendJsonlMode, testing::Values(0, 022, 077, 0266));

TEST_F(AppendJsonl, OpenFailuresAreOSErrorsAndCreateNothing) {
  struct Case {
    std::string path;
    std::string message;
  };
  for (const Case& c : {Case{path("missing/run.jsonl"), "No such file or directory (os error 2)"},
                        Case{dir_.string(), "Is a directory (os error 21)"}}) {
    const Status status = append_jsonl(c.path, record("x"));
    ASSERT_FALSE(status.ok()) << c.path;
    EXPECT_EQ(status.kind(), ErrorKind::kOSError);
    EXPECT_EQ(status.message(), c.message);
  }
  EXPECT_FALSE(fs::exists(path("missing")));
}

TEST_F(AppendJsonl, FullDeviceFailsInsideTheRecord) {
  const Status status = append_jsonl("/dev/full", record("x"));
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.kind(), ErrorKind::kValueError);
  EXPECT_EQ(status.message(), "No space left on device (os error 28)");
}

// A file size limit stops the one write after a given number of bytes; where it stops decides
// the error class. The limit is lifted before anything is asserted.
struct SizeLimitCase {
  int allowed;  // bytes of the line the limit lets through; negative: counted from its end
  ErrorKind kind;
};

class AppendJsonlSizeLimit : public AppendJsonl,
                             public testing::WithParamInterface<SizeLimitCase> {};

TEST_P(AppendJsonlSizeLimit, WhatWasWrittenStays) {
  const std::string file = path("run.jsonl");
  const std::string existing = "earlier line\n";
  std::ofstream(file, std::ios::binary) << existing;
  const Value value = record("payload");
  const std::string line = to_json_text(value) + "\n";
  const size_t allowed =
      GetParam().allowed >= 0 ? GetParam().allowed : line.size() + GetParam().allowed;

  // Past the limit the kernel raises SIGXFSZ, which would end the process; ignored, the write
  // fails with EFBIG instead.
  struct sigaction ignore = {}, previous_action = {};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &previous_action), 0);
  rlimit previous_limit;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous_limit), 0);
  rlimit limit = previous_limit;
  limit.rlim_cur = existing.size() + allowed;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  const Status status = append_jsonl(file, value);
  setrlimit(RLIMIT_FSIZE, &previous_limit);
  sigaction(SIGXFSZ, &previous_action, nullptr);

  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.kind(), GetParam().kind);
  EXPECT_EQ(status.message(), "File too large (os error 27)");
  EXPECT_EQ(contents(file), existing + line.substr(0, allowed));

  // The next record starts a line of its own after a cut one.
  ASSERT_TRUE(append_jsonl(file, Value::null()).ok());
  EXPECT_EQ(contents(file),
            existing + line.substr(0, allowed) + (allowed > 0 ? "\n" : "") + "null\n");
}

INSTANTIATE_TEST_SUITE_P(Cuts, AppendJsonlSizeLimit,
                         testing::Values(SizeLimitCase{-1, ErrorKind::kOSError},
                                         SizeLimitCase{-2, ErrorKind::kValueError},
                                         SizeLimitCase{10, ErrorKind::kValueError},
                                         SizeLimitCase{0, ErrorKind::kValueError}));

TEST_F(AppendJsonl, LeavesNoDescriptorOpen) {
  const int before = open_descriptors();
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(append_jsonl(path("run.jsonl"), record("x")).ok());
    ASSERT_FALSE(append_jsonl(path("missing/run.jsonl"), record("x")).ok());
    ASSERT_FALSE(append_jsonl("/dev/full", record("x")).ok());
    ASSERT_FALSE(append_jsonl(dir_.string(), record("x")).ok());
  }
  EXPECT_EQ(open_descriptors(), before);
}

}  // namespace
}  // namespace trovik::json
