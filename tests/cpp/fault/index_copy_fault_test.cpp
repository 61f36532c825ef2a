// Copying the user's index while the k-th open, read, write or futimens fails: an interrupted
// call is repeated, any other failure is reported, and a copy reported as made has every byte and
// the original's modification time.
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fault_loop.h"
#include "git/index_copy.h"

namespace trovik::fault {
namespace {

namespace fs = std::filesystem;

struct CopyCase {
  std::string name;
  SystemCall call;
  int error;
  size_t count;
};

void PrintTo(const CopyCase& c, std::ostream* out) { *out << c.name; }

class IndexCopyFaults : public testing::TestWithParam<CopyCase> {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "trovik-index-copy-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    directory_ = pattern;
    source_ = directory_ / "index";
    // Larger than one read, so reads and writes repeat.
    for (int i = 0; i < 40000; ++i) content_ += "entry " + std::to_string(i) + "\n";
    std::ofstream(source_, std::ios::binary) << content_;
    const struct timespec times[2] = {{1000000000, 123456789}, {1000000000, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, source_.c_str(), times, 0), 0);
  }
  void TearDown() override { fs::remove_all(directory_); }

  fs::path directory_;
  fs::path source_;
  std::string content_;
};

TEST_P(IndexCopyFaults, ReportedCopiesAreExact) {
  const CopyCase& c = GetParam();
  FaultPlan plan;
  plan.call = c.call;
  plan.fault.error = c.error;
  plan.count = c.count;
  if (c.call == SystemCall::kWrite) plan.write_chunk = 1000;
  fs::path copy;
  int attempt = 0;
  const size_t injected = run_fault_loop(
      plan,
      [&] {
        copy = directory_ / ("copy-" + std::to_string(++attempt));
        return git::copy_index_keeping_mtime(source_.string(), copy.string());
      },
      [&](const Injection& injection, const Status& status) {
        EXPECT_EQ(status.ok(), !injection.reached || c.error == EINTR) << status.ToString();
        if (!status.ok()) return;
        std::ifstream in(copy, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), content_);
        struct stat info {};
        ASSERT_EQ(::stat(copy.c_str(), &info), 0);
        EXPECT_EQ(info.st_mtim.tv_sec, 1000000000);
        EXPECT_EQ(info.st_mtim.tv_nsec, 123456789);
      });
  EXPECT_GT(injected, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, IndexCopyFaults,
    testing::Values(CopyCase{"OpenEACCES", SystemCall::kOpen, EACCES, kOnce},
                    CopyCase{"OpenEINTR", SystemCall::kOpen, EINTR, kOnce},
                    CopyCase{"ReadEIO", SystemCall::kRead, EIO, kOnce},
                    CopyCase{"ReadEINTR", SystemCall::kRead, EINTR, kOnce},
                    CopyCase{"WriteENOSPC", SystemCall::kWrite, ENOSPC, kOnce},
                    CopyCase{"WriteEINTR", SystemCall::kWrite, EINTR, kOnce},
                    CopyCase{"FutimensEPERM", SystemCall::kFutimens, EPERM, kOnce}),
    [](const testing::TestParamInfo<CopyCase>& info) { return info.param.name; });

TEST(IndexCopy, NeverReplacesAnExistingFile) {
  const fs::path directory = fs::temp_directory_path() / "trovik-index-copy-existing";
  fs::create_directories(directory);
  std::ofstream(directory / "index") << "index";
  std::ofstream(directory / "taken") << "taken";
  EXPECT_FALSE(
      git::copy_index_keeping_mtime((directory / "index").string(), (directory / "taken").string())
          .ok());
  std::ifstream in(directory / "taken");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "taken");
  fs::remove_all(directory);
}

}  // namespace
}  // namespace trovik::fault
